#include <algorithm>
#include <thread>

#include "platform/console_process.h"
#include "text_win.h"

namespace ZEMBRA {
namespace platform {

namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;
constexpr auto kPollInterval = std::chrono::milliseconds(5);
// How long Close waits for a terminated program to go.
constexpr DWORD kExitWaitMilliseconds = 5000;

bool NamesDirectory(const std::string& program) {
  return program.find('\\') != std::string::npos || program.find('/') != std::string::npos;
}

// The full path of program, or empty. SearchPath looks in the program's own
// folder and the current one before the PATH, as CreateProcess would.
std::wstring ResolveProgram(const std::string& program) {
  const std::wstring wide = Widen(program);
  if (NamesDirectory(program)) {
    std::wstring withExe = wide;
    if (::GetFileAttributesW(withExe.c_str()) == INVALID_FILE_ATTRIBUTES) withExe += L".exe";
    return ::GetFileAttributesW(withExe.c_str()) == INVALID_FILE_ATTRIBUTES ? std::wstring() : withExe;
  }
  wchar_t found[MAX_PATH];
  const DWORD length = ::SearchPathW(nullptr, wide.c_str(), L".exe", MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(found, length);
}

// Time left to the deadline, rounded up, for the waits.
bool Expired(ConsoleProcess::Clock::time_point deadline) { return ConsoleProcess::Clock::now() >= deadline; }

}  // namespace

std::string QuoteCommandLineArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Each backslash before a quote is doubled, and the quote escaped.
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  // Before the closing quote, too.
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

struct ConsoleProcess::Impl {
  UniqueHandle process;
  UniqueHandle toChild;    // our end of its standard input
  UniqueHandle fromChild;  // our end of its standard output
  bool ended = false;
};

ConsoleProcess::ConsoleProcess() = default;

ConsoleProcess::~ConsoleProcess() { Close(); }

bool ConsoleProcess::Start(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                           std::string& error) {
  Close();
  const std::wstring exe = ResolveProgram(program);
  if (exe.empty()) {
    error = program + " was not found on the PATH";
    return false;
  }
  std::string commandLine = QuoteCommandLineArgument(Narrow(exe));
  for (const std::string& arg : args) commandLine += " " + QuoteCommandLineArgument(arg);

  // Both pipes are made without inheritance; only the child's two ends are
  // then marked inheritable, and the attribute list below limits the child
  // to exactly those (and our standard error).
  HANDLE raw[4] = {};
  if (!::CreatePipe(&raw[0], &raw[1], nullptr, kPipeBufferBytes)) {
    error = "cannot make a pipe: " + SystemMessage(::GetLastError());
    return false;
  }
  UniqueHandle childIn(raw[0]), ourIn(raw[1]);
  if (!::CreatePipe(&raw[2], &raw[3], nullptr, kPipeBufferBytes)) {
    error = "cannot make a pipe: " + SystemMessage(::GetLastError());
    return false;
  }
  UniqueHandle ourOut(raw[2]), childOut(raw[3]);
  for (HANDLE h : {childIn.get(), childOut.get()}) ::SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  // Our standard error, duplicated so that it can be handed on; a process
  // without one gives the child none.
  UniqueHandle childErr;
  HANDLE ourErr = ::GetStdHandle(STD_ERROR_HANDLE);
  if (ourErr && ourErr != INVALID_HANDLE_VALUE) {
    HANDLE dup = nullptr;
    if (::DuplicateHandle(::GetCurrentProcess(), ourErr, ::GetCurrentProcess(), &dup, 0, TRUE, DUPLICATE_SAME_ACCESS))
      childErr.reset(dup);
  }

  HANDLE inherited[3] = {childIn.get(), childOut.get(), childErr.get()};
  const DWORD inheritedCount = childErr.valid() ? 3 : 2;
  SIZE_T attributeBytes = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeBytes);
  std::vector<char> attributeStorage(attributeBytes);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeStorage.data());
  if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &attributeBytes)) {
    error = "cannot start " + program + ": " + SystemMessage(::GetLastError());
    return false;
  }
  struct AttributeListGuard {
    LPPROC_THREAD_ATTRIBUTE_LIST list;
    ~AttributeListGuard() { ::DeleteProcThreadAttributeList(list); }
  } attributeGuard{attributes};
  if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   inheritedCount * sizeof(HANDLE), nullptr, nullptr)) {
    error = "cannot start " + program + ": " + SystemMessage(::GetLastError());
    return false;
  }

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = childIn.get();
  startup.StartupInfo.hStdOutput = childOut.get();
  startup.StartupInfo.hStdError = childErr.valid() ? childErr.get() : nullptr;
  startup.lpAttributeList = attributes;

  std::wstring mutableCommandLine = Widen(commandLine);
  const std::wstring directory = Widen(workDir);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(exe.c_str(), mutableCommandLine.data(), nullptr, nullptr, TRUE,
                        EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup.StartupInfo, &info)) {
    error = "cannot start " + Narrow(exe) + ": " + SystemMessage(::GetLastError());
    return false;
  }
  ::CloseHandle(info.hThread);
  auto impl = std::make_unique<Impl>();
  impl->process.reset(info.hProcess);
  impl->toChild = std::move(ourIn);
  impl->fromChild = std::move(ourOut);
  // The child's ends go with this scope, so that its exit ends our reads.
  impl_ = std::move(impl);
  return true;
}

// Anonymous pipes have no overlapped reads: poll for data, so that the wait
// stays bounded.
ConsoleProcess::ReadResult ConsoleProcess::Read(std::string& out, size_t maxBytes, Clock::time_point deadline) {
  if (!impl_ || impl_->ended) return ReadResult::Ended;
  for (;;) {
    DWORD available = 0;
    if (!::PeekNamedPipe(impl_->fromChild.get(), nullptr, 0, nullptr, &available, nullptr)) {
      impl_->ended = true;  // broken pipe: the program closed its output or exited
      return ReadResult::Ended;
    }
    if (available > 0) {
      const DWORD want = DWORD(std::min<size_t>({size_t(available), maxBytes, size_t(kPipeBufferBytes)}));
      const size_t had = out.size();
      out.resize(had + want);
      DWORD got = 0;
      if (!::ReadFile(impl_->fromChild.get(), out.data() + had, want, &got, nullptr)) {
        out.resize(had);
        impl_->ended = true;
        return ReadResult::Ended;
      }
      out.resize(had + got);
      return ReadResult::Data;
    }
    if (Expired(deadline)) return ReadResult::TimedOut;
    std::this_thread::sleep_for(kPollInterval);
  }
}

// Our end is switched to non-blocking for the write, so that a program that
// does not read cannot hold us past the deadline.
bool ConsoleProcess::Write(const std::string& text, Clock::time_point deadline, std::string& error) {
  if (!impl_) {
    error = "no console is running";
    return false;
  }
  HANDLE pipe = impl_->toChild.get();
  DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
  const bool nonBlocking = ::SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr) != 0;
  size_t done = 0;
  while (done < text.size()) {
    DWORD wrote = 0;
    const DWORD want = DWORD(std::min<size_t>(text.size() - done, kPipeBufferBytes));
    if (!::WriteFile(pipe, text.data() + done, want, &wrote, nullptr)) {
      error = SystemMessage(::GetLastError());
      return false;
    }
    done += wrote;
    if (done < text.size() && wrote == 0) {
      if (!nonBlocking || Expired(deadline)) {
        error = "the console did not take its input in time";
        return false;
      }
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  return true;
}

void ConsoleProcess::Close() {
  if (!impl_) return;
  impl_->toChild.reset();
  impl_->fromChild.reset();
  if (impl_->process.valid() && ::WaitForSingleObject(impl_->process.get(), 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(impl_->process.get(), 1);
    ::WaitForSingleObject(impl_->process.get(), kExitWaitMilliseconds);
  }
  impl_.reset();
}

}  // namespace platform
}  // namespace ZEMBRA
