#include "sim/sim_options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ZEMBRA {
namespace sim {

namespace {

// Whole-text unsigned integer within [low, high].
bool ParseUnsigned(const std::string& text, unsigned long low, unsigned long high, unsigned long& out) {
  if (text.empty()) return false;
  unsigned long value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || value < low || value > high) return false;
  out = value;
  return true;
}

// Whole-text non-negative finite number of seconds.
bool ParseSeconds(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value) || value < 0 || value > 1e7) return false;
  out = value;
  return true;
}

// Applies one --fault NAME[=VALUE]; returns an error text or "".
std::string ApplyFault(const std::string& fault, SimOptions& options) {
  const size_t eq = fault.find('=');
  const std::string name = fault.substr(0, eq);
  const bool hasValue = eq != std::string::npos;
  const std::string value = hasValue ? fault.substr(eq + 1) : "";
  FaultConfig& f = options.config.faults;
  unsigned long n = 0;
  const auto bad = [&fault] { return "bad --fault value: " + fault; };

  if (name == "bad-check") {
    if (!ParseUnsigned(value, 1, 1000000, n)) return bad();
    f.badCheckEvery = uint32_t(n);
  } else if (name == "bad-check-sensor") {
    if (!ParseUnsigned(value, 0, 5, n)) return bad();
    f.badCheckSensor = int(n);
  } else if (name == "split") {
    if (!ParseUnsigned(value, 1, 1000000, n)) return bad();
    f.splitEvery = uint32_t(n);
  } else if (name == "split-at") {
    if (!ParseUnsigned(value, 1, 132, n)) return bad();
    f.splitAt = size_t(n);
  } else if (name == "split-gap") {
    if (!ParseUnsigned(value, 0, 1000, n)) return bad();
    f.splitGap = std::chrono::milliseconds(n);
  } else if (name == "merge") {
    if (!ParseUnsigned(value, 1, 1000000, n)) return bad();
    f.mergeEvery = uint32_t(n);
  } else if (name == "silence") {
    if (!ParseUnsigned(value, 1, 3600000, n)) return bad();
    f.silence = std::chrono::milliseconds(n);
  } else if (name == "silence-after") {
    if (!ParseUnsigned(value, 0, 100000000, n)) return bad();
    f.silenceAfter = uint32_t(n);
  } else if (name == "report") {
    if (value == "none") {
      f.report = ReportMode::Missing;
    } else if (value == "short") {
      f.report = ReportMode::ShortOnly;
    } else if (value == "normal") {
      f.report = ReportMode::Normal;
    } else {
      return bad();
    }
  } else if (name == "malformed") {
    if (value.find_first_of(",") != std::string::npos || value.find("TUPU") != std::string::npos) return bad();
    f.malformedToken = hasValue ? value : std::string("abc");
  } else if (name == "malformed-channel") {
    if (!ParseUnsigned(value, 1, 100, n)) return bad();
    f.malformedChannel = int(n);
  } else if (name == "noisy") {
    if (hasValue) return bad();
    options.config.noise = LoudNoise();
  } else if (name == "no-confirm") {
    if (hasValue) return bad();
    f.confirmPairing = false;
  } else if (name == "unplug") {
    double seconds = 0;
    if (!ParseSeconds(value, seconds)) return bad();
    options.unplugAfterSeconds = seconds;
  } else {
    return "unknown fault: " + name;
  }
  return "";
}

}  // namespace

ParsedOptions ParseSimOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  SimOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg != "--hand" && arg != "--rate" && arg != "--fault" && arg != "--duration" && arg != "--jam" &&
        arg != "--register" && arg != "--serial" && arg != "--pose") {
      parsed.error = "unknown option: " + arg;
      return parsed;
    }
    if (i + 1 >= args.size()) {
      parsed.error = "missing value for " + arg;
      return parsed;
    }
    const std::string& value = args[++i];
    unsigned long n = 0;
    if (arg == "--hand") {
      if (value == "left") {
        options.config.hand = protocol::kLeftHand;
      } else if (value == "right") {
        options.config.hand = protocol::kRightHand;
      } else {
        parsed.error = "--hand must be left or right";
        return parsed;
      }
    } else if (arg == "--rate") {
      if (!ParseUnsigned(value, 100, 500, n)) {
        parsed.error = "--rate must be a whole number of bursts per second, 100 to 500";
        return parsed;
      }
      options.config.burstRate = int(n);
    } else if (arg == "--duration") {
      if (!ParseSeconds(value, options.durationSeconds)) {
        parsed.error = "--duration must be a number of seconds, 0 or more";
        return parsed;
      }
    } else if (arg == "--register") {
      if (value.empty() || value.find('/') != std::string::npos) {
        parsed.error = "--register must be a device name such as ttyUSB0";
        return parsed;
      }
      options.registerName = value;
    } else if (arg == "--serial") {
      options.serial = value;
    } else if (arg == "--pose") {
      if (value == "moving") {
        options.config.motion = HandMotion::Moving;
      } else if (value == "open") {
        options.config.motion = HandMotion::Open;
      } else if (value == "fist") {
        options.config.motion = HandMotion::Fist;
      } else {
        parsed.error = "--pose must be moving, open or fist";
        return parsed;
      }
    } else if (arg == "--jam") {
      if (!ParseUnsigned(value, 1, 100, n)) {
        parsed.error = "--jam must be a channel, 1 to 100";
        return parsed;
      }
      options.config.jammedChannels.push_back(int(n));
    } else {
      parsed.error = ApplyFault(value, options);
      if (!parsed.error.empty()) return parsed;
    }
  }
  parsed.options = std::move(options);
  return parsed;
}

std::string SimUsage() {
  return "usage: zembra-receiver-sim [--hand left|right] [--rate N] [--pose P] [--duration S] [--jam CH]...\n"
         "                           [--fault NAME[=VALUE]]...\n"
         "  --hand      glove hand, decides the channels the glove answers on (default right)\n"
         "  --rate      bursts per second once streaming, 100..500 (default 200)\n"
         "  --duration  seconds to run, 0 = until interrupted (default 0)\n"
         "  --jam       a channel on which the glove is never heard (repeatable)\n"
         "  --register  NAME: appear as USB receiver NAME in the device tree of\n"
         "              $ZEMBRA_SYSFS_ROOT and $ZEMBRA_DEV_ROOT while running\n"
         "  --serial    the USB serial number registered (default ZEMBRA-LH-0001 or -RH-)\n"
         "  --pose      moving (default), or a hand held still: open or fist\n"
         "faults:\n"
         "  bad-check=N          every Nth burst has a wrong check byte\n"
         "  bad-check-sensor=S   ... in sensor S (0..5) instead of a rotating one\n"
         "  split=N              every Nth burst is written in two pieces\n"
         "  split-at=B           first piece size in bytes (default 50)\n"
         "  split-gap=MS         pause between the pieces (default 4)\n"
         "  merge=N              every Nth burst is written together with the next\n"
         "  silence=MS           glove goes quiet for MS once per channel set-up\n"
         "  silence-after=N      ... after N bursts (default 0)\n"
         "  report=none|short    no channel report, or only blocks under 700 bytes\n"
         "  malformed[=TOKEN]    report carries TOKEN (default abc) as a noise value\n"
         "  malformed-channel=K  ... in channel K's place (default 50)\n"
         "  noisy                every channel loud (10 to 50): no quiet channel in the report\n"
         "  no-confirm           pairing is never confirmed\n"
         "  unplug=S             the receiver is pulled out after S seconds\n";
}

}  // namespace sim
}  // namespace ZEMBRA
