// From the configuration tool's start to both glove icons showing
// "delivering", with two simulated receivers found by discovery. Prints
// each run and the slowest. Runs on the offscreen platform unless told
// otherwise.
//   bench_tool_startup <zembra-receiver-sim> [runs]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "tool/main_window.h"

namespace {

std::unique_ptr<QProcess> StartReceiver(const QString& sim, const char* hand, int index) {
  auto process = std::make_unique<QProcess>();
  const QString tag = QString(hand) == "left" ? "LH" : "RH";
  process->start(sim, {"--hand", hand, "--rate", "200", "--register", QString("ttyUSB%1").arg(index), "--serial",
                       QString("ZEMBRA-%1-000%2").arg(tag).arg(index)});
  QByteArray said;
  for (int i = 0; i < 100 && !said.contains("registered as"); ++i) {
    process->waitForReadyRead(50);
    said += process->readAll();
  }
  return process;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_tool_startup <zembra-receiver-sim> [runs]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  QTemporaryDir tree;
  QDir(tree.path()).mkpath("sys");
  QDir(tree.path()).mkpath("dev");
  qputenv("ZEMBRA_SYSFS_ROOT", (tree.path() + "/sys").toUtf8());
  qputenv("ZEMBRA_DEV_ROOT", (tree.path() + "/dev").toUtf8());
  auto left = StartReceiver(argv[1], "left", 0);
  auto right = StartReceiver(argv[1], "right", 1);

  std::vector<qint64> times;
  for (int run = 0; run < runs; ++run) {
    QElapsedTimer clock;
    clock.start();
    auto window = std::make_unique<ZEMBRAGloveConfigTool>();
    window->show();
    while (!(window->glovePaired(ZEMBRA::Hand_Left) && window->glovePaired(ZEMBRA::Hand_Right)) &&
           clock.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    const qint64 took = clock.elapsed();
    times.push_back(took);
    std::printf("run %d: both gloves delivering %lld ms after start\n", run + 1, static_cast<long long>(took));
    window.reset();
  }
  std::sort(times.begin(), times.end());
  std::printf("start to both gloves delivering: median %lld ms, slowest %lld ms over %d runs\n",
              static_cast<long long>(times[times.size() / 2]), static_cast<long long>(times.back()), runs);
  left->terminate();
  right->terminate();
  left->waitForFinished();
  right->waitForFinished();
  return 0;
}
