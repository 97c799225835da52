// The live hand viewer against two simulated gloves at 200 bursts a second
// each, in one process: frames drawn per second, and the latency from the
// simulator's write of a burst to the end of the first frame that shows its
// pose (the frame's buffer swap). The simulator numbers its bursts in the
// pose's status value, so each frame knows which bursts it shows.
// Run it on an X server: xvfb-run -a bench_hand_viewer [seconds]
// (bench/hand_viewer.sh also measures the viewer program's processor use).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "sim/packet_builder.h"
#include "sim/receiver_simulator.h"
#include "sim/sysfs_tree.h"
#include "tool/recording/bvh_reader.h"
#include "tool/viewer/viewer_window.h"

namespace {

using ZEMBRA::sim::ReceiverSimulator;

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char* argv[]) {
  Q_INIT_RESOURCE(viewer);
  QApplication app(argc, argv);
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10;

  // Two receivers in a device tree of our own, found by discovery.
  QTemporaryDir tree;
  const std::string sys = (tree.path() + "/sys").toStdString(), dev = (tree.path() + "/dev").toStdString();
  qputenv("ZEMBRA_SYSFS_ROOT", QByteArray::fromStdString(sys));
  qputenv("ZEMBRA_DEV_ROOT", QByteArray::fromStdString(dev));
  ZEMBRA::sim::SysfsTree devices(sys, dev);
  std::unique_ptr<ReceiverSimulator> receivers[2];
  for (int hand = 0; hand < 2; ++hand) {
    ZEMBRA::sim::SimulatorConfig config;
    config.hand = hand == 0 ? ZEMBRA::protocol::kLeftHand : ZEMBRA::protocol::kRightHand;
    receivers[hand] = std::make_unique<ReceiverSimulator>(config);
    ZEMBRA::sim::UsbSerialReceiver usb;
    usb.name = hand == 0 ? "ttyUSB0" : "ttyUSB1";
    usb.serial = hand == 0 ? "ZEMBRA-LH0-0000" : "ZEMBRA-RH0-0001";
    usb.node_target = receivers[hand]->PortPath();
    if (!devices.AddUsbSerial(usb)) {
      std::fprintf(stderr, "cannot register %s: %s\n", usb.name.c_str(), devices.error().c_str());
      return 1;
    }
  }

  QFile bones(":/viewer/bones.txt");
  bones.open(QIODevice::ReadOnly);
  const auto parsed =
      ZEMBRA::recording::ParseBvh(bones.readAll().toStdString() + "MOTION\nFrames: 0\nFrame Time: 0.033333\n");
  ZEMBRA::viewer::ViewerWindow window(parsed.file);
  window.show();

  // Each frame's swap: count it, and for each hand whose shown pose is new,
  // how long ago its burst was written.
  bool measuring = false;
  long frames = 0;
  std::vector<double> latencies;
  double lastShown[2] = {-1, -1};
  QElapsedTimer clock;
  QObject::connect(window.view(), &QOpenGLWidget::frameSwapped, [&] {
    if (!measuring) return;
    ++frames;
    const auto now = ZEMBRA::sim::SimClock::now();
    for (int hand = 0; hand < 2; ++hand) {
      const auto shown = window.shownStatusValue(hand);
      if (!shown || *shown == lastShown[hand]) continue;
      lastShown[hand] = *shown;
      const auto sent = receivers[hand]->BurstSendTime(ZEMBRA::sim::SequenceFromStatusValue(*shown));
      if (sent) latencies.push_back(std::chrono::duration<double, std::milli>(now - *sent).count());
    }
  });
  // Two seconds to find and open both gloves, then the measurement.
  QTimer::singleShot(2000, [&] {
    measuring = true;
    clock.start();
  });
  QTimer::singleShot(int(2000 + seconds * 1000), [&] { app.quit(); });
  app.exec();

  const double elapsed = double(clock.elapsed()) / 1000;
  std::printf("frames drawn: %ld in %.1f s, %.1f per second\n", frames, elapsed, double(frames) / elapsed);
  std::printf("latency burst written -> frame swapped: median %.1f ms, p99 %.1f ms (%zu poses shown)\n",
              Percentile(latencies, 0.5), Percentile(latencies, 0.99), latencies.size());
  return latencies.empty() ? 1 : 0;
}
