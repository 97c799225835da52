#include "tool/recording/bvh_reader.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string>

namespace ZEMBRA {
namespace recording {

namespace {

// Whitespace-separated words with the line each starts on; a carriage
// return is whitespace, so CRLF files read like LF files.
class Words {
 public:
  explicit Words(std::string_view text) : text_(text) {}

  // False at the end of the text.
  bool Next(std::string_view& word) {
    Skip();
    if (at_ >= text_.size()) return false;
    const size_t start = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_])) ++at_;
    word = text_.substr(start, at_ - start);
    lastLine_ = line_;
    return true;
  }
  // The line of the word last returned (or of the end, after it).
  int line() const { return lastLine_; }
  int endLine() const { return line_; }
  // The rest of the current line, trimmed (for "Frame Time:" and names).
  std::string_view RestOfLine() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
    std::string_view rest = text_.substr(start, at_ - start);
    while (!rest.empty() && IsSpace(rest.back())) rest.remove_suffix(1);
    lastLine_ = line_;
    return rest;
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
  void Skip() {
    while (at_ < text_.size() && IsSpace(text_[at_])) {
      if (text_[at_] == '\n') ++line_;
      ++at_;
    }
  }
  std::string_view text_;
  size_t at_ = 0;
  int line_ = 1;
  int lastLine_ = 1;
};

bool ToNumber(std::string_view word, double& value) {
  if (word.empty() || word.size() > 64) return false;
  const std::string text(word);
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && errno != ERANGE && std::isfinite(value);
}

bool ToCount(std::string_view word, long long limit, int& value) {
  if (word.empty() || word.size() > 10) return false;
  long long v = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > limit) return false;
  value = int(v);
  return true;
}

bool ToChannel(std::string_view word, BvhChannel& channel) {
  static constexpr std::pair<std::string_view, BvhChannel> kNames[] = {
      {"Xposition", BvhChannel::Xposition}, {"Yposition", BvhChannel::Yposition}, {"Zposition", BvhChannel::Zposition},
      {"Xrotation", BvhChannel::Xrotation}, {"Yrotation", BvhChannel::Yrotation}, {"Zrotation", BvhChannel::Zrotation}};
  for (const auto& [name, value] : kNames) {
    if (word == name) {
      channel = value;
      return true;
    }
  }
  return false;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : words_(text) {}

  BvhParseResult Run() {
    if (!Expect("HIERARCHY")) return Take();
    std::string_view word;
    bool roots = false;
    for (;;) {
      if (!words_.Next(word)) {
        FailAt(words_.endLine(), "the file ends before its MOTION section");
        return Take();
      }
      if (word == "MOTION") break;
      if (word != "ROOT") {
        Fail("expected ROOT or MOTION, found \"" + std::string(word) + "\"");
        return Take();
      }
      if (!ReadJoint(-1, 0)) return Take();
      roots = true;
    }
    if (!roots) {
      Fail("the hierarchy has no ROOT");
      return Take();
    }
    if (!ReadMotion()) return Take();
    result_.ok = true;
    return Take();
  }

 private:
  // After "ROOT" or "JOINT": name { OFFSET ... CHANNELS ... children }.
  bool ReadJoint(int parent, int depth) {
    if (depth > 1000) return Fail("the hierarchy nests too deep");
    BvhJoint joint;
    joint.parent = parent;
    std::string_view name = words_.RestOfLine();
    if (name.empty()) return Fail("a joint without a name");
    joint.name = std::string(name);
    if (!Expect("{") || !ReadOffset(joint)) return false;
    std::string_view word;
    if (!Expect("CHANNELS")) return false;
    if (!words_.Next(word)) return Fail("the file ends inside a joint");
    int count = 0;
    if (!ToCount(word, 6, count))
      return Fail("a channel count of 0 to 6 was expected, found \"" + std::string(word) + "\"");
    for (int i = 0; i < count; ++i) {
      BvhChannel channel;
      if (!words_.Next(word)) return Fail("the file ends inside a channel list");
      if (!ToChannel(word, channel)) return Fail("\"" + std::string(word) + "\" is not a channel");
      joint.channels.push_back(channel);
    }
    joint.firstChannel = result_.file.channelCount;
    result_.file.channelCount += count;
    if (!Add(joint)) return false;
    const int index = int(result_.file.joints.size()) - 1;
    for (;;) {
      if (!words_.Next(word)) return Fail("the file ends inside joint \"" + std::string(name) + "\"");
      if (word == "}") return true;
      if (word == "JOINT") {
        if (!ReadJoint(index, depth + 1)) return false;
      } else if (word == "End") {
        if (!Expect("Site") || !ReadEndSite(index)) return false;
      } else {
        return Fail("expected JOINT, End Site or }, found \"" + std::string(word) + "\"");
      }
    }
  }

  bool ReadEndSite(int parent) {
    BvhJoint site;
    site.name = "End Site";
    site.parent = parent;
    site.endSite = true;
    if (!Expect("{") || !ReadOffset(site) || !Expect("}")) return false;
    return Add(site);
  }

  bool ReadOffset(BvhJoint& joint) {
    if (!Expect("OFFSET")) return false;
    for (double& v : joint.offset) {
      std::string_view word;
      if (!words_.Next(word)) return Fail("the file ends inside an OFFSET");
      if (!ToNumber(word, v)) return Fail("\"" + std::string(word) + "\" is not a number");
    }
    return true;
  }

  bool Add(const BvhJoint& joint) {
    if (int(result_.file.joints.size()) >= kMaxBvhJoints) return Fail("more joints than this reader takes");
    result_.file.joints.push_back(joint);
    return true;
  }

  bool ReadMotion() {
    BvhFile& file = result_.file;
    std::string_view word;
    if (!Expect("Frames:")) return false;
    if (!words_.Next(word)) return Fail("the file ends before the frame count");
    if (!ToCount(word, 1LL << 30, file.frameCount)) return Fail("\"" + std::string(word) + "\" is not a frame count");
    if (!Expect("Frame") || !Expect("Time:")) return false;
    if (!words_.Next(word)) return Fail("the file ends before the frame time");
    if (!ToNumber(word, file.frameTime) || file.frameTime <= 0)
      return Fail("\"" + std::string(word) + "\" is not a frame time");
    const size_t total = size_t(file.frameCount) * size_t(file.channelCount);
    if (total > kMaxBvhValues) return Fail("more motion values than this reader takes");
    file.values.reserve(total);
    for (int frame = 0; frame < file.frameCount; ++frame) {
      for (int channel = 0; channel < file.channelCount; ++channel) {
        double v = 0;
        if (!words_.Next(word))
          return FailAt(words_.endLine(), "the file ends in frame " + std::to_string(frame + 1) + " of " +
                                              std::to_string(file.frameCount));
        if (!ToNumber(word, v)) return Fail("\"" + std::string(word) + "\" is not a number");
        file.values.push_back(v);
      }
    }
    if (words_.Next(word)) return Fail("more values than the frame count says");
    return true;
  }

  bool Expect(std::string_view wanted) {
    std::string_view word;
    if (!words_.Next(word))
      return FailAt(words_.endLine(), "the file ends where \"" + std::string(wanted) + "\" was expected");
    if (word != wanted) return Fail("expected \"" + std::string(wanted) + "\", found \"" + std::string(word) + "\"");
    return true;
  }

  bool Fail(const std::string& why) { return FailAt(words_.line(), why); }
  bool FailAt(int line, const std::string& why) {
    if (result_.error.empty()) {
      result_.errorLine = line;
      result_.error = why;
    }
    return false;
  }
  BvhParseResult Take() {
    if (!result_.ok) result_.file = BvhFile();
    return std::move(result_);
  }

  Words words_;
  BvhParseResult result_;
};

}  // namespace

BvhParseResult ParseBvh(std::string_view text) { return Parser(text).Run(); }

}  // namespace recording
}  // namespace ZEMBRA
