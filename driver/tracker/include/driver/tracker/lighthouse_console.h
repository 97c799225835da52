// The dialogues with SteamVR's lighthouse_console that act on one hand's
// wrist tracker: rewriting its configuration and making it identify itself.
// Each call runs its own console and ends it before returning.
#pragma once

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>

#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace tracker {

#if defined(_WIN32)
constexpr const char* kConsoleProgram = "lighthouse_console.exe";
#else
constexpr const char* kConsoleProgram = "lighthouse_console";
#endif

// How long each reply may take. The console needs a moment to reach the
// device over the radio; a configuration transfer takes a few seconds.
constexpr std::chrono::milliseconds kConsoleStartupTimeout{20000};
constexpr std::chrono::milliseconds kConsoleTransferTimeout{30000};
constexpr std::chrono::milliseconds kConsoleIdentifyTimeout{15000};
constexpr std::chrono::milliseconds kConsoleWriteTimeout{5000};
// Uploads answered by an empty line are retried this many times in all.
constexpr int kMaxUploadAttempts = 3;

struct ConsoleSettings {
  std::string program = kConsoleProgram;  // found on the PATH
  // Where the console runs and the configuration file lives; empty: the
  // process's current directory.
  std::filesystem::path workDir;
  std::chrono::milliseconds startupTimeout = kConsoleStartupTimeout;
  std::chrono::milliseconds transferTimeout = kConsoleTransferTimeout;
  std::chrono::milliseconds identifyTimeout = kConsoleIdentifyTimeout;
  std::chrono::milliseconds writeTimeout = kConsoleWriteTimeout;
  int maxUploadAttempts = kMaxUploadAttempts;
};

// "LH.json" or "RH.json"; hand is Hand_Left or Hand_Right.
const char* ConfigFileName(HandType hand);

// Downloads the configuration of the tracker with this serial, sets its
// "render_model" to "LH" or "RH", uploads it and deletes the file. hand is
// Hand_Left or Hand_Right. The console's lines and the progress go to out,
// file errors to errOut.
EIMUError ConfigureTracker(HandType hand, const std::string& serial, const ConsoleSettings& settings, std::ostream& out,
                           std::ostream& errOut);

// Makes the tracker with this serial identify itself.
EIMUError IdentifyTracker(const std::string& serial, const ConsoleSettings& settings, std::ostream& out);

}  // namespace tracker
}  // namespace ZEMBRA
