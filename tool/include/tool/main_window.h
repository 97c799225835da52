// The configuration tool's main window: receiver, glove and tracker state
// at a glance, and the user's commands. It never talks to a glove itself:
// three monitors, each in a thread of its own, do (glove_monitor.h,
// tracker_monitor.h).
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "tool/glove_status.h"

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
  bool trackerConnected(ZEMBRA::HandType hand) const;
  bool demoRunning() const { return demoRunning_; }
  bool isRecording() const { return isRecording_; }
  bool pairingActive(ZEMBRA::HandType hand) const;
  bool watchdogRunning(ZEMBRA::HandType hand) const;
  // The resource name last given to a toolbar status action ("LHPaired.png").
  QString gloveIconName(ZEMBRA::HandType hand) const;
  QString trackerIconName(ZEMBRA::HandType hand) const;
  QString readyText() const;
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
  // Per-hand state; index 0 left, 1 right.
  struct Hand {
    ZEMBRA::HandType type;
    CheckGloveStatus* monitor = nullptr;
    QTimer* dataTimer = nullptr;    // the 5-second watchdog
    QTimer* searchTimer = nullptr;  // the next search after a missing receiver
    QAction* gloveAction = nullptr;
    QAction* trackerAction = nullptr;
    QString gloveIcon;
    QString trackerIcon;
    bool receiverFound = false;
    bool glovePaired = false;
    bool trackerConnected = false;
    bool pairingActive = false;
    bool latencyTimerSet = false;
    // The port is being closed so that a pairing can start on it.
    bool closingForPairing = false;
    // The port is being closed for a demo; cleared when it reported closed.
    bool closingForDemo = false;
    bool recordPrepared = false;
    bool recordArrived = false;
    std::vector<ZEMBRA::Pose> frames;
  };

  void BuildWidgets();
  void CreateWorkers();
  Hand& HandFor(ZEMBRA::HandType type);
  const Hand* FindHand(ZEMBRA::HandType type) const;
  Hand* FindHand(ZEMBRA::HandType type);
  void RequestSearch(Hand& hand);
  void SetGloveIcon(Hand& hand, const QString& name);
  void SetTrackerIcon(Hand& hand, const QString& name);
  void UpdateReadyLabel();
  void RestartWatchdog(Hand& hand);
  void SetLatencyTimerOnce(Hand& hand);
  void OnDataTimeOut(Hand& hand);
  void RunDemo(const QString& name);
  void MaybeLaunchDemo();
  void OnDemoEnded(bool started, const QString& program);
  void ConfigTracker(ZEMBRA::HandType type);
  void IdentifyTracker(ZEMBRA::HandType type);
  void StartPairing(Hand& hand, bool askMonitor);
  PairingProcess* OpenPairingDialog(Hand& hand);
  void DetachPairingDialog();
  void StartRecording();
  void StopRecording();
  void OnRecordingPrepared(Hand& hand);
  void ShowRecordingLabel();
  void WriteRecording();
  void SetRecordingMenus(bool recording);
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
  QMenu* pairMenu_ = nullptr;
  QMenu* trackerMenu_ = nullptr;
  QAction* actionRun3DDemo_ = nullptr;
  QAction* actionRunVRDemo_ = nullptr;
  QAction* actionStartRecording_ = nullptr;
  QAction* actionResetLatencyTimer_ = nullptr;
  int repaints_ = 0;

  bool demoRunning_ = false;
  QString pendingDemo_;  // waiting for both ports to close
  DemoLauncher* demo_ = nullptr;

  QPointer<PairingProcess> pairingDialog_;

  bool isRecording_ = false;
  QString recordFilePath_;
  // The outcome of the last stop: written, or why not.
  bool recordWritten_ = false;
  QString recordResult_;

  QPoint dragOrigin_;
};
