// Helpers for tests that run the lighthouse_console stand-in as a real
// child process: a work directory per test with the stand-in's script and
// log, and the stand-in first on the PATH.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifndef ZEMBRA_STANDIN_CONSOLE_DIR
#error "the build passes the stand-in console's directory as ZEMBRA_STANDIN_CONSOLE_DIR"
#endif

namespace ZEMBRA {
namespace testsupport {

// Puts the stand-in's directory in front of the PATH, once per process.
inline void PutStandinConsoleFirstOnPath() {
  static const bool done = [] {
    const char* old = getenv("PATH");
    const std::string path = std::string(ZEMBRA_STANDIN_CONSOLE_DIR) + (old && *old ? std::string(":") + old : "");
    return setenv("PATH", path.c_str(), 1) == 0;
  }();
  (void)done;
}

inline std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A fresh directory where the stand-in runs, removed afterwards.
class ConsoleWorkDir {
 public:
  ConsoleWorkDir() {
    std::random_device seed;
    path_ = std::filesystem::temp_directory_path() /
            ("zembra-console-" + std::to_string(seed()) + "-" + std::to_string(seed()));
    std::filesystem::create_directories(path_);
  }
  ~ConsoleWorkDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ConsoleWorkDir(const ConsoleWorkDir&) = delete;
  ConsoleWorkDir& operator=(const ConsoleWorkDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // "phase=behaviour" lines for the stand-in.
  void Script(const std::string& lines) const { std::ofstream(path_ / "lighthouse_standin.cfg") << lines << "\n"; }

  bool StandinRan() const { return std::filesystem::exists(path_ / "lighthouse_standin.log"); }

  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileText(path_ / "lighthouse_standin.log"));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
  }

  // The input lines the stand-in received, as logged ("\r" shown as \r).
  std::vector<std::string> InputLines() const {
    std::vector<std::string> input;
    for (const std::string& line : LogLines())
      if (line.rfind("line:", 0) == 0) input.push_back(line.substr(5));
    return input;
  }

  std::vector<int> StandinPids() const {
    std::vector<int> pids;
    for (const std::string& line : LogLines())
      if (line.rfind("pid:", 0) == 0) pids.push_back(std::stoi(line.substr(4)));
    return pids;
  }

 private:
  std::filesystem::path path_;
};

// True once the process is gone for good: neither running nor a zombie
// waiting to be reaped.
inline bool ProcessGone(int pid) { return !std::filesystem::exists("/proc/" + std::to_string(pid)); }

inline size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

}  // namespace testsupport
}  // namespace ZEMBRA
