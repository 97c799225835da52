// zembra-hands: both hands in 3D, live from the gloves or played from a
// BVH file.
//   zembra-hands                      live, gloves found by discovery
//   zembra-hands --play FILE.bvh      plays a recording (any BVH file)
// Options for scripts: --frame N (playback: start paused at frame N, from
// 1), --seconds S (quit after S seconds), --screenshot FILE.png (saves the
// view when quitting), --stats (prints the frames drawn when quitting),
// --record FILE.bvh (live: records both hands as shown, written when
// quitting).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tool/recording/bvh_reader.h"
#include "tool/recording/bvh_writer.h"
#include "tool/viewer/viewer_window.h"

namespace {

using ZEMBRA::recording::BvhParseResult;

struct Options {
  QString play;
  QString screenshot;
  QString record;
  int frame = 0;  // 0: play from the start
  double seconds = 0;
  bool stats = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (!std::strcmp(argv[i], "--play") && hasValue)
      options.play = QString::fromLocal8Bit(argv[++i]);
    else if (!std::strcmp(argv[i], "--screenshot") && hasValue)
      options.screenshot = QString::fromLocal8Bit(argv[++i]);
    else if (!std::strcmp(argv[i], "--frame") && hasValue)
      options.frame = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--seconds") && hasValue)
      options.seconds = std::atof(argv[++i]);
    else if (!std::strcmp(argv[i], "--record") && hasValue)
      options.record = QString::fromLocal8Bit(argv[++i]);
    else if (!std::strcmp(argv[i], "--stats"))
      options.stats = true;
    else
      return false;
  }
  return true;
}

// Said on standard error, and in a message box to a user at the screen (a
// scripted run, with --seconds, gets no box to wait on).
int Refuse(const QString& text, const Options& options) {
  std::fprintf(stderr, "zembra-hands: %s\n", qPrintable(text));
  if (options.seconds <= 0 && QGuiApplication::platformName() != "offscreen")
    QMessageBox::critical(nullptr, "ZEMBRA hands", "This file cannot be played.\n\n" + text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The resources live in a static library: the linker needs telling.
  Q_INIT_RESOURCE(viewer);
  QApplication app(argc, argv);
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: zembra-hands [--play FILE.bvh [--frame N]] [--seconds S] [--screenshot FILE.png] [--stats]\n"
                 "       zembra-hands --record FILE.bvh ...\n");
    return 2;
  }

  std::unique_ptr<ZEMBRA::viewer::ViewerWindow> window;
  std::string skeletonText;
  if (!options.play.isEmpty()) {
    QFile file(options.play);
    if (!file.open(QIODevice::ReadOnly)) return Refuse(options.play + ": " + file.errorString(), options);
    const QByteArray text = file.readAll();
    const BvhParseResult parsed = ZEMBRA::recording::ParseBvh(std::string_view(text.constData(), size_t(text.size())));
    if (!parsed.ok)
      return Refuse(QString("%1:%2: %3").arg(options.play).arg(parsed.errorLine).arg(parsed.error.c_str()), options);
    window = std::make_unique<ZEMBRA::viewer::ViewerWindow>(parsed.file, QFileInfo(options.play).fileName());
    if (options.frame > 0) {
      window->SetPlaying(false);
      window->ShowFrame(options.frame - 1);
    }
  } else {
    // The skeleton of our recordings, so that live poses look exactly as
    // they will in a recorded file.
    QFile file(":/viewer/bones.txt");
    file.open(QIODevice::ReadOnly);
    skeletonText = file.readAll().toStdString();
    const BvhParseResult parsed =
        ZEMBRA::recording::ParseBvh(skeletonText + "MOTION\nFrames: 0\nFrame Time: 0.033333\n");
    if (!parsed.ok) return Refuse(QString("the built-in skeleton: %1").arg(parsed.error.c_str()), options);
    window = std::make_unique<ZEMBRA::viewer::ViewerWindow>(parsed.file);
    if (!options.record.isEmpty()) window->StartRecording();
  }
  window->show();

  long frames = 0;
  QElapsedTimer sinceFirst;
  QObject::connect(window->view(), &QOpenGLWidget::frameSwapped, [&] {
    if (frames++ == 0) sinceFirst.start();
  });

  if (options.seconds > 0) {
    QTimer::singleShot(int(options.seconds * 1000), &app, [&] {
      if (!options.screenshot.isEmpty() && !window->view()->grabFramebuffer().save(options.screenshot))
        std::fprintf(stderr, "zembra-hands: cannot save %s\n", qPrintable(options.screenshot));
      app.quit();
    });
  }
  const int status = app.exec();
  if (options.stats && frames > 1) {
    const double elapsed = double(sinceFirst.elapsed()) / 1000;
    std::printf("frames drawn: %ld in %.1f s, %.1f per second\n", frames, elapsed, double(frames - 1) / elapsed);
  }
  if (!options.record.isEmpty() && options.play.isEmpty()) {
    const auto left = window->TakeRecording(ZEMBRA::Hand_Left), right = window->TakeRecording(ZEMBRA::Hand_Right);
    const std::string why = ZEMBRA::recording::WriteTextFile(
        options.record.toStdString(), ZEMBRA::recording::BuildBvhText(skeletonText, left, right));
    if (!why.empty()) {
      std::fprintf(stderr, "zembra-hands: cannot write %s: %s\n", qPrintable(options.record), why.c_str());
      return 1;
    }
    std::printf("recorded %zu frames to %s\n", std::min(left.size(), right.size()), qPrintable(options.record));
  }
  window.reset();  // closes the gloves before the application goes
  return status;
}
