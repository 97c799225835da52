// What the configuration tool's tests share: simulated receivers as real
// processes registered in a device tree of the test's own, the stand-in
// tracker runtime, and reading the message boxes and menus the window
// opens modally (the test reads them, then closes them as a user would).
#pragma once

#include <dlfcn.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "sim/sysfs_tree.h"
#include "zembra/ZEMBRAIMU.h"

#ifndef ZEMBRA_RECEIVER_SIM_BIN
#error "the build passes the simulator's path as ZEMBRA_RECEIVER_SIM_BIN"
#endif
#ifndef ZEMBRA_STANDIN_OPENVR
#error "the build passes the stand-in runtime's path as ZEMBRA_STANDIN_OPENVR"
#endif

namespace tooltest {

constexpr int kFindMs = 5000;

// A folder of the test's own that the driver's discovery reads, set up in
// the environment before any driver object is made.
class DeviceTree {
 public:
  DeviceTree() {
    QDir(dir_.path()).mkpath("sys");
    QDir(dir_.path()).mkpath("dev");
    qputenv("ZEMBRA_SYSFS_ROOT", sys().toUtf8());
    qputenv("ZEMBRA_DEV_ROOT", dev().toUtf8());
  }
  QString sys() const { return dir_.path() + "/sys"; }
  QString dev() const { return dir_.path() + "/dev"; }
  // The receiver's latency_timer attribute, as the simulator registers it.
  QString LatencyTimer(const QString& name) const {
    return QString::fromStdString(
        ZEMBRA::sim::SysfsTree(sys().toStdString(), dev().toStdString()).LatencyTimerPath(name.toStdString()));
  }

 private:
  QTemporaryDir dir_;
};

// One zembra-receiver-sim process, registered as ttyUSB<index>.
class SimulatedReceiver {
 public:
  SimulatedReceiver(ZEMBRA::HandType hand, int index, const QStringList& extra = {}) {
    const QString tag = hand == ZEMBRA::Hand_Left ? "LH" : "RH";
    name_ = QString("ttyUSB%1").arg(index);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(ZEMBRA_RECEIVER_SIM_BIN,
                   QStringList{"--hand", hand == ZEMBRA::Hand_Left ? "left" : "right", "--rate", "200", "--register",
                               name_, "--serial", QString("ZEMBRA-%1-000%2").arg(tag).arg(index)} +
                       extra);
    process_.waitForStarted(5000);
    // Registered once it says so (after it has printed its port).
    for (int i = 0; i < 100 && !output_.contains("registered as"); ++i) {
      process_.waitForReadyRead(50);
      output_ += process_.readAll();
    }
  }
  ~SimulatedReceiver() { Unplug(); }
  SimulatedReceiver(const SimulatedReceiver&) = delete;
  SimulatedReceiver& operator=(const SimulatedReceiver&) = delete;

  bool registered() const { return output_.contains("registered as"); }
  const QString& name() const { return name_; }
  // Pulled out: the process ends and takes its registration with it.
  void Unplug() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
      process_.kill();
      process_.waitForFinished(3000);
    }
  }

 private:
  QProcess process_;
  QString name_;
  QByteArray output_;
};

// The stand-in OpenVR runtime, found by the driver through the environment;
// the test drives it through the same loaded library.
class StandinTrackers {
 public:
  StandinTrackers() {
    qputenv("ZEMBRA_OPENVR_LIBRARY", ZEMBRA_STANDIN_OPENVR);
    handle_ = dlopen(ZEMBRA_STANDIN_OPENVR, RTLD_NOW | RTLD_LOCAL);
    if (handle_) {
      load_ = reinterpret_cast<int (*)(const char*)>(dlsym(handle_, "StandinVR_Load"));
      apply_ = reinterpret_cast<int (*)(const char*)>(dlsym(handle_, "StandinVR_Apply"));
    }
    if (load_) load_("");
  }
  ~StandinTrackers() {
    if (handle_) dlclose(handle_);
  }
  bool ok() const { return load_ && apply_; }
  // Scenario lines of the stand-in ("device ...", "event 100 3").
  void Apply(const char* lines) {
    if (apply_) apply_(lines);
  }

 private:
  void* handle_ = nullptr;
  int (*load_)(const char*) = nullptr;
  int (*apply_)(const char*) = nullptr;
};

// Runs trigger while a timer watches for modal message boxes: each one's
// message is recorded and the box closed with Ok. With waitMs, waits that
// long at most for a box that comes after trigger has returned.
inline QStringList MessagesDuring(const std::function<void()>& trigger, int waitMs = 0) {
  QStringList seen;
  QTimer watch;
  watch.setInterval(20);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      seen << box->informativeText();
      box->done(QMessageBox::Ok);
    }
  });
  watch.start();
  trigger();
  if (waitMs > 0 && seen.isEmpty()) (void)QTest::qWaitFor([&] { return !seen.isEmpty(); }, waitMs);
  watch.stop();
  return seen;
}

// How a test answers the modal dialogs a command opens, in order of
// appearance: each file dialog takes the next of files ("" cancels; none
// left: cancel), held open for fileHoldMs first, as a user takes time to
// choose; each message box is answered with the button whose text is the
// next of buttons (none left: Ok, or else "Discard" so that a test never
// loops on a question, or else the box's escape button).
struct Answers {
  QStringList files;
  QStringList buttons;
  int fileHoldMs = 0;
};

// Runs trigger while answering its modal dialogs; returns the message
// boxes' texts.
inline QStringList ModalsDuring(Answers answers, const std::function<void()>& trigger) {
  QStringList seen;
  QTimer watch;
  watch.setInterval(20);
  QPointer<QWidget> heldDialog;
  QElapsedTimer held;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (heldDialog != dialog) {
        heldDialog = dialog;
        held.start();
      }
      if (held.elapsed() < answers.fileHoldMs) return;
      const QString path = answers.files.isEmpty() ? QString() : answers.files.takeFirst();
      if (path.isEmpty()) {
        dialog->reject();
      } else {
        // As a user types the name into the dialog's file name field.
        dialog->selectFile(path);
        if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
        // Queued: a box the dialog itself opens (a file to replace) is then
        // answered like any other instead of waiting for this handler.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
      }
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (!box->isVisible()) return;
      seen << box->informativeText();
      QAbstractButton* answer = nullptr;
      const QString wanted = answers.buttons.isEmpty() ? QString() : answers.buttons.takeFirst();
      for (QAbstractButton* button : box->buttons()) {
        if (!wanted.isEmpty() && button->text() == wanted) answer = button;
      }
      if (!answer && wanted.isEmpty()) answer = box->button(QMessageBox::Ok);
      if (!answer && wanted.isEmpty()) answer = box->button(QMessageBox::Discard);
      if (!answer) answer = box->escapeButton();
      if (answer) answer->click();
    }
  });
  watch.start();
  trigger();
  watch.stop();
  return seen;
}

// Answers the save dialog that trigger opens with path (empty: cancel), and
// records the message boxes that follow.
inline QStringList SaveDialogDuring(const QString& path, const std::function<void()>& trigger) {
  return ModalsDuring({{path}, {}, 0}, trigger);
}

struct MenuEntry {
  QString text;
  bool enabled;
  bool operator==(const MenuEntry& other) const { return text == other.text && enabled == other.enabled; }
};

// The entries of the popup menu that trigger opens (submenus by their
// title, separators as "-"), then closes it.
inline std::vector<MenuEntry> MenuDuring(const std::function<void()>& trigger) {
  std::vector<MenuEntry> entries;
  QTimer watch;
  watch.setInterval(20);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* action : menu->actions())
      entries.push_back({action->isSeparator() ? QString("-") : action->text(), action->isEnabled()});
    menu->close();
  });
  watch.start();
  trigger();
  watch.stop();
  return entries;
}

// Waits until both of window's gloves deliver. Window is the main window
// type (a template keeps this header free of the tool's headers).
template <typename Window>
bool BothPaired(Window& window) {
  return QTest::qWaitFor(
      [&] { return window.glovePaired(ZEMBRA::Hand_Left) && window.glovePaired(ZEMBRA::Hand_Right); }, kFindMs);
}

}  // namespace tooltest
