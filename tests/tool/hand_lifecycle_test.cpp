// A hand's whole life in the configuration tool, driven as a user drives it
// (keys, buttons, the window system's close, unplugging a receiver) against
// simulated receivers: every way a pairing ends gives the hand back once,
// one owner per port, a take that survives its save and the window's
// close, and monitors that neither stack searches nor lose a stop nor hold
// up the quit.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

#include "tests/tool/tool_test_support.h"
#include "tool/glove_monitor.h"
#include "tool/main_window.h"
#include "tool/pairing_dialog.h"
#include "tool/recording/bvh_reader.h"

using namespace tooltest;
using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;

namespace {

int FramesIn(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const ZEMBRA::recording::BvhParseResult parsed = ZEMBRA::recording::ParseBvh(file.readAll().toStdString());
  return parsed.ok ? parsed.file.frameCount : -1;
}

void Click(PairingProcess* dialog, const QString& text) {
  QPushButton* button = dialog ? dialog->button(text) : nullptr;
  QVERIFY2(button, qPrintable("no button " + text));
  button->click();
}

// True when the hand stays delivering for the whole time.
bool StaysPaired(ZEMBRAGloveConfigTool& window, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    if (!window.glovePaired(Hand_Left) || !window.glovePaired(Hand_Right)) return false;
    QTest::qWait(50);
  }
  return true;
}

}  // namespace

class HandLifecycleTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    work_ = std::make_unique<QTemporaryDir>();
    QDir::setCurrent(work_->path());
  }

  void aPairingEndsOnceHoweverTheDialogGoes() {
    DeviceTree tree;
    StandinTrackers trackers;
    auto left = std::make_unique<SimulatedReceiver>(Hand_Left, 0, QStringList{"--fault", "no-confirm"});
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));
    QCOMPARE(window.readyToolTip(), QString::fromUtf8("Left glove: streaming \u00b7 Right glove: streaming"));

    // Escape: no close event of its own, and still the window hears once.
    window.OnPairingLHGloveClicked();
    QPointer<PairingProcess> dialog = window.pairingDialog();
    QVERIFY(dialog && dialog->looking());
    QCOMPARE(window.readyToolTip(), QString::fromUtf8("Left glove: pairing \u00b7 Right glove: streaming"));
    QSignalSpy done(dialog.data(), &PairingProcess::OnPairingDoneSendtoMainWindow);
    QTest::keyClick(dialog.data(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 2000);
    QCOMPARE(done.count(), 1);
    QVERIFY(!window.pairingActive(Hand_Left));
    QVERIFY(window.watchdogRunning(Hand_Left));
    QTRY_VERIFY_WITH_TIMEOUT(window.glovePaired(Hand_Left), kFindMs);

    // Deleted outright while looking: the hand comes back all the same.
    window.OnPairingLHGloveClicked();
    QVERIFY(window.pairingDialog() && window.pairingDialog()->looking());
    delete window.pairingDialog();
    QVERIFY(!window.pairingActive(Hand_Left));
    QTRY_VERIFY_WITH_TIMEOUT(window.glovePaired(Hand_Left), kFindMs);

    // Unplugged while the dialog looks, then Cancel: the receiver is gone,
    // so the hand is not paired, not "Ready", and records nothing.
    window.OnPairingLHGloveClicked();
    dialog = window.pairingDialog();
    QVERIFY(dialog && dialog->looking());
    left.reset();
    Click(dialog, "Cancel");
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Left), QString("LHNotFound.png"), kFindMs);
    QVERIFY(!window.glovePaired(Hand_Left));
    QCOMPARE(window.readyText(), QString("Not Ready"));
    QCOMPARE(window.readyToolTip(), QString::fromUtf8("Left glove: receiver not found \u00b7 Right glove: streaming"));
    QCOMPARE(MessagesDuring([&] { window.OnStartRecording(); }),
             QStringList{"Please connect both hands of data gloves to record data!"});
    QVERIFY(!window.isRecording());
  }

  void pairingAndADemoNeverShareAPort() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0, {"--fault", "no-confirm"});
    SimulatedReceiver right(Hand_Right, 1);
    WriteDemo("ZEMBRAGloveDataStreaming", "sleep 1\n");
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));

    window.OnPairingLHGloveClicked();
    QPointer<PairingProcess> dialog = window.pairingDialog();
    QVERIFY(dialog);
    QCOMPARE(MessagesDuring([&] { window.OnRun3DDemo(); }),
             QStringList{"Please finish pairing the glove before running a demo."});
    QCOMPARE(MessagesDuring([&] { window.OnStartRecording(); }),
             QStringList{"Please finish pairing the glove before recording."});
    QVERIFY(!window.demoRunning());
    dialog->close();
    QVERIFY(BothPaired(window));

    window.OnRun3DDemo();
    QVERIFY(window.demoRunning());
    QCOMPARE(MessagesDuring([&] { window.OnPairingLHGloveClicked(); }),
             QStringList{"Please wait for the demo to end before pairing a glove."});
    QCOMPARE(MessagesDuring([&] { window.OnStartRecording(); }),
             QStringList{"Please wait for the demo to end before recording."});
    QVERIFY(!window.pairingDialog());
    QTRY_VERIFY_WITH_TIMEOUT(!window.demoRunning(), 10000);

    // Back from the demo: "Ready" once both gloves deliver again, and it
    // holds past the watchdog's five seconds, so a second demo is taken.
    QVERIFY(BothPaired(window));
    QVERIFY2(StaysPaired(window, 6000), "a hand stopped counting as paired after it came back");
    QCOMPARE(MessagesDuring([&] { window.OnRun3DDemo(); }), QStringList());
    QVERIFY(window.demoRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!window.demoRunning(), 10000);
    QVERIFY(BothPaired(window));
  }

  void aTakeEndsAtStopAndSurvivesAFailedSave() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));
    const QString saved = work_->path() + "/take.bvh";

    // Stop after a second; the user takes two seconds over the file, which
    // cannot be written, and then chooses another.
    window.OnStartRecording();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000);
    const double stopped = clock.elapsed() / 1000.0;
    const QStringList said =
        ModalsDuring({{"/proc/take.bvh", saved}, {"Choose Another File"}, 2000}, [&] { window.OnStartRecording(); });
    QCOMPARE(said.size(), 2);
    QVERIFY2(said[0].startsWith("The BVH file was not saved to /proc/take.bvh: "), qPrintable(said[0]));
    QCOMPARE(said[1], "Recorded BVH file has been saved to " + saved);
    QVERIFY(!window.isRecording());
    // The take is what came before Stop, not the time spent in the dialogs.
    const int frames = FramesIn(saved);
    QVERIFY2(std::abs(frames - stopped * 30) <= 3, qPrintable(QString("%1 frames, %2 s").arg(frames).arg(stopped)));

    // Cancelling the dialog leaves the recording running, without a gap:
    // the next stop's file holds everything up to it.
    window.OnStartRecording();
    clock.restart();
    QTest::qWait(300);
    ModalsDuring({{""}, {}, 500}, [&] { window.OnStartRecording(); });
    QVERIFY(window.isRecording());
    QTest::qWait(300);
    const double second = clock.elapsed() / 1000.0;
    const QString savedAgain = work_->path() + "/again.bvh";
    QCOMPARE(SaveDialogDuring(savedAgain, [&] { window.OnStartRecording(); }),
             QStringList{"Recorded BVH file has been saved to " + savedAgain});
    const int again = FramesIn(savedAgain);
    QVERIFY2(std::abs(again - second * 30) <= 3, qPrintable(QString("%1 frames, %2 s").arg(again).arg(second)));

    // Discarded on purpose after a failure: gone, and said nowhere else.
    window.OnStartRecording();
    QTest::qWait(200);
    QFile::remove(saved);
    QCOMPARE(ModalsDuring({{"/proc/take.bvh"}, {"Discard"}, 0}, [&] { window.OnStartRecording(); }).size(), 1);
    QVERIFY(!window.isRecording());
    QVERIFY(!QFile::exists(saved));
  }

  void leavingDuringARecordingAsksFirst() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    const QString question = "A recording is running. Save it before quitting?";
    const QString path = work_->path() + "/kept.bvh";
    {
      ZEMBRAGloveConfigTool window;
      window.show();
      QVERIFY(BothPaired(window));
      window.OnStartRecording();
      QVERIFY(window.isRecording());
      // The menu's Quit, then going back: nothing changed.
      QAction* quit = window.findChild<QAction*>("actionQuit");
      QVERIFY(quit);
      QCOMPARE(ModalsDuring({{}, {"Go Back"}, 0}, [&] { quit->trigger(); }), QStringList{question});
      QVERIFY(window.isVisible());
      QVERIFY(window.isRecording());
      // The window system's close, then Discard: gone without a file.
      QCOMPARE(ModalsDuring({{}, {"Discard"}, 0}, [&] { window.close(); }), QStringList{question});
      QVERIFY(!window.isVisible());
      QVERIFY(!window.isRecording());
      QVERIFY(QDir(work_->path()).entryList({"*.bvh"}).isEmpty());
    }
    ZEMBRAGloveConfigTool window;
    window.show();
    QVERIFY(BothPaired(window));
    window.OnStartRecording();
    QTest::qWait(300);
    // The close button, then Save: the take is written, then the window goes.
    auto* closeButton = window.findChild<QPushButton*>("pushButton_2");
    QVERIFY(closeButton);
    QCOMPARE(ModalsDuring({{path}, {"Save"}, 0}, [&] { closeButton->click(); }),
             (QStringList{question, "Recorded BVH file has been saved to " + path}));
    QVERIFY(!window.isVisible());
    QVERIFY(FramesIn(path) > 0);
  }

  void shortcutsAreLockedDuringARecording() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QVERIFY(BothPaired(window));
    window.OnStartRecording();
    QVERIFY(window.isRecording());
    for (const char* name : {"actionPair_Left_Hand_Glove", "actionConfig_Left_Hand_Tracker", "actionRun_Glove_3D_Demo",
                             "actionReset_Latency_Timer"}) {
      QAction* action = window.findChild<QAction*>(name);
      QVERIFY2(action && !action->isEnabled(), name);
    }
    QVERIFY(window.findChild<QAction*>("actionStart_Recording")->isEnabled());
    const QStringList said = MessagesDuring(
        [&] {
          QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
          QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
          QTest::qWait(300);
        },
        0);
    QCOMPARE(said, QStringList());
    QVERIFY(!window.pairingDialog());
    QVERIFY(window.isRecording());

    // After the stop the same key reaches pairing again.
    SaveDialogDuring(work_->path() + "/keys.bvh", [&] { window.OnStartRecording(); });
    QVERIFY(!window.isRecording());
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(window.pairingDialog(), 2000);
    window.pairingDialog()->close();
  }

  void aBusyMonitorStacksNoSearchLosesNoStopAndHoldsNoQuit() {
    DeviceTree tree;
    StandinTrackers trackers;
    // Receivers that never report their channels: each open waits out the
    // driver's time-out.
    SimulatedReceiver left(Hand_Left, 0, {"--fault", "report=none"});
    SimulatedReceiver right(Hand_Right, 1, {"--fault", "report=none"});
    auto window = std::make_unique<ZEMBRAGloveConfigTool>();
    window->show();
    QTRY_VERIFY_WITH_TIMEOUT(window->receiverFound(Hand_Left) && window->receiverFound(Hand_Right), kFindMs);

    // The right hand's dialog names the right hand while its monitor is
    // still busy with the port.
    window->OnPairingRHGloveClicked();
    QPointer<PairingProcess> dialog = window->pairingDialog();
    QVERIFY(dialog && !dialog->looking());
    QCOMPARE(dialog->labelText("label_3"), QString("Looking for Right Hand Glove..."));

    // The watchdog asks again and again while the left open waits: one
    // search waits behind it, no more.
    CheckGloveStatus* leftMonitor = window->gloveMonitor(Hand_Left);
    QCOMPARE(leftMonitor->searchCount(), 1);
    for (int i = 0; i < 10; ++i) window->OnLHGloveDataReceiveTimeOut();
    QCOMPARE(leftMonitor->searchCount(), 1);
    QVERIFY(leftMonitor->searchWaiting());

    // The stop the right monitor could not take at once is not lost: once
    // the open has given up, the port closes and the pairing starts.
    QTRY_VERIFY_WITH_TIMEOUT(dialog && dialog->looking(), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(leftMonitor->searchCount(), 2, 5000);

    // Quit while the left monitor waits for a report again: the window goes
    // at once; the process waits for the driver's time-out out of sight.
    QElapsedTimer took;
    took.start();
    window->OnCloseApplication();
    QVERIFY(!window->isVisible());
    QVERIFY2(took.elapsed() < 1000, qPrintable(QString("the window stayed %1 ms").arg(took.elapsed())));
    QVERIFY(dialog.isNull() || !dialog->isVisible());
    window.reset();
  }

 private:
  // A stand-in demo program at the path the window starts it from.
  void WriteDemo(const QString& name, const QByteArray& body) {
    const QString path = ZEMBRAGloveConfigTool::DemoPath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("#!/bin/sh\n" + body);
    file.close();
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
  }

  std::unique_ptr<QTemporaryDir> work_;
};

QTEST_MAIN(HandLifecycleTest)
#include "hand_lifecycle_test.moc"
