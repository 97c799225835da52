// The glove link over a real pseudo-terminal, with the test playing the
// receiver byte by byte.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "driver/ZEMBRAIMUImpl.h"
#include "platform/serial_device.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_handler.h"
#include "tests/support/stdout_capture.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;
using testsupport::CountOf;
using testsupport::MakeReport;
using testsupport::PtyPair;
using testsupport::Recording;
using testsupport::RecordingHandler;
using testsupport::StdoutCapture;

// Noise levels for channels 1..100 that sort to channels 8, 12, 7, 9, ...
std::vector<float> NoiseFavouring(std::initializer_list<int> quietest) {
  std::vector<float> noise(100, 5.0f);
  float level = 0.5f;
  for (int channel : quietest) noise[size_t(channel - 1)] = (level += 0.25f);
  return noise;
}

class LinkTest : public ::testing::Test {
 protected:
  void MakeDriver(HandType hand, std::chrono::milliseconds reportTimeout = 3000ms) {
    EIMUError err;
    link::LinkTimings timings;
    timings.reportTimeout = reportTimeout;
    driver_ = std::make_unique<ZEMBRAIMUImpl>(err, 1, nullptr, timings);
    driver_->engine().SetHand(hand);
    IZEMBRAIMUEventHandler* handler = new RecordingHandler(recording_);
    driver_->RegisterIMUDataCallback(handler, &context_);
  }
  PortInfo Info() const {
    PortInfo info;
    info.port_name = pty_.path();
    info.baud_rate = 1000000;
    return info;
  }

  PtyPair pty_;
  Recording recording_;
  int context_ = 0;
  std::unique_ptr<ZEMBRAIMUImpl> driver_;
};

TEST_F(LinkTest, CommandsWithoutAPortReportTheirErrors) {
  MakeDriver(Hand_Left);
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->SwitchToRSSIScan(err);
  EXPECT_EQ(err, IMUError_PortNotOpen);
  driver_->Vibrate(err);
  EXPECT_EQ(err, IMUError_OperationFailed);
  err = IMUError_None;
  driver_->VibratePeriod(err, 50);
  EXPECT_EQ(err, IMUError_OperationFailed);
  driver_->OnSaveCalibration(err);
  EXPECT_EQ(err, IMUError_OperationFailed);
  driver_->ClosePort(err);
  EXPECT_EQ(err, IMUError_PortAccessDenied);
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("Saving Calibration for left hand glove, please wait..."), std::string::npos);
  EXPECT_EQ(pty_.Read(1, 50ms), "");
}

TEST_F(LinkTest, OpenFailureLeavesAPortThatRefusesASecondOpen) {
  MakeDriver(Hand_Right);
  StdoutCapture capture;
  PortInfo info = Info();
  info.port_name = "/nonexistent/ttyZEMBRA";
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, info);
  EXPECT_EQ(err, IMUError_PortAccessDenied);
  err = IMUError_None;
  driver_->OpenPort(err, Info());
  EXPECT_EQ(err, IMUError_PortAccessDenied);
  driver_->ClosePort(err);
  EXPECT_EQ(err, IMUError_PortNotOpen);
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("error : port_->open() failed...com_port_name=/nonexistent/ttyZEMBRA, e="), std::string::npos);
  EXPECT_NE(out.find("ERROR_ACCESS_DENIED: Port is already opened..."), std::string::npos);
}

TEST_F(LinkTest, ChannelSetUpPicksTheQuietestChannelForTheHandAndStreams) {
  ASSERT_TRUE(pty_.ok());
  for (HandType hand : {Hand_Left, Hand_Right}) {
    PtyPair pty;
    MakeDriver(hand);
    ASSERT_TRUE(pty.Write(MakeReport(NoiseFavouring({8, 12, 7, 9}))));
    StdoutCapture capture;
    EIMUError err = IMUError_None;
    PortInfo info = Info();
    info.port_name = pty.path();
    const auto start = std::chrono::steady_clock::now();
    driver_->OpenPort(err, info);
    const auto setupTime = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(err, IMUError_None);
    const int expected = hand == Hand_Left ? 7 : 9;
    EXPECT_EQ(pty.Read(2, 1000ms), std::string("j") + char(expected));
    EXPECT_LT(setupTime, 500ms);
    EXPECT_EQ(driver_->link().currentChannel(), expected);
    driver_->ClosePort(err);
    EXPECT_EQ(err, IMUError_None);
    const std::string out = capture.Stop();
    const std::string setup = std::string(hand == Hand_Left ? "Lefthand" : "Righthand") +
                              " setup to channel:" + std::to_string(expected) + " Noise:";
    EXPECT_NE(out.find(setup), std::string::npos) << out;
    EXPECT_NE(out.find("Port Initialized!"), std::string::npos);
    EXPECT_NE(out.find("   Device setup time:"), std::string::npos);
    EXPECT_NE(out.find("start async read"), std::string::npos);
    EXPECT_NE(out.find("exiting thread\n"), std::string::npos);
    EXPECT_NE(out.find(hand == Hand_Left ? "LEFT Port successfully closed" : "RIGHT Port successfully closed"),
              std::string::npos);
    // A closed object is not reopened, and a second close says so.
    driver_->OpenPort(err, info);
    EXPECT_EQ(err, IMUError_PortAccessDenied);
    driver_->ClosePort(err);
    EXPECT_EQ(err, IMUError_PortNotOpen);
  }
}

TEST_F(LinkTest, ShortBlocksAreSkippedUntilAReportLongerThan700Bytes) {
  MakeDriver(Hand_Left);
  // 700 bytes up to and including the delimiter: discarded.
  std::string shortBlock(696, 'x');
  shortBlock += "TUPU";
  ASSERT_EQ(shortBlock.size(), 700u);
  ASSERT_TRUE(pty_.Write(shortBlock));
  ASSERT_TRUE(pty_.Write(MakeReport(NoiseFavouring({11}))));
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(pty_.Read(2, 1000ms), std::string("j") + char(11));
  driver_->ClosePort(err);
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("bytes read from port: 700\n"), std::string::npos);
  EXPECT_EQ(driver_->link().channelList().size(), 100u);
}

TEST_F(LinkTest, AMalformedTokenFailsOpenPortButTheObjectStillCloses) {
  MakeDriver(Hand_Left);
  std::string report = MakeReport({1.5f, 2.0f});
  report.insert(report.size() - 4, "abc,");
  ASSERT_TRUE(pty_.Write(report));
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  EXPECT_EQ(err, IMUError_OperationFailed);
  driver_->ClosePort(err);
  EXPECT_EQ(err, IMUError_None);
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("invalid stof argument"), std::string::npos);
}

TEST_F(LinkTest, AReportThatNeverComesEndsOpenPortAfterTheTimeOut) {
  MakeDriver(Hand_Right, 300ms);
  ASSERT_TRUE(pty_.Write(std::string(5000, 'z')));  // never a delimiter
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  const auto start = std::chrono::steady_clock::now();
  driver_->OpenPort(err, Info());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_EQ(err, IMUError_OperationFailed);
  driver_->ClosePort(err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_NE(capture.Stop().find("No channel report from the receiver"), std::string::npos);
}

TEST_F(LinkTest, BytesWithoutADelimiterDoNotHideALaterReport) {
  MakeDriver(Hand_Left);
  std::thread receiver([this] {
    // More junk than the stream buffer may hold, then a real report.
    for (int i = 0; i < 40; ++i) {
      pty_.Write(std::string(4000, 'q'));
      std::this_thread::sleep_for(2ms);
    }
    pty_.Write(MakeReport(NoiseFavouring({15})));
  });
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  receiver.join();
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(driver_->link().currentChannel(), 15);
  driver_->ClosePort(err);
}

TEST_F(LinkTest, SilenceNeverReconnectsButRejectedReadsDoOncePerSecond) {
  MakeDriver(Hand_Left);
  ASSERT_TRUE(pty_.Write(MakeReport(NoiseFavouring({7, 11, 15, 19}))));
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  ASSERT_EQ(pty_.Read(2, 1000ms), std::string("j") + char(7));
  // Nothing arrives: no read completes, so no reconnect.
  EXPECT_EQ(pty_.Read(1, 1500ms), "");
  // Reads keep completing but none is a packet: one reconnect a second,
  // each to the next fitting channel.
  std::string written;
  const auto until = std::chrono::steady_clock::now() + 2600ms;
  while (std::chrono::steady_clock::now() < until) {
    pty_.Write("garbage");
    written += pty_.Read(64, 20ms);
  }
  driver_->ClosePort(err);
  const std::string out = capture.Stop();
  EXPECT_NE(written.find(std::string("j") + char(11)), std::string::npos) << written;
  EXPECT_GE(CountOf(out, "Lefthand Re-Connecting..... Channel: "), 1u);
  EXPECT_LE(CountOf(out, "Lefthand Re-Connecting..... Channel: "), 3u);
  EXPECT_NE(out.find("Lefthand Re-Connecting..... Channel: 11"), std::string::npos) << out;
}

TEST_F(LinkTest, UnpluggingEndsStreamingAndCloseStillReturns) {
  MakeDriver(Hand_Right);
  ASSERT_TRUE(pty_.Write(MakeReport(NoiseFavouring({9}))));
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  ASSERT_EQ(err, IMUError_None);
  pty_.CloseMaster();
  std::this_thread::sleep_for(200ms);
  const auto start = std::chrono::steady_clock::now();
  driver_->ClosePort(err);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_NE(capture.Stop().find("Buffer read failed!!!!!"), std::string::npos);
}

TEST_F(LinkTest, DestroyingAStreamingDriverStopsItsThreads) {
  MakeDriver(Hand_Left);
  ASSERT_TRUE(pty_.Write(MakeReport(NoiseFavouring({3}))));
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  ASSERT_EQ(err, IMUError_None);
  driver_.reset();  // no ClosePort
  EXPECT_EQ(recording_.destroyed, 1);
  EXPECT_NE(capture.Stop().find("exiting thread"), std::string::npos);
}

TEST_F(LinkTest, TheSecondOpenerOfAPortIsRefused) {
  boost::asio::io_context io;
  platform::SerialDevice first(io), second(io);
  ASSERT_FALSE(first.Open(pty_.path()));
  const boost::system::error_code refused = second.Open(pty_.path());
  EXPECT_TRUE(refused);
  EXPECT_TRUE(platform::IsAccessDenied(refused)) << refused.message();
  first.Close();
  EXPECT_FALSE(second.Open(pty_.path()));
}

TEST_F(LinkTest, RadioCommandsWriteTheirBytes) {
  MakeDriver(Hand_Right);
  ASSERT_TRUE(pty_.Write(MakeReport(NoiseFavouring({5}))));
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->OpenPort(err, Info());
  ASSERT_EQ(pty_.Read(2, 1000ms), std::string("j") + char(5));

  driver_->Vibrate(err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(pty_.Read(1, 500ms), "v");
  driver_->OnSaveCalibration(err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(pty_.Read(1, 500ms), "c");
  driver_->SwitchToRSSIScan(err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(pty_.Read(1, 500ms), "s");
  driver_->VibratePeriod(err, 100);
  EXPECT_EQ(err, IMUError_None);
  const std::string vibrations = pty_.Read(100, 300ms);
  EXPECT_GE(vibrations.size(), 6u);
  EXPECT_LE(vibrations.size(), 11u);
  EXPECT_EQ(vibrations.find_first_not_of('v'), std::string::npos);
  driver_->VibratePeriod(err, 0);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(pty_.Read(1, 50ms), "");

  driver_->ClosePort(err);
  driver_->Vibrate(err);
  EXPECT_EQ(err, IMUError_OperationFailed);
  driver_->SwitchToRSSIScan(err);
  EXPECT_EQ(err, IMUError_PortNotOpen);
  const std::string out = capture.Stop();
  EXPECT_NE(out.find("Saving Calibration for right hand glove, please wait..."), std::string::npos);
  EXPECT_NE(out.find("Reset to RSSI Scan!"), std::string::npos);
}

TEST_F(LinkTest, PairingSendsTenBytesAndRaisesThePairedEvent) {
  MakeDriver(Hand_Left);
  StdoutCapture capture;
  EIMUError err = IMUError_OperationFailed;
  driver_->StartPairing(250, Info(), err);
  EXPECT_EQ(err, IMUError_None);
  const std::string sent = pty_.Read(10, 1000ms);
  ASSERT_EQ(sent.size(), 10u);
  EXPECT_EQ(sent[0], 'p');
  EXPECT_EQ(uint8_t(sent[1]), 50);

  // The same object cannot start a second pairing while the port is open.
  EIMUError again = IMUError_None;
  driver_->StartPairing(80, Info(), again);
  EXPECT_EQ(again, IMUError_PortAccessDenied);

  ASSERT_TRUE(pty_.Write("pairing... finished"));
  EXPECT_TRUE(recording_.WaitFor(2000ms, [&] { return !recording_.events.empty(); }));
  driver_->ClosePort(err);
  EXPECT_EQ(err, IMUError_None);
  const std::string out = capture.Stop();
  const auto events = recording_.eventsSoFar();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, IMUEvent_Paired);
  EXPECT_EQ(events[0].hand, Hand_Left);
  EXPECT_EQ(recording_.contexts.back(), &context_);
  EXPECT_NE(out.find("Pairing channel is set to 50"), std::string::npos);
  EXPECT_EQ(CountOf(out, "Pairing address is set to "), 8u);
  EXPECT_NE(out.find("\nread out bytes: 19\n"), std::string::npos);
  EXPECT_NE(out.find("Pairing Finished!\n"), std::string::npos);
  EXPECT_NE(out.find("ERROR_ACCESS_DENIED: Port is already opened...1\n"), std::string::npos);
}

TEST_F(LinkTest, PairingWithoutConfirmationEndsWhenThePortCloses) {
  MakeDriver(Hand_Right);
  StdoutCapture capture;
  EIMUError err = IMUError_OperationFailed;
  driver_->StartPairing(1, Info(), err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(uint8_t(pty_.Read(10, 1000ms).at(1)), 3);
  const auto start = std::chrono::steady_clock::now();
  driver_->ClosePort(err);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_EQ(err, IMUError_None);
  capture.Stop();
  EXPECT_TRUE(recording_.eventsSoFar().empty());
  // After ClosePort a new pairing may follow on the same object.
  driver_->StartPairing(90, Info(), err);
  EXPECT_EQ(err, IMUError_None);
  EXPECT_EQ(uint8_t(pty_.Read(10, 1000ms).at(1)), 90);
  driver_->ClosePort(err);
}

TEST_F(LinkTest, PairingOnAPortHeldElsewhereIsRefused) {
  boost::asio::io_context io;
  platform::SerialDevice holder(io);
  ASSERT_FALSE(holder.Open(pty_.path()));
  MakeDriver(Hand_Left);
  StdoutCapture capture;
  EIMUError err = IMUError_None;
  driver_->StartPairing(80, Info(), err);
  EXPECT_EQ(err, IMUError_PortAccessDenied);
  EXPECT_NE(capture.Stop().find("ERROR_ACCESS_DENIED: Port is already opened...2\n"), std::string::npos);
}

}  // namespace
}  // namespace ZEMBRA
