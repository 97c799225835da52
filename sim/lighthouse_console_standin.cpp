// A scripted stand-in for SteamVR's lighthouse_console, built under that
// name so that tests can put it first on the PATH. It plays the console's
// dialogue over its standard input and output: it attaches to the device
// named by "/serial", writes a JSON configuration on "downloadconfig <file>",
// reads it back on "uploadconfig <file>" and answers "identifycontroller".
//
// It runs in its current directory and takes its script from the file
// "lighthouse_standin.cfg" there, one "phase=behaviour" per line:
//   startup=ready|ready_cr|no_device|no_config_start|exit|silent|close_input
//   download=wrote|empty|exit|silent|no_file
//   config=default|no_render_model|invalid|array_root|number_model
//   upload=wrote|empty|empty_once|fail_then_wrote|exit|silent|wrote_regardless|
//          empty_then_file (the first upload finds no file, answers an empty
//          line and writes the configuration the download should have)
//   identify=prompt|empty|exit|silent
// The first behaviour of each list is the default. Everything it receives
// is logged to "lighthouse_standin.log" (its process id, its arguments
// joined by "|", then each input line with carriage returns shown as \r);
// each uploaded file is copied to "uploaded_<file>".
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::map<std::string, std::string> LoadScript() {
  std::map<std::string, std::string> script;
  std::ifstream in("lighthouse_standin.cfg");
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) script[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return script;
}

std::string Shown(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

class Log {
 public:
  Log() : file_("lighthouse_standin.log", std::ios::app) {}
  void Write(const std::string& text) { file_ << text << '\n' << std::flush; }

 private:
  std::ofstream file_;
};

void Say(const std::string& text) { std::cout << text << std::flush; }

// Stays alive without answering; the driver is expected to give up and end
// us. Should the driver itself die first, we still go after a while rather
// than linger.
constexpr std::chrono::seconds kLongestHang{30};

[[noreturn]] void Hang() {
  std::this_thread::sleep_for(kLongestHang);
  std::exit(3);
}

std::string ConfigText(const std::string& kind, const std::string& serial) {
  if (kind == "no_render_model")
    return "{\n  \"device_class\": \"generic_tracker\",\n  \"serial\": \"" + serial + "\"\n}\n";
  if (kind == "invalid") return "{\n  \"render_model\": \"{htc}vr_tracker_vive_1_0\",\n  \"serial\": \n";
  if (kind == "array_root") return "[1, 2, 3]\n";
  if (kind == "number_model") return "{ \"render_model\": 42, \"serial\": \"" + serial + "\" }\n";
  return "{\n  \"device_class\": \"generic_tracker\",\n  \"render_model\": \"{htc}vr_tracker_vive_1_0\",\n"
         "  \"serial\": \"" +
         serial + "\",\n  \"imu\": { \"acc_bias\": [0.125, -0.25, 0.5] }\n}\n";
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  // Our own input buffer, so that what has already arrived can be seen.
  std::ios::sync_with_stdio(false);
  auto script = LoadScript();
  Log log;
  std::string args;
  std::string serial;
  for (int i = 1; i < argc; ++i) {
    args += std::string(i > 1 ? "|" : "") + argv[i];
    if (std::string(argv[i]) == "/serial" && i + 1 < argc) serial = argv[i + 1];
  }
  log.Write("pid:" + std::to_string(::getpid()));
  log.Write("args:" + args);

  Say("Lighthouse console stand-in\n");
  Say("Attached to lighthouse device with serial " + serial + "\n");
  const std::string startup = script["startup"];
  if (startup == "no_device") {
    Say("No matching connected lighthouse device found.\n");
    Hang();
  }
  if (startup == "no_config_start") {
    Say("Unable to request config start from device\n");
    Hang();
  }
  if (startup == "exit") return 1;
  if (startup == "silent") Hang();
  if (startup == "close_input") {
    // Nobody reads our input any more: the driver's next command hits a
    // pipe without a reader.
    std::fclose(stdin);
    Say("\n");
    Hang();
  }
  Say(startup == "ready_cr" ? "\r\n" : "\n");

  int uploads = 0;
  std::string line;
  while (std::getline(std::cin, line)) {
    log.Write("line:" + Shown(line));
    const std::string command = Trimmed(line);
    if (command.empty()) continue;
    // Empty lines sent along with the command are logged before we answer:
    // the driver may end us as soon as the answer is out.
    while (std::cin.rdbuf()->in_avail() > 0 && std::cin.peek() == '\n') {
      std::cin.get();
      log.Write("line:");
    }
    std::istringstream words(command);
    std::string verb, file;
    words >> verb >> file;
    if (verb == "downloadconfig") {
      const std::string how = script["download"];
      if (how == "exit") return 1;
      if (how == "silent") Hang();
      if (how != "no_file") std::ofstream(file, std::ios::trunc) << ConfigText(script["config"], serial);
      if (how == "empty")
        Say("\n");
      else
        Say("Wrote config of " + serial + " to " + file + "\n");
    } else if (verb == "uploadconfig") {
      ++uploads;
      const std::string how = script["upload"];
      if (how == "exit") return 1;
      if (how == "silent") Hang();
      if (how == "empty_then_file" && uploads == 1) {
        std::ofstream(file, std::ios::trunc) << ConfigText(script["config"], serial);
        Say("\n");
        continue;
      }
      std::ifstream in(file, std::ios::binary);
      std::stringstream content;
      content << in.rdbuf();
      if (!in && how != "wrote_regardless") {
        Say("Unable to read " + file + "\n");
        continue;
      }
      std::ofstream("uploaded_" + file, std::ios::trunc) << content.str();
      log.Write("uploaded:" + file);
      if (how == "empty" || (how == "empty_once" && uploads == 1)) {
        Say("\n");
        continue;
      }
      if (how == "fail_then_wrote") Say("Failed to write to device, retrying\n");
      Say("Wrote " + file + " to device " + serial + "\n");
    } else if (verb == "identifycontroller") {
      const std::string how = script["identify"];
      if (how == "exit") return 1;
      if (how == "silent") Hang();
      Say("Identifying device " + serial + "\n");
      Say(how == "empty" ? "\n" : "lh>\n");
    } else {
      Say("Unknown command: " + command + "\n");
    }
  }
  return 0;
}
