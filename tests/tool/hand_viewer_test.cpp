// zembra-hands as a user runs it, on the X server the test runs under:
// live from two simulated gloves, playing a recording and refusing a broken
// file, and started by the configuration tool as its 3D demo, after which
// the tool has both gloves back. What the viewer drew is read from the
// screenshot it saves: bone colours inside each hand's half of the picture.
#include <QColor>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "tests/support/engine_hands.h"
#include "tests/tool/tool_test_support.h"
#include "tool/main_window.h"
#include "tool/recording/bvh_writer.h"

using namespace tooltest;
using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;

namespace {

// Pixels of colour, lit or in shade, in the picture's left or right half,
// below the hand panels (which use the same colours for their bars): the
// colour scaled by a brightness of a half to a little over one, give or
// take a little. The dark background and the grid are far darker.
int PixelsLike(const QImage& image, const QColor& colour, bool leftHalf) {
  int count = 0;
  const int from = leftHalf ? 0 : image.width() / 2, to = leftHalf ? image.width() / 2 : image.width();
  const double want[3] = {double(colour.red()), double(colour.green()), double(colour.blue())};
  const double wantSquared = want[0] * want[0] + want[1] * want[1] + want[2] * want[2];
  for (int y = 160; y < image.height(); ++y) {
    for (int x = from; x < to; ++x) {
      const QColor c = image.pixelColor(x, y);
      const double got[3] = {double(c.red()), double(c.green()), double(c.blue())};
      const double brightness = (got[0] * want[0] + got[1] * want[1] + got[2] * want[2]) / wantSquared;
      double off = 0;
      for (int k = 0; k < 3; ++k) off += std::abs(got[k] - brightness * want[k]);
      if (brightness > 0.5 && brightness < 1.15 && off < 45) ++count;
    }
  }
  return count;
}

const QColor kLeftBone("#7BA915");
const QColor kRightBone("#4FA3D9");
const QColor kOtherBone("#C4C4C4");

// The viewer draws on the X server; the test's own windows stay offscreen.
// Under AddressSanitizer its leak check is off: Mesa's driver, unloaded
// when the GL context goes, leaves blocks that can be neither named nor
// suppressed (the viewer's own threads and hand-over are leak-checked by
// client_receiver_feed_test).
const char* kViewerAsanOptions = "detect_leaks=0";

QProcessEnvironment ViewerEnvironment() {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", "xcb");
  environment.insert("ASAN_OPTIONS", kViewerAsanOptions);
  return environment;
}

struct Run {
  int status = -1;
  QString errors;
};

Run RunViewer(const QStringList& arguments) {
  QProcess viewer;
  viewer.setProcessEnvironment(ViewerEnvironment());
  viewer.start(ZEMBRA_HANDS_BIN, arguments);
  Run run;
  if (!viewer.waitForFinished(30000)) {
    viewer.kill();
    viewer.waitForFinished(3000);
    run.errors = "did not end";
    return run;
  }
  run.status = viewer.exitStatus() == QProcess::NormalExit ? viewer.exitCode() : -1;
  run.errors = QString::fromUtf8(viewer.readAllStandardError());
  return run;
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(text);
}

}  // namespace

class HandViewerTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    work_ = std::make_unique<QTemporaryDir>();
    QDir::setCurrent(work_->path());
  }

  void liveBothHandsAreDrawnEachOnItsSide() {
    DeviceTree tree;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    QVERIFY(left.registered() && right.registered());
    const QString shot = work_->filePath("live.png");
    const Run run = RunViewer({"--seconds", "3", "--screenshot", shot});
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    const QImage image(shot);
    QVERIFY(!image.isNull());
    // Fingertips may reach over the middle; each hand's bulk may not.
    const int leftOnLeft = PixelsLike(image, kLeftBone, true), leftOnRight = PixelsLike(image, kLeftBone, false);
    const int rightOnRight = PixelsLike(image, kRightBone, false), rightOnLeft = PixelsLike(image, kRightBone, true);
    QVERIFY2(leftOnLeft > 150 && leftOnLeft > 4 * leftOnRight, "the left hand on the left");
    QVERIFY2(rightOnRight > 150 && rightOnRight > 4 * rightOnLeft, "the right hand on the right");
  }

  void aRecordingPlaysAndABrokenFileIsRefusedWithItsLine() {
    QFile bones(ZEMBRA_BONES_FILE);
    QVERIFY(bones.open(QIODevice::ReadOnly));
    std::vector<ZEMBRA::Pose> left, right;
    for (int i = 0; i < 30; ++i) {
      left.push_back(ZEMBRA::testsupport::EngineHand(Hand_Left, 3 * i, 2 * i));
      right.push_back(ZEMBRA::testsupport::EngineHand(Hand_Right, 3 * i, 2 * i));
    }
    const std::string text = ZEMBRA::recording::BuildBvhText(bones.readAll().toStdString(), left, right);
    const QString file = work_->filePath("take.bvh");
    WriteText(file, QByteArray::fromStdString(text));
    const QString shot = work_->filePath("played.png");
    Run run = RunViewer({"--play", file, "--frame", "20", "--seconds", "1", "--screenshot", shot});
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    QImage image(shot);
    QVERIFY(PixelsLike(image, kLeftBone, true) > 150 && PixelsLike(image, kRightBone, false) > 150);

    // A file of another shape, with no hands in it: drawn whole.
    WriteText(work_->filePath("other.bvh"),
              "HIERARCHY\nROOT Hips\n{\nOFFSET 0 0 0\nCHANNELS 3 Xposition Yposition Zposition\nJOINT Spine\n{\n"
              "OFFSET 0 20 0\nCHANNELS 1 Zrotation\nEnd Site\n{\nOFFSET 0 10 0\n}\n}\n}\nMOTION\nFrames: 2\n"
              "Frame Time: 0.1\n0 0 0 10\n0 0 0 20\n");
    run = RunViewer({"--play", work_->filePath("other.bvh"), "--seconds", "1", "--screenshot", shot});
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    image.load(shot);
    QVERIFY(PixelsLike(image, kOtherBone, true) + PixelsLike(image, kOtherBone, false) > 150);

    // Cut off in the middle of its motion.
    WriteText(work_->filePath("cut.bvh"), QByteArray::fromStdString(text.substr(0, text.size() - 400)));
    run = RunViewer({"--play", work_->filePath("cut.bvh"), "--seconds", "1"});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.errors.contains(QRegularExpression("cut\\.bvh:[0-9]+: the file ends")), qPrintable(run.errors));
    run = RunViewer({"--play", work_->filePath("missing.bvh"), "--seconds", "1"});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.errors.contains("missing.bvh"), qPrintable(run.errors));
  }

  void theToolsDemoShowsBothGlovesAndGivesThemBack() {
    DeviceTree tree;
    StandinTrackers trackers;
    SimulatedReceiver left(Hand_Left, 0);
    SimulatedReceiver right(Hand_Right, 1);
    const QString shot = work_->filePath("demo.png");
    // The demo as the build places it, run for a few seconds.
    QDir().mkpath("demo/ZEMBRAGloveDataStreaming");
    const QString demo = "demo/ZEMBRAGloveDataStreaming/ZEMBRAGloveDataStreaming";
    WriteText(demo, QString("#!/bin/sh\nQT_QPA_PLATFORM=xcb ASAN_OPTIONS=%1 exec '%2' --seconds 4 --screenshot '%3'\n")
                        .arg(kViewerAsanOptions, ZEMBRA_HANDS_BIN, shot)
                        .toUtf8());
    QFile::setPermissions(demo, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    ZEMBRAGloveConfigTool window;
    QVERIFY(BothPaired(window));
    window.OnRun3DDemo();
    QVERIFY(window.demoRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!window.demoRunning(), 30000);
    // The viewer could only draw both hands once the tool had let go of them.
    const QImage image(shot);
    QVERIFY(!image.isNull());
    QVERIFY(PixelsLike(image, kLeftBone, true) > 150 && PixelsLike(image, kRightBone, false) > 150);
    // And once it has ended, the watchdogs bring both gloves back.
    QTRY_VERIFY_WITH_TIMEOUT(window.glovePaired(Hand_Left) && window.glovePaired(Hand_Right), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(window.gloveIconName(Hand_Left), QString("LHPaired.png"), 15000);
  }

 private:
  std::unique_ptr<QTemporaryDir> work_;
};

QTEST_MAIN(HandViewerTest)
#include "hand_viewer_test.moc"
