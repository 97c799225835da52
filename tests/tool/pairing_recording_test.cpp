// Pairing and recording from the main window, against simulated receivers
// that confirm pairing (or never do): every way a pairing dialog can end,
// and recordings written to BVH files that are read back.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
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
using ZEMBRA::recording::BvhParseResult;

namespace {

BvhParseResult ReadBvh(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return ZEMBRA::recording::ParseBvh(file.readAll().toStdString());
}

void Click(PairingProcess* dialog, const QString& text) {
  QPushButton* button = dialog ? dialog->button(text) : nullptr;
  QVERIFY2(button, qPrintable("no button " + text));
  button->click();
}

}  // namespace

class PairingRecordingTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    work_ = std::make_unique<QTemporaryDir>();
    QDir::setCurrent(work_->path());
  }

  void successThenDoneAndThenTheOtherHand() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));

    window.OnPairingLHGloveClicked();
    QPointer<PairingProcess> dialog = window.pairingDialog();
    QVERIFY(dialog && dialog->looking());
    QTRY_COMPARE_WITH_TIMEOUT(dialog->labelText("label"), QString("Success!"), 3000);
    QCOMPARE(dialog->labelText("label_3"), QString("Left Hand Glove Paired!"));
    QVERIFY(dialog->button("Pair Another Glove") && dialog->button("Done"));
    // The window heard at once: the hand's monitoring resumes.
    QVERIFY(!window.pairingActive(Hand_Left));
    QVERIFY(window.watchdogRunning(Hand_Left));
    QVERIFY(window.gloveMonitor(Hand_Left)->portOpen() ||
            QTest::qWaitFor([&] { return window.gloveMonitor(Hand_Left)->portOpen(); }, kFindMs));
    Click(dialog, "Done");
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 2000);
    QVERIFY(!window.pairingDialog());

    // Success, then the other hand: a dialog for the right hand starts.
    window.OnPairingLHGloveClicked();
    dialog = window.pairingDialog();
    QTRY_COMPARE_WITH_TIMEOUT(dialog->labelText("label"), QString("Success!"), 3000);
    Click(dialog, "Pair Another Glove");
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 2000);
    QPointer<PairingProcess> other = window.pairingDialog();
    QVERIFY(other);
    QCOMPARE(other->hand(), Hand_Right);
    QTRY_COMPARE_WITH_TIMEOUT(other->labelText("label_3"), QString("Right Hand Glove Paired!"), 3000);
    Click(other, "Done");
    QTRY_VERIFY_WITH_TIMEOUT(other.isNull(), 2000);
    QVERIFY(!window.pairingActive(Hand_Left) && !window.pairingActive(Hand_Right));
  }

  void theOtherHandNeedsItsReceiver() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    ZEMBRAGloveConfigTool window;
    QTRY_VERIFY_WITH_TIMEOUT(window.glovePaired(Hand_Left), kFindMs);
    window.OnPairingLHGloveClicked();
    QPointer<PairingProcess> dialog = window.pairingDialog();
    QTRY_COMPARE_WITH_TIMEOUT(dialog->labelText("label"), QString("Success!"), 3000);
    const QStringList said = MessagesDuring([&] { Click(dialog, "Pair Another Glove"); });
    QCOMPARE(said, QStringList{"Please connect USB receiver first to start pairing!"});
    QVERIFY(!window.pairingDialog());
    QVERIFY(!window.pairingActive(Hand_Left));
  }

  void timeoutThenRetryThenCancel() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0, {"--fault", "no-confirm"});
    ZEMBRAGloveConfigTool window;
    QTRY_VERIFY_WITH_TIMEOUT(window.glovePaired(Hand_Left), kFindMs);
    window.OnPairingLHGloveClicked();
    QPointer<PairingProcess> dialog = window.pairingDialog();
    QVERIFY(dialog && dialog->looking());
    QCOMPARE(dialog->startAttempts(), 1);
    // What the 30-second timer does when it fires.
    dialog->OnGlovePairingTimeOut();
    QCOMPARE(dialog->labelText("label_3"), QString("No ZEMBRA Data Glove Detected!"));
    QCOMPARE(dialog->labelText("label_5"), QString("Click 'Retry' below to try again."));
    Click(dialog, "Retry");
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 2000);
    QPointer<PairingProcess> retry = window.pairingDialog();
    QVERIFY(retry);
    // It looks at once, on the port the monitor closed the first time.
    QVERIFY(retry->looking());
    QCOMPARE(retry->startAttempts(), 1);
    QVERIFY(window.pairingActive(Hand_Left));

    retry->OnGlovePairingTimeOut();
    Click(retry, "Cancel");
    QTRY_VERIFY_WITH_TIMEOUT(retry.isNull(), 2000);
    QVERIFY(!window.pairingActive(Hand_Left));
    QVERIFY(window.watchdogRunning(Hand_Left));
    // The receiver was put back to its scan, and the glove comes back.
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Left), QString("LHPaired.png"), kFindMs);
  }

  void closingByAnyOtherPathResumesTheHandOnce() {
    DeviceTree tree;
    StandinTrackers trackers;
    // The receiver never reports: the monitor is busy opening, so the
    // dialog is open before any driver object of its own exists.
    SimulatedReceiver busy(Hand_Left, 0, {"--fault", "report=none"});
    SimulatedReceiver right(Hand_Right, 1, {"--fault", "no-confirm"});
    ZEMBRAGloveConfigTool window;
    QTRY_VERIFY_WITH_TIMEOUT(window.receiverFound(Hand_Left), kFindMs);
    window.OnPairingLHGloveClicked();
    QPointer<PairingProcess> waiting = window.pairingDialog();
    QVERIFY(waiting && !waiting->looking());
    Click(waiting, "Cancel");  // nothing to reset yet
    QTRY_VERIFY_WITH_TIMEOUT(waiting.isNull(), 2000);
    QVERIFY(!window.pairingActive(Hand_Left));
    QVERIFY(window.watchdogRunning(Hand_Left));

    // Closed by the window system while looking.
    QTRY_VERIFY_WITH_TIMEOUT(window.glovePaired(Hand_Right), kFindMs);
    window.OnPairingRHGloveClicked();
    QPointer<PairingProcess> looking = window.pairingDialog();
    QVERIFY(looking && looking->looking());
    looking->close();
    QTRY_VERIFY_WITH_TIMEOUT(looking.isNull(), 2000);
    QVERIFY(!window.pairingActive(Hand_Right));
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Right), QString("RHPaired.png"), kFindMs);
  }

  void aRecordingIsSavedAtThirtyFramesASecondAndOnlyItsOwn() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));
    const QString first = work_->path() + "/first.bvh";
    const QString second = work_->path() + "/second.bvh";

    QElapsedTimer clock;
    window.OnStartRecording();
    clock.start();
    QVERIFY(window.isRecording());
    QCOMPARE(MessagesDuring([&] { window.OnPairingLHGloveClicked(); }),
             QStringList{"Please stop the recording before pairing a glove."});
    QTest::qWait(1000);
    // Cancelled: the recording goes on, and the next stop asks again.
    SaveDialogDuring(QString(), [&] { window.OnStartRecording(); });
    QVERIFY(window.isRecording());
    QTest::qWait(500);
    QCOMPARE(SaveDialogDuring(first, [&] { window.OnStartRecording(); }),
             QStringList{"Recorded BVH file has been saved to " + first});
    const double firstSeconds = clock.elapsed() / 1000.0;
    QVERIFY(!window.isRecording());
    const BvhParseResult one = ReadBvh(first);
    QVERIFY2(one.ok, one.error.c_str());
    QCOMPARE(one.file.channelCount, 96);
    // Thirty frames a second of recording, give or take the moments between
    // the clock here and the monitors' own.
    QVERIFY2(std::abs(one.file.frameCount - firstSeconds * 30) <= 3,
             qPrintable(QString("%1 frames in %2 s").arg(one.file.frameCount).arg(firstSeconds)));
    for (double v : one.file.values) QVERIFY(std::isfinite(v));

    window.OnStartRecording();
    clock.restart();
    QTest::qWait(500);
    QCOMPARE(SaveDialogDuring(second, [&] { window.OnStartRecording(); }),
             QStringList{"Recorded BVH file has been saved to " + second});
    const double secondSeconds = clock.elapsed() / 1000.0;
    const BvhParseResult two = ReadBvh(second);
    QVERIFY2(two.ok, two.error.c_str());
    QVERIFY2(std::abs(two.file.frameCount - secondSeconds * 30) <= 3,
             qPrintable(QString("%1 frames in %2 s").arg(two.file.frameCount).arg(secondSeconds)));
  }

  // Ten seconds of both simulated hands: about 300 frames at the file's
  // frame time, so a viewer plays it at the right speed. With
  // ZEMBRA_KEEP_RECORDING set, the file is kept there (for the docs).
  void tenSecondsMakeThreeHundredFrames() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));
    window.OnStartRecording();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(10000);
    const QString path = work_->path() + "/ten.bvh";
    SaveDialogDuring(path, [&] { window.OnStartRecording(); });
    const double seconds = clock.elapsed() / 1000.0;
    const BvhParseResult parsed = ReadBvh(path);
    QVERIFY2(parsed.ok, parsed.error.c_str());
    QCOMPARE(parsed.file.frameTime, 0.033333);
    QVERIFY2(std::abs(parsed.file.frameCount - seconds * 30) <= 3,
             qPrintable(QString("%1 frames in %2 s").arg(parsed.file.frameCount).arg(seconds)));
    const QString keep = qEnvironmentVariable("ZEMBRA_KEEP_RECORDING");
    if (!keep.isEmpty()) {
      QFile::remove(keep);
      QVERIFY(QFile::copy(path, keep));
    }
  }

  void aGloveFallingSilentKeepsTheOtherHandsFramesAndFailuresAreSaid() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));

    window.OnStartRecording();
    QTest::qWait(500);
    right.Unplug();
    QTest::qWait(500);
    const QString path = work_->path() + "/silent.bvh";
    // Saved, and the user is told which hand delivered nothing at the end.
    const QStringList saved = SaveDialogDuring(path, [&] { window.OnStartRecording(); });
    QCOMPARE(saved.size(), 1);
    QVERIFY2(saved[0].startsWith("Recorded BVH file has been saved to " + path + "\n\n"), qPrintable(saved[0]));
    QVERIFY2(saved[0].contains("The right glove delivered nothing for the last "), qPrintable(saved[0]));
    QVERIFY2(!saved[0].contains("left glove"), qPrintable(saved[0]));
    const BvhParseResult parsed = ReadBvh(path);
    QVERIFY2(parsed.ok, parsed.error.c_str());
    QVERIFY2(parsed.file.frameCount >= 28, qPrintable(QString::number(parsed.file.frameCount)));

    // A folder no one may create files in: said, not claimed as saved.
    SimulatedReceiver back(Hand_Right, 1);
    QTRY_VERIFY_WITH_TIMEOUT(window.glovePaired(Hand_Right), 9000);
    window.OnStartRecording();
    QTest::qWait(200);
    const QString nowhere = "/proc/take.bvh";
    const QStringList said = SaveDialogDuring(nowhere, [&] { window.OnStartRecording(); });
    QCOMPARE(said.size(), 1);
    QVERIFY2(said[0].startsWith("The BVH file was not saved to " + nowhere), qPrintable(said[0]));
    QVERIFY(!QFile::exists(nowhere));
    QVERIFY(!window.isRecording());
  }

 private:
  std::unique_ptr<QTemporaryDir> work_;
};

QTEST_MAIN(PairingRecordingTest)
#include "pairing_recording_test.moc"
