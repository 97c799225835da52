// Both libraries against the simulated receiver as it starts by default,
// the way the scripts and the README's main job start it: each must take
// its ordinary way to a channel (the driver the quietest channel for the
// hand, the plug-in a random quiet one), never a fallback, and stream.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "driver/ZEMBRAIMUImpl.h"
#include "plugin/serial_port.h"
#include "sim/receiver_simulator.h"
#include "tests/support/recording_handler.h"
#include "tests/support/stdout_capture.h"

namespace ZEMBRA {
namespace {

using namespace std::chrono_literals;

bool FitsHand(int channel, bool right) { return channel % 4 == (right ? 1 : 3); }

// The quietest channel of the default report that fits the hand; of equal
// noise levels the higher channel.
int QuietestFor(bool right) {
  const sim::ChannelNoiseTable noise = sim::DefaultNoise();
  int best = 0;
  for (int channel = 1; channel <= sim::kChannelCount; ++channel) {
    if (!FitsHand(channel, right)) continue;
    if (best == 0 || noise[size_t(channel - 1)] <= noise[size_t(best - 1)]) best = channel;
  }
  return best;
}

bool Streams(const sim::ReceiverSimulator& receiver) {
  return receiver.WaitFor([](const sim::Statistics& stats, sim::ReceiverState) { return stats.burstsSent > 20; }, 10s);
}

TEST(DefaultReceiver, TheDriverSetsUpOnTheQuietestChannelForTheHand) {
  for (const HandType hand : {Hand_Left, Hand_Right}) {
    sim::SimulatorConfig config;
    config.hand = hand;
    sim::ReceiverSimulator receiver(config);
    testsupport::Recording recording;
    EIMUError err = IMUError_None;
    ZEMBRAIMUImpl driver(err, 1, nullptr);
    driver.engine().SetHand(hand);
    IZEMBRAIMUEventHandler* handler = new testsupport::RecordingHandler(recording);
    driver.RegisterIMUDataCallback(handler, nullptr);
    PortInfo info;
    info.port_name = receiver.PortPath();
    info.baud_rate = 1000000;
    testsupport::StdoutCapture capture;
    driver.OpenPort(err, info);
    ASSERT_EQ(err, IMUError_None);
    const int channel = driver.link().currentChannel();
    EXPECT_EQ(channel, QuietestFor(hand == Hand_Right));
    EXPECT_LT(sim::DefaultNoise()[size_t(channel - 1)], 1.0f);
    EXPECT_TRUE(Streams(receiver));
    EXPECT_EQ(receiver.channel(), channel);
    driver.ClosePort(err);
    const std::string out = capture.Stop();
    EXPECT_EQ(out.find("No channel in the report suits this hand"), std::string::npos) << out;
    EXPECT_NE(out.find(" setup to channel:" + std::to_string(channel) + " Noise:0."), std::string::npos) << out;
  }
}

TEST(DefaultReceiver, ThePluginPicksARandomQuietChannelForTheHand) {
  for (const bool right : {false, true}) {
    sim::SimulatorConfig config;
    config.hand = right ? Hand_Right : Hand_Left;
    sim::ReceiverSimulator receiver(config);
    ZEMBRA_IMU::SerialPort port(false, 0);
    port.SetHand(right ? ZEMBRA_IMU::kPluginHandRight : ZEMBRA_IMU::kPluginHandLeft);
    testsupport::StdoutCapture capture;
    ASSERT_TRUE(port.Open(receiver.PortPath(), 1000000));
    const int channel = port.radioChannel();
    EXPECT_TRUE(FitsHand(channel, right)) << channel;
    EXPECT_LT(sim::DefaultNoise()[size_t(channel - 1)], 1.0f) << channel;
    EXPECT_NE(channel, right ? 81 : 79);
    EXPECT_NE(channel, right ? 91 : 89);
    port.StartStreaming();
    EXPECT_TRUE(Streams(receiver));
    EXPECT_EQ(receiver.channel(), channel);
    EXPECT_TRUE(port.Close());
    const std::string out = capture.Stop();
    EXPECT_EQ(out.find("No quiet channel for this hand"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string(right ? "Righthand" : "Lefthand") + " setup to channel:" + std::to_string(channel)),
              std::string::npos)
        << out;
  }
}

}  // namespace
}  // namespace ZEMBRA
