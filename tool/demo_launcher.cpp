#include "tool/demo_launcher.h"

DemoLauncher::DemoLauncher(QObject* parent) : QObject(parent) {
  process_.setProcessChannelMode(QProcess::ForwardedChannels);
  connect(&process_, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
          [this](int, QProcess::ExitStatus) {
            if (ended_) return;
            ended_ = true;
            emit Ended(true, program_);
          });
  // A program that never started sends no finished: this is its only word.
  connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart || ended_) return;
    ended_ = true;
    emit Ended(false, program_);
  });
}

DemoLauncher::~DemoLauncher() {
  ended_ = true;
  if (process_.state() != QProcess::NotRunning) {
    process_.kill();
    process_.waitForFinished(3000);
  }
}

void DemoLauncher::Start(const QString& program) {
  program_ = program;
  ended_ = false;
  process_.start(program, QStringList(), QIODevice::ReadWrite);
}
