// Runs one demo program as a child process and says once when it is over:
// it finished, or it could never start.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>

class DemoLauncher : public QObject {
  Q_OBJECT

 public:
  explicit DemoLauncher(QObject* parent = nullptr);
  // Kills a program still running and waits for it.
  ~DemoLauncher() override;

  // Starts program (a path relative to the current folder) with its output
  // passed through to ours, so that no pipe fills up unread. Ended follows
  // in every case, also when the program cannot be started.
  void Start(const QString& program);

 signals:
  void Ended(bool started, QString program);

 private:
  QProcess process_;
  QString program_;
  bool ended_ = false;
};
