// The configuration tool's main window: receiver, glove and tracker state
// at a glance, and the user's commands. It never talks to a glove itself:
// three monitors, each in a thread of its own, do (glove_monitor.h,
// tracker_monitor.h).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "tool/glove_status.h"
#include "tool/hand_state.h"
#include "tool/recording/frame_grid.h"

class QAction;
class QLabel;
class QMenu;
class QThread;
class QTimer;
class QVBoxLayout;
class CheckGloveStatus;
class CheckHTCTrackerStatus;
class DemoLauncher;
class PairingProcess;

class ZEMBRAGloveConfigTool : public QMainWindow {
  Q_OBJECT

 public:
  explicit ZEMBRAGloveConfigTool(QWidget* parent = nullptr);
  ~ZEMBRAGloveConfigTool() override;

  // What the window shows, for tests and diagnostics.
  bool receiverFound(ZEMBRA::HandType hand) const;
  bool glovePaired(ZEMBRA::HandType hand) const;
  // The hand's whole state (a default one for a value that is no hand).
  HandState handState(ZEMBRA::HandType hand) const;
  bool trackerConnected(ZEMBRA::HandType hand) const;
  bool demoRunning() const { return hands_[0].state.activity() == HandState::Activity::Demo; }
  bool isRecording() const { return hands_[0].state.activity() == HandState::Activity::Recording; }
  bool pairingActive(ZEMBRA::HandType hand) const;
  bool watchdogRunning(ZEMBRA::HandType hand) const;
  // The resource name last given to a toolbar status action ("LHPaired.png").
  QString gloveIconName(ZEMBRA::HandType hand) const;
  QString trackerIconName(ZEMBRA::HandType hand) const;
  QString readyText() const;
  QString readyToolTip() const;
  CheckGloveStatus* gloveMonitor(ZEMBRA::HandType hand) const;
  CheckHTCTrackerStatus* trackerMonitor() const { return trackerMonitor_; }
  PairingProcess* pairingDialog() const;
  // Times the window changed a toolbar icon or the ready label.
  int repaintCount() const { return repaints_; }
  // The demo programs, relative to the current folder.
  static QString DemoPath(const QString& name);

 signals:
  void OnCheckLHGloveStatus(ZEMBRA::HandType type);
  void OnCheckRHGloveStatus(ZEMBRA::HandType type);
  void OnStopCheckLHStatus(ZEMBRA::HandType type);
  void OnStopCheckRHStatus(ZEMBRA::HandType type);
  void OnCheckTrackerStatus();
  void OnPairingGlove(ZEMBRA::HandType type);

 public slots:
  void ShowContextMenu(const QPoint& pos);
  void OnTBarActionClicked(QAction* action);
  void OnMenuBarActionClicked(QAction* action);
  void OnGloveStatusReceived(GloveStatusStruct status);
  void OnGloveRecordDataReceived(std::vector<ZEMBRA::Pose> data);
  void OnHTCTrackerConnectedReceived(ZEMBRA::HandType type);
  void OnHTCTrackerDisconnectedReceived(ZEMBRA::HandType type);
  void OnLHGloveDataReceiveTimeOut();
  void OnRHGloveDataReceiveTimeOut();
  void OnPairingLHGloveClicked();
  void OnPairingRHGloveClicked();
  void OnConfigLHTrackerClicked();
  void OnConfigRHTrackerClicked();
  void OnIdentifyLHTrackerClicked();
  void OnIdentifyRHTrackerClicked();
  void OnPairingTheOtherHandReceived(ZEMBRA::HandType type);
  void OnPairingRetryReceived(ZEMBRA::HandType type);
  void OnPairingDoneReceived(ZEMBRA::HandType type);
  void OnResetLatencyTimer();
  void OnCloseApplication();
  void OnRun3DDemo();
  void OnRunVRDemo();
  void OnStartRecording();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Everything the window keeps for one hand; index 0 left, 1 right. What
  // the hand is doing is its HandState; the rest are the widgets and timers
  // that show it and the recording's frames.
  struct Hand {
    ZEMBRA::HandType type;
    HandState state;
    CheckGloveStatus* monitor = nullptr;
    QTimer* dataTimer = nullptr;    // the 5-second watchdog
    QTimer* searchTimer = nullptr;  // the next search after a missing receiver
    QAction* gloveAction = nullptr;
    QAction* trackerAction = nullptr;
    QString gloveIcon;
    QString trackerIcon;
    bool trackerConnected = false;
    bool latencyTimerSet = false;
    bool recordPrepared = false;
    bool recordArrived = false;
    std::vector<ZEMBRA::Pose> frames;
    std::vector<ZEMBRA::recording::Silence> silences;
  };

  // What the user may ask for; the menu bar and the context menu are built
  // from one table of them (main_window.cpp).
  enum class Command {
    Run3DDemo,
    RunVRDemo,
    PairLeft,
    PairRight,
    ConfigLeftTracker,
    ConfigRightTracker,
    IdentifyLeftTracker,
    IdentifyRightTracker,
    Record,
    ResetLatencyTimer,
    Quit,
  };
  struct CommandEntry;
  static const CommandEntry& Entry(Command command);
  QAction* MakeAction(Command command, bool forMenuBar);
  // The full menu (the menu bar's, and the context menu away from the
  // icons); actionFor gives each command's action.
  void FillFullMenu(QMenu* menu, const std::function<QAction*(Command)>& actionFor, bool forMenuBar);
  void Run(Command command);

  void BuildWidgets();
  void CreateWorkers();
  const Hand* FindHand(ZEMBRA::HandType type) const;
  Hand* FindHand(ZEMBRA::HandType type);
  Hand& Other(const Hand& hand) { return &hand == &hands_[0] ? hands_[1] : hands_[0]; }
  // Shows what follows from the hand's state: icon, watchdog, ready label.
  void Show(Hand& hand);
  void RequestSearch(Hand& hand);
  void SetGloveIcon(Hand& hand, const QString& name);
  void SetTrackerIcon(Hand& hand, const QString& name);
  void UpdateReadyLabel();
  void RestartWatchdog(Hand& hand);
  void SetLatencyTimerOnce(Hand& hand);
  void OnDataTimeOut(Hand& hand);
  // The refusal that keeps one owner per port, or an empty text.
  QString BusyReason(bool forPairing) const;
  void RunDemo(const QString& name);
  void MaybeLaunchDemo();
  void OnDemoEnded(bool started, const QString& program);
  void ConfigTracker(ZEMBRA::HandType type);
  void IdentifyTracker(ZEMBRA::HandType type);
  void StartPairing(Hand& hand, bool askMonitor);
  PairingProcess* OpenPairingDialog(Hand& hand);
  void DetachPairingDialog();
  void StartRecording();
  // Asks for the file and saves the take as it stood when Stop was pressed.
  // True when the recording is over (saved, or discarded on purpose); false
  // when the user went back to it (it runs on, without a gap).
  bool StopRecording();
  void EndRecording();
  void DiscardRecording();
  void OnRecordingPrepared(Hand& hand);
  void ShowRecordingLabel();
  void WriteRecording();
  QString SilenceReport() const;
  void SetRecordingMenus(bool recording);
  // True when the window may close: nothing is recording, or the user chose
  // to save or discard the take.
  bool ConfirmQuit();
  // The window goes at once; the workers end in ShutDownWorkers.
  void LeaveNow();
  // Stops the timers and the monitors and joins their threads. Idempotent.
  void ShutDownWorkers();

  std::array<Hand, 2> hands_;
  CheckHTCTrackerStatus* trackerMonitor_ = nullptr;
  std::array<QThread*, 3> threads_{};
  bool workersDown_ = false;

  QLabel* readyLabel_ = nullptr;
  QString readyState_;
  QVBoxLayout* verticalLayout_ = nullptr;
  QLabel* recordingLabel_ = nullptr;
  // The menu bar's actions by command; the submenus disabled while recording.
  std::map<Command, QAction*> menuBarActions_;
  std::vector<QMenu*> lockedMenus_;
  int repaints_ = 0;
  bool leaving_ = false;

  QString pendingDemo_;  // waiting for both ports to close
  DemoLauncher* demo_ = nullptr;

  QPointer<PairingProcess> pairingDialog_;

  QString recordFilePath_;
  // The outcome of the last write: written, or why not.
  bool recordWritten_ = false;
  QString recordResult_;
  // The write failed for the file, not for the frames: another file may do.
  bool recordFixable_ = false;

  QPoint dragOrigin_;
};
