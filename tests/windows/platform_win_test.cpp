// The Windows platform layer: command-line quoting, the console child with
// its pipes, whole-file I/O and run-time loaded libraries.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/tracker/console_session.h"
#include "platform/console_process.h"
#include "platform/dynamic_library.h"
#include "platform/file_io.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;
using tracker::ConsoleSession;
using Clock = std::chrono::steady_clock;

TEST(CommandLineQuoting, KeepsEveryArgumentIntactThroughTheRuntimesParsing) {
  using platform::QuoteCommandLineArgument;
  EXPECT_EQ(QuoteCommandLineArgument("plain"), "plain");
  EXPECT_EQ(QuoteCommandLineArgument(""), "\"\"");
  EXPECT_EQ(QuoteCommandLineArgument("two words"), "\"two words\"");
  EXPECT_EQ(QuoteCommandLineArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
  // Backslashes are literal unless a quote follows them.
  EXPECT_EQ(QuoteCommandLineArgument("C:\\Program Files\\"), "\"C:\\Program Files\\\\\"");
  EXPECT_EQ(QuoteCommandLineArgument("a\\b c"), "\"a\\b c\"");
  EXPECT_EQ(QuoteCommandLineArgument("a\\\"b"), "\"a\\\\\\\"b\"");
}

class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(session_.Start(ZEMBRA_CONSOLE_ECHO, {}, {}, error)) << error;
  }
  ConsoleSession::ReadStatus Read(std::string& line, std::chrono::milliseconds within = 5000ms) {
    return session_.ReadLine(line, Clock::now() + within);
  }
  bool Write(const std::string& text) {
    std::string error;
    const bool ok = session_.Write(text, Clock::now() + 2s, error);
    if (!ok) lastError_ = error;
    return ok;
  }
  ConsoleSession session_;
  std::string lastError_;
};

TEST_F(Console, AnswersLineByLineAndEndsWhenTheProgramExits) {
  ASSERT_TRUE(Write("first\nsecond\n"));
  std::string line;
  ASSERT_EQ(Read(line), ConsoleSession::ReadStatus::Line);
  EXPECT_EQ(line, "echo: first\r");  // the console's carriage return is kept
  ASSERT_EQ(Read(line), ConsoleSession::ReadStatus::Line);
  EXPECT_EQ(line, "echo: second\r");
  ASSERT_TRUE(Write("exit\n"));
  EXPECT_EQ(Read(line), ConsoleSession::ReadStatus::Ended);
  EXPECT_EQ(Read(line), ConsoleSession::ReadStatus::Ended);
}

TEST_F(Console, HandsOverAnUnterminatedLastLine) {
  ASSERT_TRUE(Write("partial\n"));
  std::string line;
  ASSERT_EQ(Read(line), ConsoleSession::ReadStatus::Line);
  EXPECT_EQ(line, "no line end");
  EXPECT_EQ(Read(line), ConsoleSession::ReadStatus::Ended);
}

TEST_F(Console, BoundsEveryWaitOnASilentProgramAndStopsIt) {
  ASSERT_TRUE(Write("mute\n"));
  std::string line;
  const auto start = Clock::now();
  EXPECT_EQ(Read(line, 300ms), ConsoleSession::ReadStatus::TimedOut);
  EXPECT_LT(Clock::now() - start, 3s);
  // Input it never reads fills the pipe; the write gives up at its deadline.
  const std::string block(256 * 1024, 'x');
  std::string error;
  EXPECT_FALSE(session_.Write(block, Clock::now() + 500ms, error));
  EXPECT_FALSE(error.empty());
  // Close kills the program rather than waiting for it.
  const auto closing = Clock::now();
  session_.Close();
  EXPECT_LT(Clock::now() - closing, 4s);
  EXPECT_EQ(Read(line), ConsoleSession::ReadStatus::Ended);
}

TEST(ConsoleStart, ReportsAMissingProgram) {
  ConsoleSession session;
  std::string error;
  EXPECT_FALSE(session.Start("zembra-no-such-program", {}, {}, error));
  EXPECT_NE(error.find("zembra-no-such-program"), std::string::npos) << error;
}

TEST(ConsoleStart, TheChildInheritsNoHandleButItsPipes) {
  // An event any ordinary CreateProcess with inheritance would pass on.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE event = ::CreateEventW(&inheritable, TRUE, TRUE, nullptr);
  ASSERT_NE(event, nullptr);
  platform::ConsoleProcess child;
  std::string error;
  ASSERT_TRUE(
      child.Start(ZEMBRA_CONSOLE_ECHO, {"probe", std::to_string(reinterpret_cast<uintptr_t>(event))}, {}, error))
      << error;
  std::string out;
  while (out.find('\n') == std::string::npos &&
         child.Read(out, 256, Clock::now() + 5s) == platform::ConsoleProcess::ReadResult::Data) {
  }
  EXPECT_EQ(out.substr(0, out.find_first_of("\r\n")), "not held");
  ::CloseHandle(event);
}

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("zembra-files-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(Files, ReplaceThenReadGivesTheBytesBackExactly) {
  const std::string content("{\n  \"render_model\" : \"x\"\r\n}\0tail", 33);
  ASSERT_EQ(platform::ReplaceFile(Path("LH.json"), content), 0);
  ASSERT_EQ(platform::ReplaceFile(Path("LH.json"), content.substr(0, 5)), 0);  // truncates
  std::string read;
  ASSERT_EQ(platform::ReadWholeFile(Path("LH.json"), 1024, read), 0);
  EXPECT_EQ(read, content.substr(0, 5));
}

TEST_F(Files, RefusesOversizedMissingAndUnwritableFiles) {
  ASSERT_EQ(platform::ReplaceFile(Path("big"), std::string(100, 'a')), 0);
  std::string read = "unchanged";
  EXPECT_EQ(platform::ReadWholeFile(Path("big"), 99, read), EFBIG);
  EXPECT_EQ(read, "unchanged");
  EXPECT_EQ(platform::ReadWholeFile(Path("missing"), 99, read), ENOENT);
  EXPECT_NE(platform::ReplaceFile(Path("no-such-dir/file"), "x"), 0);
}

TEST(DynamicLibraries, FindsExportsAndExplainsWhatIsMissing) {
  platform::DynamicLibrary kernel;
  ASSERT_TRUE(kernel.Load("kernel32.dll")) << kernel.error();
  EXPECT_NE(kernel.Symbol("GetTickCount"), nullptr);
  EXPECT_EQ(kernel.Symbol("VR_InitInternal2"), nullptr);
  EXPECT_NE(kernel.error().find("VR_InitInternal2"), std::string::npos);
  platform::DynamicLibrary missing;
  EXPECT_FALSE(missing.Load("openvr_api_missing.dll"));
  EXPECT_FALSE(missing.loaded());
  EXPECT_NE(missing.error().find("openvr_api_missing.dll"), std::string::npos);
  EXPECT_EQ(missing.Symbol("anything"), nullptr);
}

}  // namespace
}  // namespace ZEMBRA
