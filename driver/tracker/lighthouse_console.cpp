#include "driver/tracker/lighthouse_console.h"

#include <system_error>
#include <vector>

#include "driver/tracker/console_session.h"
#include "driver/tracker/tracker_config_file.h"

namespace ZEMBRA {
namespace tracker {

namespace {

constexpr const char* kNoDevice = "No matching connected lighthouse device found.";
constexpr const char* kNoConfigStart = "Unable to request config start from device";
constexpr const char* kWrote = "Wrote";
constexpr const char* kUploadFailed = "Failed to write to device";
constexpr const char* kPrompt = "lh>";

bool Contains(const std::string& line, const char* text) { return line.find(text) != std::string::npos; }

// Commands end in CR LF like the console's own lines, followed by one more
// line feed.
std::string Command(const std::string& text) { return text + "\r\n\n"; }

// One dialogue: the console, where its lines go and the waits.
class Dialogue {
 public:
  Dialogue(const ConsoleSettings& settings, std::ostream& out) : settings_(settings), out_(out) {}

  // Starts the console for the serial and waits until it is ready.
  EIMUError Start(const std::string& serial) {
    std::string commandLine = settings_.program + " /serial " + serial;
    out_ << commandLine << std::endl;
    std::string error;
    // The serial goes as an argument of its own, so whatever characters the
    // runtime reported can never split into further arguments.
    if (!session_.Start(settings_.program, {"/serial", serial}, settings_.workDir, error)) {
      out_ << error << std::endl;
      return IMUError_ProcessFailed;
    }
    const auto deadline = Deadline(settings_.startupTimeout);
    std::string line;
    for (;;) {
      if (!Read(line, deadline)) return Fail();
      if (Contains(line, kNoDevice) || Contains(line, kNoConfigStart)) {
        out_ << "device disconnected" << std::endl;
        session_.Close();
        return IMUError_OperationFailed;
      }
      if (line.size() <= 1) return IMUError_None;
    }
  }

  bool Send(const std::string& text) {
    std::string error;
    if (session_.Write(Command(text), Deadline(settings_.writeTimeout), error)) return true;
    out_ << "lighthouse_console did not take the command: " << error << std::endl;
    return false;
  }

  // Reads one line and echoes it. False, with the reason printed, when the
  // console ended or stayed silent past the deadline.
  bool Read(std::string& line, ConsoleSession::Clock::time_point deadline) {
    return ReadStatus(line, deadline) == ConsoleSession::ReadStatus::Line;
  }

  ConsoleSession::ReadStatus ReadStatus(std::string& line, ConsoleSession::Clock::time_point deadline) {
    const ConsoleSession::ReadStatus status = session_.ReadLine(line, deadline);
    switch (status) {
      case ConsoleSession::ReadStatus::Line:
        out_ << line << std::endl;
        break;
      case ConsoleSession::ReadStatus::Ended:
        out_ << "lighthouse_console ended before answering" << std::endl;
        break;
      case ConsoleSession::ReadStatus::TimedOut:
        out_ << "lighthouse_console did not answer in time" << std::endl;
        break;
    }
    return status;
  }

  EIMUError Fail() {
    session_.Close();
    return IMUError_OperationFailed;
  }

  void Close() { session_.Close(); }

  static ConsoleSession::Clock::time_point Deadline(std::chrono::milliseconds timeout) {
    return ConsoleSession::Clock::now() + timeout;
  }

 private:
  const ConsoleSettings& settings_;
  std::ostream& out_;
  ConsoleSession session_;
};

std::filesystem::path ConfigPath(const ConsoleSettings& settings, HandType hand) {
  return settings.workDir.empty() ? std::filesystem::path(ConfigFileName(hand))
                                  : settings.workDir / ConfigFileName(hand);
}

const char* RenderModel(HandType hand) { return hand == Hand_Left ? "LH" : "RH"; }

}  // namespace

const char* ConfigFileName(HandType hand) { return hand == Hand_Left ? "LH.json" : "RH.json"; }

EIMUError ConfigureTracker(HandType hand, const std::string& serial, const ConsoleSettings& settings, std::ostream& out,
                           std::ostream& errOut) {
  if (serial.empty()) return IMUError_OperationFailed;
  Dialogue dialogue(settings, out);
  const EIMUError started = dialogue.Start(serial);
  if (started != IMUError_None) return started;

  const std::string fileName = ConfigFileName(hand);
  const std::filesystem::path path = ConfigPath(settings, hand);
  std::string line;

  if (!dialogue.Send("downloadconfig " + fileName)) return dialogue.Fail();
  for (const auto deadline = Dialogue::Deadline(settings.transferTimeout);;) {
    if (!dialogue.Read(line, deadline)) return dialogue.Fail();
    if (Contains(line, kWrote)) {
      out << "downloadconfig end" << std::endl;
      break;
    }
    if (line.empty()) break;
  }

  // The last failed edit's code stands even when a later edit succeeds: the
  // file that reached the tracker may be the one that failed.
  EIMUError edited = IMUError_None;
  for (int attempt = 1;; ++attempt) {
    // A failed edit still uploads the file as the console wrote it.
    const EIMUError edit = EditConfigFile(path, RenderModel(hand), out, errOut);
    if (edit != IMUError_None) edited = edit;
    if (!dialogue.Send("uploadconfig " + fileName)) return dialogue.Fail();
    for (const auto deadline = Dialogue::Deadline(settings.transferTimeout);;) {
      if (!dialogue.Read(line, deadline)) return dialogue.Fail();
      if (Contains(line, kUploadFailed)) {
        out << "uploadconfig failed" << std::endl;
        continue;
      }
      if (Contains(line, kWrote)) {
        out << "uploadconfig end" << std::endl;
        dialogue.Close();
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        if (std::filesystem::exists(path, ignored)) return IMUError_PortNotOpen;
        out << fileName << " deleted!" << std::endl;
        return edited;
      }
      if (line.empty()) break;
    }
    // An empty line instead of the confirmation: edit and upload again, but
    // not for ever.
    if (attempt >= settings.maxUploadAttempts) {
      out << "uploadconfig unconfirmed after " << attempt << " attempts" << std::endl;
      return dialogue.Fail();
    }
  }
}

EIMUError IdentifyTracker(const std::string& serial, const ConsoleSettings& settings, std::ostream& out) {
  if (serial.empty()) return IMUError_OperationFailed;
  Dialogue dialogue(settings, out);
  const EIMUError started = dialogue.Start(serial);
  if (started != IMUError_None) return started;

  if (!dialogue.Send("identifycontroller")) return dialogue.Fail();
  std::string line;
  for (const auto deadline = Dialogue::Deadline(settings.identifyTimeout);;) {
    // The command was taken; a console that quits without its prompt has
    // still done it. Only silence past the deadline is a failure.
    const ConsoleSession::ReadStatus status = dialogue.ReadStatus(line, deadline);
    if (status == ConsoleSession::ReadStatus::TimedOut) return dialogue.Fail();
    if (status == ConsoleSession::ReadStatus::Ended) break;
    if (Contains(line, kPrompt)) {
      out << "identifycontroller end" << std::endl;
      break;
    }
    if (line.empty()) break;
  }
  dialogue.Close();
  return IMUError_None;
}

}  // namespace tracker
}  // namespace ZEMBRA
