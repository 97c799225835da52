#include <sstream>

#include "bindings.h"

namespace ZEMBRA {
namespace python {

namespace {

constexpr size_t kWidth = 76;

void WrapLine(const std::string& line, std::string& out) {
  const size_t indent = line.find_first_not_of(' ');
  if (indent == std::string::npos) return;
  std::istringstream words(line.substr(indent));
  std::string word;
  size_t column = 0;
  while (words >> word) {
    if (column > 0 && column + 1 + word.size() > kWidth) {
      out += '\n';
      column = 0;
    }
    if (column == 0) {
      out.append(indent, ' ');
      column = indent;
    } else {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
}

}  // namespace

std::string Doc(const char* text) {
  std::istringstream lines(text);
  std::string line, out;
  bool first = true;
  while (std::getline(lines, line)) {
    if (!first) out += '\n';
    first = false;
    // Code examples keep their lines.
    if (line.size() <= kWidth || line.compare(0, 4, "    ") == 0) {
      out += line;
    } else {
      WrapLine(line, out);
    }
  }
  return out;
}

}  // namespace python
}  // namespace ZEMBRA
