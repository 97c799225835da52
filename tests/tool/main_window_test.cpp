// The configuration tool's main window against simulated receivers (real
// processes found by the driver's discovery), the stand-in tracker runtime
// and stand-in demo programs: what a user sees and what each command does.
#include "tool/main_window.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "tests/tool/tool_test_support.h"
#include "tool/glove_monitor.h"
#include "tool/pairing_dialog.h"

using namespace tooltest;
using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;

namespace {

QString ReadText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path + ": " + file.errorString()));
  file.write(text);
}

int ThreadCount() { return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    // Each test in a fresh current folder: the demo paths and the tracker
    // configuration files are relative to it.
    work_ = std::make_unique<QTemporaryDir>();
    QDir::setCurrent(work_->path());
  }

  void iconsFollowReceiversDataAndTheWatchdog() {
    DeviceTree tree;
    StandinTrackers trackers;
    ZEMBRAGloveConfigTool window;
    QCOMPARE(window.readyText(), QString("Not Ready"));
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Left), QString("LHNotFound.png"), kFindMs);
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Right), QString("RHNotFound.png"), kFindMs);

    SimulatedReceiver left(Hand_Left, 0);
    QVERIFY(left.registered());
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Left), QString("LHPaired.png"), kFindMs);
    QVERIFY(window.receiverFound(Hand_Left));
    QCOMPARE(window.readyText(), QString("Not Ready"));
    SimulatedReceiver right(Hand_Right, 1);
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Right), QString("RHPaired.png"), kFindMs);
    QCOMPARE(window.readyText(), QString("Ready"));

    // 200 poses a second per glove, and nothing is repainted for them.
    const int repaints = window.repaintCount();
    QTest::qWait(1000);
    QCOMPARE(window.repaintCount(), repaints);

    // Pulled out: five silent seconds later the watchdog searches, and the
    // receiver is gone.
    left.Unplug();
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Left), QString("LHNotFound.png"), 9000);
    QVERIFY(!window.glovePaired(Hand_Left));
    QVERIFY(!window.receiverFound(Hand_Left));
    QCOMPARE(window.readyText(), QString("Not Ready"));
    QCOMPARE(window.gloveIconName(Hand_Right), QString("RHPaired.png"));
  }

  void poseReportsChangeNothingDuringPairingOrADemo() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0, {"--fault", "no-confirm"});
    SimulatedReceiver right(Hand_Right, 1);
    WriteDemo("ZEMBRAGloveDataStreaming", "sleep 2\n");
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));

    window.OnPairingLHGloveClicked();
    QVERIFY(window.pairingActive(Hand_Left));
    QVERIFY(!window.watchdogRunning(Hand_Left));
    const int repaints = window.repaintCount();
    window.OnGloveStatusReceived({GloveStatus_GloveDataReceived, Hand_Left});
    QVERIFY(!window.watchdogRunning(Hand_Left));
    QCOMPARE(window.repaintCount(), repaints);
    QVERIFY(window.pairingDialog());
    window.pairingDialog()->close();  // the window system's close
    QTRY_VERIFY_WITH_TIMEOUT(!window.pairingActive(Hand_Left), 2000);
    QVERIFY(window.watchdogRunning(Hand_Left));
    QVERIFY(BothPaired(window));

    window.OnRun3DDemo();
    QVERIFY(window.demoRunning());
    QVERIFY(!window.watchdogRunning(Hand_Left) && !window.watchdogRunning(Hand_Right));
    window.OnGloveStatusReceived({GloveStatus_GloveDataReceived, Hand_Right});
    QVERIFY(!window.watchdogRunning(Hand_Right));
    QTRY_VERIFY_WITH_TIMEOUT(!window.demoRunning(), 15000);
  }

  void contextMenuByClickArea() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    auto at = [&](int x, int y) { return MenuDuring([&] { window.ShowContextMenu(QPoint(x, y)); }); };
    using Entries = std::vector<MenuEntry>;
    QCOMPARE(at(20, 100), (Entries{{"Pair &Left Hand Glove", true}}));
    QCOMPARE(at(70, 160), (Entries{{"Pair &Right Hand Glove", true}}));
    QCOMPARE(at(150, 80), (Entries{{"Config &Left Hand Tracker", true}, {"&Identify Tracker", true}}));
    QCOMPARE(at(200, 120), (Entries{{"Config &Right Hand Tracker", true}, {"&Identify Tracker", true}}));
    const Entries full = {{"Run Glove 3D Demo", true},
                          {"Run Glove VR Demo", true},
                          {"-", true},
                          {"Pair Glove", true},
                          {"Config HTC Tracker", true},
                          {"&Start Recording", true},
                          {"-", true},
                          {"&Reset Latency Timer", true},
                          {"-", true},
                          {"&Quit", true}};
    QCOMPARE(at(120, 100), full);  // between the glove and tracker icons
    QCOMPARE(at(20, 40), full);    // above the toolbar

    QVERIFY(BothPaired(window));
    window.OnStartRecording();
    QVERIFY(window.isRecording());
    const Entries recording = {{"Run Glove 3D Demo", false},
                               {"Run Glove VR Demo", false},
                               {"-", true},
                               {"Pair Glove", false},
                               {"Config HTC Tracker", false},
                               {"&Stop Recording", true},
                               {"-", true},
                               {"&Reset Latency Timer", false},
                               {"-", true},
                               {"&Quit", true}};
    QCOMPARE(at(120, 100), recording);
    // Only the full menu disables entries while recording.
    QCOMPARE(at(20, 100), (Entries{{"Pair &Left Hand Glove", true}}));
    SaveDialogDuring(work_->path() + "/menu.bvh", [&] { window.OnStartRecording(); });
    QVERIFY(!window.isRecording());
  }

  void preconditionsSayWhatIsMissing() {
    DeviceTree tree;
    qputenv("ZEMBRA_OPENVR_LIBRARY", QByteArray(work_->path().toUtf8() + "/no-openvr-here.so"));
    {
      ZEMBRAGloveConfigTool window;
      auto said = [&](void (ZEMBRAGloveConfigTool::*command)()) {
        return MessagesDuring([&] { (window.*command)(); });
      };
      const QString gloves = "Please connect both hands of data gloves to run demo!";
      QCOMPARE(said(&ZEMBRAGloveConfigTool::OnRun3DDemo), QStringList{gloves});
      QCOMPARE(said(&ZEMBRAGloveConfigTool::OnRunVRDemo), QStringList{gloves});
      QCOMPARE(said(&ZEMBRAGloveConfigTool::OnPairingLHGloveClicked),
               QStringList{"Please connect USB receiver first to start pairing!"});
      QCOMPARE(said(&ZEMBRAGloveConfigTool::OnResetLatencyTimer),
               QStringList{"USB access denied! Please check whether receivers are connected to PC properly."});
      QCOMPARE(said(&ZEMBRAGloveConfigTool::OnStartRecording),
               QStringList{"Please connect both hands of data gloves to record data!"});
      // No tracker runtime: the commands say so instead of calling nothing.
      QTest::qWait(500);  // the monitor has tried the runtime by now
      const QString denied = "HTC Tracker access denied! Please try again.";
      QCOMPARE(said(&ZEMBRAGloveConfigTool::OnConfigLHTrackerClicked), QStringList{denied});
      QCOMPARE(said(&ZEMBRAGloveConfigTool::OnIdentifyRHTrackerClicked), QStringList{denied});
    }
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));
    QCOMPARE(MessagesDuring([&] { window.OnRunVRDemo(); }),
             QStringList{"Please connect both hands of trackers to run demo!"});
  }

  void latencyTimerIsSetOncePerReceiverAndResetOnRequest() {
    DeviceTree tree;
    StandinTrackers trackers;
    // Receivers that never report a channel list: found, never delivering.
    auto left = std::make_unique<SimulatedReceiver>(Hand_Left, 0, QStringList{"--fault", "report=none"});
    SimulatedReceiver right(Hand_Right, 1, {"--fault", "report=none"});
    ZEMBRAGloveConfigTool window;
    QTRY_VERIFY_WITH_TIMEOUT(window.receiverFound(Hand_Left) && window.receiverFound(Hand_Right), kFindMs);
    const QString leftTimer = tree.LatencyTimer("ttyUSB0");
    const QString rightTimer = tree.LatencyTimer("ttyUSB1");
    QTRY_COMPARE_WITH_TIMEOUT(ReadText(leftTimer), QString("1"), 2000);
    QCOMPARE(ReadText(rightTimer), QString("1"));

    // Found again later in the run: not set again.
    left.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!window.receiverFound(Hand_Left), 15000);
    left = std::make_unique<SimulatedReceiver>(Hand_Left, 0, QStringList{"--fault", "report=none"});
    WriteText(tree.LatencyTimer("ttyUSB0"), "16\n");
    QTRY_VERIFY_WITH_TIMEOUT(window.receiverFound(Hand_Left), kFindMs);
    QTest::qWait(300);
    QCOMPARE(ReadText(tree.LatencyTimer("ttyUSB0")), QString("16"));

    // On request every receiver found is reset, delivering or not.
    WriteText(rightTimer, "16\n");
    QElapsedTimer took;
    took.start();
    QCOMPARE(MessagesDuring([&] { window.OnResetLatencyTimer(); }),
             QStringList{"USB configuration has been set successfully!"});
    QVERIFY2(took.elapsed() < 2000, "the reset waited for a monitor busy opening its port");
    QCOMPARE(ReadText(tree.LatencyTimer("ttyUSB0")), QString("1"));
    QCOMPARE(ReadText(rightTimer), QString("1"));

    // A value the system lets no one change: the reset failed, and says so.
    QVERIFY(QFile::remove(rightTimer));
    QVERIFY(QFile::link("/proc/sys/kernel/cap_last_cap", rightTimer));
    QCOMPARE(MessagesDuring([&] { window.OnResetLatencyTimer(); }),
             QStringList{"USB access denied! Please check whether receivers are connected to PC properly."});
  }

  void trackerIconsFollowTheRuntime() {
    DeviceTree tree;
    StandinTrackers trackers;
    QVERIFY(trackers.ok());
    trackers.Apply("device 3 3 1 0 - LHR-0000AAAA\n");
    ZEMBRAGloveConfigTool window;
    QTRY_COMPARE_WITH_TIMEOUT(window.trackerIconName(Hand_Left), QString("tracker_status_ready.png"), kFindMs);
    QCOMPARE(window.trackerIconName(Hand_Right), QString("tracker_status_off.png"));
    for (int round = 0; round < 2; ++round) {
      trackers.Apply("event 101 3\n");
      QTRY_COMPARE_WITH_TIMEOUT(window.trackerIconName(Hand_Left), QString("tracker_status_off.png"), 2000);
      QVERIFY(!window.trackerConnected(Hand_Left));
      trackers.Apply("event 100 3\n");
      QTRY_COMPARE_WITH_TIMEOUT(window.trackerIconName(Hand_Left), QString("tracker_status_ready.png"), 2000);
    }
    trackers.Apply("device 9 3 1 0 - LHR-0000BBBB\nevent 100 9\n");
    QTRY_COMPARE_WITH_TIMEOUT(window.trackerIconName(Hand_Right), QString("tracker_status_ready.png"), 2000);
    QVERIFY(window.trackerConnected(Hand_Right));
  }

  void demoProgramsRunAndFailCleanly() {
    DeviceTree tree;
    StandinTrackers trackers;
    trackers.Apply("device 3 3 1 0 - LHR-0000AAAA\ndevice 4 3 1 0 - LHR-0000BBBB\n");
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    WriteDemo("ZEMBRAGloveVRInteraction", "echo ran > vr-demo-ran\n");
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));
    QTRY_VERIFY_WITH_TIMEOUT(window.trackerConnected(Hand_Left) && window.trackerConnected(Hand_Right), kFindMs);

    window.OnRunVRDemo();
    QVERIFY(window.demoRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!window.demoRunning(), 5000);
    QVERIFY(QFile::exists("vr-demo-ran"));
    QVERIFY(window.watchdogRunning(Hand_Left) && window.watchdogRunning(Hand_Right));
    // The ports are the monitors' again and reopened at once: the gloves
    // count as delivering when their poses say so, not because they did
    // before the demo.
    QCOMPARE(window.gloveIconName(Hand_Left), QString("LHNotPaired.png"));
    QCOMPARE(window.readyText(), QString("Not Ready"));
    QVERIFY(BothPaired(window));

    // No 3D demo here: the user is told where it was looked for, and the
    // window comes back as after a demo.
    const QStringList said = MessagesDuring([&] { window.OnRun3DDemo(); }, 5000);
    QCOMPARE(said.size(), 1);
    QVERIFY2(said[0].contains(ZEMBRAGloveConfigTool::DemoPath("ZEMBRAGloveDataStreaming")), qPrintable(said[0]));
    QVERIFY(!window.demoRunning());
    QVERIFY(window.watchdogRunning(Hand_Left) && window.watchdogRunning(Hand_Right));
    QVERIFY(BothPaired(window));
  }

  void aBusyMonitorDoesNotHoldTheWindow() {
    DeviceTree tree;
    StandinTrackers trackers;
    // The receiver never reports: the monitor's open waits out its time-out.
    SimulatedReceiver left(Hand_Left, 0, {"--fault", "report=none"});
    ZEMBRAGloveConfigTool window;
    QTRY_VERIFY_WITH_TIMEOUT(window.receiverFound(Hand_Left), kFindMs);
    QElapsedTimer took;
    took.start();
    window.OnPairingLHGloveClicked();
    QVERIFY2(took.elapsed() < 1000, "the window waited for the monitor's open");
    QVERIFY(window.pairingDialog());
    QVERIFY(!window.pairingDialog()->looking());
    // Once the open has given up, the port closes and the pairing starts.
    QTRY_VERIFY_WITH_TIMEOUT(window.pairingDialog() && window.pairingDialog()->looking(), 15000);
    window.pairingDialog()->close();
  }

  void exitJoinsEveryThreadWhileStreaming() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    const int threadsBefore = ThreadCount();
    auto window = std::make_unique<ZEMBRAGloveConfigTool>();
    window->show();
    QVERIFY(BothPaired(*window));
    QVERIFY(ThreadCount() > threadsBefore);
    QElapsedTimer took;
    took.start();
    window->OnCloseApplication();
    QVERIFY(!window->isVisible());
    window.reset();
    QVERIFY(took.elapsed() < 3000);
    // Qt's threads are detached: a joined one may still be leaving the
    // process for a moment after wait() has returned.
    QTRY_COMPARE_WITH_TIMEOUT(ThreadCount(), threadsBefore, 2000);
  }

 private:
  // A stand-in demo program at the path the window starts it from.
  void WriteDemo(const QString& name, const QByteArray& body) {
    const QString path = ZEMBRAGloveConfigTool::DemoPath(name);
    QDir().mkpath(QFileInfo(path).path());
    WriteText(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
  }

  std::unique_ptr<QTemporaryDir> work_;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
