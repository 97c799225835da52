// A console program for the child-process tests. With "probe N" it tells
// whether handle value N is an event it holds, and ends. Otherwise it
// answers each input line with "echo: " and the line, and acts on a few
// commands:
//   exit     ends at once, the rest of the input unread
//   partial  writes "no line end" without a line end and ends
//   mute     stops reading and writing and sleeps until killed
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "probe") == 0) {
    HANDLE handle = reinterpret_cast<HANDLE>(std::strtoull(argv[2], nullptr, 0));
    DWORD flags = 0;
    const bool held = ::GetHandleInformation(handle, &flags) && ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
    std::cout << (held ? "held" : "not held") << std::endl;
    return 0;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "exit") return 0;
    if (line == "partial") {
      std::cout << "no line end" << std::flush;
      return 0;
    }
    if (line == "mute") ::Sleep(INFINITE);
    std::cout << "echo: " << line << std::endl;
  }
  return 0;
}
