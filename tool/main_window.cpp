#include "tool/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <iostream>

#include "tool/config_message.h"
#include "tool/demo_launcher.h"
#include "tool/glove_monitor.h"
#include "tool/pairing_dialog.h"
#include "tool/tool_log.h"
#include "tool/tracker_monitor.h"

using ZEMBRA::EIMUError;
using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;
using ZEMBRA::HandType;
using ZEMBRA::IMUError_None;

namespace {

constexpr int kWatchdogMs = 5000;
// A missing receiver is looked for again after this long, not at once.
constexpr int kSearchAgainMs = 1000;

QIcon Resource(const QString& name) { return QIcon(":/ZEMBRAGloveConfigTool/Resources/" + name); }

const char* const kMenuStyle =
    "QMenu::item {color:#C4C4C4;} QMenu::item:selected {background-color:#363839;} QMenu::item:disabled{color: "
    "#444548;}";

// Where a right-click fell: the four toolbar icons, or elsewhere.
enum class ClickArea { LeftGlove, RightGlove, LeftTracker, RightTracker, Elsewhere };

ClickArea AreaAt(const QPoint& pos) {
  if (pos.y() < 80 || pos.y() > 160) return ClickArea::Elsewhere;
  if (pos.x() >= 0 && pos.x() < 50) return ClickArea::LeftGlove;
  if (pos.x() >= 50 && pos.x() < 110) return ClickArea::RightGlove;
  if (pos.x() >= 130 && pos.x() < 180) return ClickArea::LeftTracker;
  if (pos.x() >= 180 && pos.x() < 240) return ClickArea::RightTracker;
  return ClickArea::Elsewhere;
}

QAction* MenuBarAction(QObject* parent, const char* objectName, const QString& text, const QString& shortcut = {},
                       const QString& icon = {}) {
  auto* action = new QAction(text, parent);
  action->setObjectName(objectName);
  if (!shortcut.isEmpty()) action->setShortcut(QKeySequence(shortcut));
  if (!icon.isEmpty()) action->setIcon(Resource(icon));
  return action;
}

QAction* StatusAction(QObject* parent, const char* objectName, const QString& text, const QString& toolTip,
                      const QString& icon) {
  auto* action = new QAction(parent);
  action->setObjectName(objectName);
  action->setText(text);
  action->setToolTip(toolTip);
  action->setIcon(Resource(icon));
  return action;
}

}  // namespace

ZEMBRAGloveConfigTool::ZEMBRAGloveConfigTool(QWidget* parent) : QMainWindow(parent) {
  InitToolResources();
  RegisterToolMetaTypes();
  hands_[0].type = Hand_Left;
  hands_[1].type = Hand_Right;
  for (Hand& hand : hands_) {
    hand.dataTimer = new QTimer(this);
    hand.searchTimer = new QTimer(this);
    hand.searchTimer->setSingleShot(true);
    hand.searchTimer->setInterval(kSearchAgainMs);
  }
  BuildWidgets();
  CreateWorkers();

  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
  setStyleSheet("background-color:#1B2124;");
  UpdateReadyLabel();
  QPalette palette = menuBar()->palette();
  palette.setColor(QPalette::WindowText, QColor(100, 100, 100));
  menuBar()->setPalette(palette);
  menuBar()->setAutoFillBackground(true);
  menuBar()->setStyleSheet(
      "QMenu::item {color:#C4C4C4;} QMenu::item:selected {background-color:#363839;} QMenuBar:selected "
      "{background-color:transparent;} QMenu::item:disabled{color: #444548;}");

  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, &ZEMBRAGloveConfigTool::ShowContextMenu);
  connect(hands_[0].dataTimer, &QTimer::timeout, this, &ZEMBRAGloveConfigTool::OnLHGloveDataReceiveTimeOut);
  connect(hands_[1].dataTimer, &QTimer::timeout, this, &ZEMBRAGloveConfigTool::OnRHGloveDataReceiveTimeOut);
  for (Hand& hand : hands_) {
    connect(hand.searchTimer, &QTimer::timeout, this, [this, &hand] { RequestSearch(hand); });
  }

  emit OnCheckRHGloveStatus(Hand_Right);
  hands_[1].dataTimer->start(kWatchdogMs);
  emit OnCheckLHGloveStatus(Hand_Left);
  hands_[0].dataTimer->start(kWatchdogMs);
  emit OnCheckTrackerStatus();
}

ZEMBRAGloveConfigTool::~ZEMBRAGloveConfigTool() {
  ShutDownWorkers();
  CleanupToolResources();
}

void ZEMBRAGloveConfigTool::BuildWidgets() {
  setObjectName("ZEMBRAGloveConfigToolClass");
  setWindowTitle("ZEMBRAGloveConfigTool");
  setWindowIcon(Resource("ZEMBRA.ico"));
  resize(256, 150);
  setMinimumSize(250, 150);
  setMaximumSize(300, 150);
  setToolButtonStyle(Qt::ToolButtonIconOnly);

  // Menu bar.
  QMenuBar* bar = new QMenuBar(this);
  bar->setObjectName("menuBar");
  bar->setGeometry(0, 0, 256, 21);
  setMenuBar(bar);
  QMenu* menu = bar->addMenu("ZEMBRA Glove Config");
  menu->setObjectName("menuConfigurations");
  actionRun3DDemo_ = MenuBarAction(this, "actionRun_Glove_3D_Demo", "Run Glove 3D Demo");
  actionRunVRDemo_ = MenuBarAction(this, "actionRun_Glove_VR_Demo", "Run Glove VR Demo");
  menu->addAction(actionRun3DDemo_);
  menu->addAction(actionRunVRDemo_);
  menu->addSeparator();
  pairMenu_ = menu->addMenu("Pair Glove");
  pairMenu_->setObjectName("menuPair_Glove");
  pairMenu_->addAction(MenuBarAction(this, "actionPair_Left_Hand_Glove", "Pair &Left Hand Glove", "Ctrl+L"));
  pairMenu_->addAction(MenuBarAction(this, "actionPair_Right_Hand_Glove", "Pair &Right Hand Glove", "Ctrl+R"));
  pairMenu_->addSeparator();
  trackerMenu_ = menu->addMenu("Config HTC Tracker");
  trackerMenu_->setObjectName("menuConfig_HTC_Tracker");
  trackerMenu_->addAction(
      MenuBarAction(this, "actionConfig_Left_Hand_Tracker", "Config &Left Hand Tracker", "Ctrl+Shift+L"));
  trackerMenu_->addAction(
      MenuBarAction(this, "actionConfig_Right_Hand_Tracker", "Config &Right Hand Tracker", "Ctrl+Shift+R"));
  actionStartRecording_ = MenuBarAction(this, "actionStart_Recording", "Start Recording", {}, "play-button.png");
  menu->addAction(actionStartRecording_);
  menu->addSeparator();
  actionResetLatencyTimer_ = MenuBarAction(this, "actionReset_Latency_Timer", "&Reset Latency Timer");
  menu->addAction(actionResetLatencyTimer_);
  menu->addSeparator();
  menu->addAction(MenuBarAction(this, "actionQuit", "&Quit"));
  connect(bar, &QMenuBar::triggered, this, &ZEMBRAGloveConfigTool::OnMenuBarActionClicked);

  // Central widget: the ready label with the two window buttons, a line.
  auto* central = new QWidget(this);
  central->setObjectName("centralWidget");
  auto* outer = new QHBoxLayout(central);
  outer->setSpacing(50);
  verticalLayout_ = new QVBoxLayout();
  verticalLayout_->setSpacing(5);
  auto* top = new QHBoxLayout();
  top->setObjectName("horizontalLayout_3");
  readyLabel_ = new QLabel(central);
  readyLabel_->setObjectName("label");
  QFont labelFont("Arial", 14);
  labelFont.setBold(true);
  readyLabel_->setFont(labelFont);
  top->addWidget(readyLabel_);
  auto* buttons = new QHBoxLayout();
  buttons->setContentsMargins(50, 0, 0, 10);
  auto* minimise = new QPushButton(central);
  minimise->setObjectName("pushButton");
  minimise->setFlat(true);
  minimise->setIcon(Resource("minus-symbol.png"));
  minimise->setIconSize(QSize(8, 8));
  auto* close = new QPushButton(central);
  close->setObjectName("pushButton_2");
  close->setFlat(true);
  close->setIcon(Resource("close.png"));
  close->setIconSize(QSize(8, 8));
  buttons->addWidget(minimise);
  buttons->addWidget(close);
  top->addLayout(buttons);
  verticalLayout_->addLayout(top);
  auto* line = new QFrame(central);
  line->setObjectName("line");
  line->setFrameShape(QFrame::HLine);
  line->setStyleSheet("QFrame{border: none;background:#444548;}");
  verticalLayout_->addWidget(line);
  outer->addLayout(verticalLayout_);
  setCentralWidget(central);
  connect(minimise, &QPushButton::clicked, this, &QWidget::showMinimized);
  connect(close, &QPushButton::clicked, this, &ZEMBRAGloveConfigTool::OnCloseApplication);

  // Toolbar: the four status icons.
  auto* toolBar = new QToolBar(this);
  toolBar->setObjectName("mainToolBar");
  toolBar->setMovable(false);
  toolBar->setFloatable(true);
  toolBar->setIconSize(QSize(45, 45));
  QFont toolFont = toolBar->font();
  toolFont.setBold(false);
  toolBar->setFont(toolFont);
  toolBar->setStyleSheet("QToolBar { spacing: 3px; border: 0px} ");
  addToolBar(Qt::BottomToolBarArea, toolBar);
  hands_[0].gloveAction =
      StatusAction(this, "actionLeftHand", "LeftHand", QString::fromUtf8("左手手套"), "LHNotPaired.png");
  hands_[1].gloveAction =
      StatusAction(this, "actionRightHand", "RightHand", QString::fromUtf8("右手手套"), "RHNotPaired.png");
  hands_[0].trackerAction =
      StatusAction(this, "actionLeftTracker", "LeftTracker", QString::fromUtf8("左手追踪器"), "tracker_status_off.png");
  hands_[1].trackerAction = StatusAction(this, "actionRightTracker", "RightTracker", QString::fromUtf8("右手追踪器"),
                                         "tracker_status_off.png");
  hands_[0].gloveIcon = "LHNotPaired.png";
  hands_[1].gloveIcon = "RHNotPaired.png";
  for (Hand& hand : hands_) hand.trackerIcon = "tracker_status_off.png";
  for (QAction* action :
       {hands_[0].gloveAction, hands_[1].gloveAction, hands_[0].trackerAction, hands_[1].trackerAction}) {
    toolBar->addAction(action);
    toolBar->addSeparator();
  }
  connect(toolBar, &QToolBar::actionTriggered, this, &ZEMBRAGloveConfigTool::OnTBarActionClicked);
}

void ZEMBRAGloveConfigTool::CreateWorkers() {
  for (Hand& hand : hands_) hand.monitor = new CheckGloveStatus;
  trackerMonitor_ = new CheckHTCTrackerStatus;
  QObject* workers[3] = {hands_[0].monitor, hands_[1].monitor, trackerMonitor_};
  for (size_t i = 0; i < threads_.size(); ++i) {
    threads_[i] = new QThread;
    workers[i]->moveToThread(threads_[i]);
  }
  RegisterToolMetaTypes();
  CheckGloveStatus* left = hands_[0].monitor;
  CheckGloveStatus* right = hands_[1].monitor;
  connect(this, &ZEMBRAGloveConfigTool::OnCheckLHGloveStatus, left, &CheckGloveStatus::OnCheckGloveStatusReceived);
  connect(this, &ZEMBRAGloveConfigTool::OnCheckRHGloveStatus, right, &CheckGloveStatus::OnCheckGloveStatusReceived);
  connect(this, &ZEMBRAGloveConfigTool::OnStopCheckLHStatus, left, &CheckGloveStatus::OnStopCheckStatusReceived);
  connect(this, &ZEMBRAGloveConfigTool::OnStopCheckRHStatus, right, &CheckGloveStatus::OnStopCheckStatusReceived);
  connect(this, &ZEMBRAGloveConfigTool::OnCheckTrackerStatus, trackerMonitor_,
          &CheckHTCTrackerStatus::OnCheckTrackerStatusReceived);
  for (CheckGloveStatus* monitor : {left, right}) {
    connect(monitor, &CheckGloveStatus::OnSendGloveStatus, this, &ZEMBRAGloveConfigTool::OnGloveStatusReceived);
    connect(monitor, &CheckGloveStatus::OnGloveDataRecordStopped, this,
            &ZEMBRAGloveConfigTool::OnGloveRecordDataReceived);
  }
  connect(trackerMonitor_, &CheckHTCTrackerStatus::OnHTCTrackerConnected, this,
          &ZEMBRAGloveConfigTool::OnHTCTrackerConnectedReceived);
  connect(trackerMonitor_, &CheckHTCTrackerStatus::OnHTCTrackerDisconnected, this,
          &ZEMBRAGloveConfigTool::OnHTCTrackerDisconnectedReceived);
  // The window owns the monitors and threads and ends them itself at exit
  // (ShutDownWorkers), in an order that leaves no callback into a freed
  // monitor.
  for (QThread* thread : threads_) thread->start(QThread::InheritPriority);
}

void ZEMBRAGloveConfigTool::ShutDownWorkers() {
  if (workersDown_) return;
  workersDown_ = true;
  for (Hand& hand : hands_) {
    hand.dataTimer->stop();
    hand.searchTimer->stop();
  }
  if (pairingDialog_) pairingDialog_->close();
  trackerMonitor_->Stop();
  // Ports closed and driver objects released before the monitors go: no
  // driver thread calls into them afterwards.
  for (Hand& hand : hands_) hand.monitor->Shutdown();
  for (QThread* thread : threads_) thread->quit();
  for (QThread* thread : threads_) thread->wait();
  for (Hand& hand : hands_) {
    delete hand.monitor;
    hand.monitor = nullptr;
  }
  delete trackerMonitor_;
  trackerMonitor_ = nullptr;
  for (QThread*& thread : threads_) {
    delete thread;
    thread = nullptr;
  }
  delete demo_;
  demo_ = nullptr;
}

ZEMBRAGloveConfigTool::Hand& ZEMBRAGloveConfigTool::HandFor(HandType type) {
  return type == Hand_Right ? hands_[1] : hands_[0];
}

const ZEMBRAGloveConfigTool::Hand* ZEMBRAGloveConfigTool::FindHand(HandType type) const {
  if (type == Hand_Left) return &hands_[0];
  if (type == Hand_Right) return &hands_[1];
  return nullptr;
}

ZEMBRAGloveConfigTool::Hand* ZEMBRAGloveConfigTool::FindHand(HandType type) {
  return const_cast<Hand*>(static_cast<const ZEMBRAGloveConfigTool*>(this)->FindHand(type));
}

bool ZEMBRAGloveConfigTool::receiverFound(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h && h->receiverFound;
}
bool ZEMBRAGloveConfigTool::glovePaired(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h && h->glovePaired;
}
bool ZEMBRAGloveConfigTool::trackerConnected(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h && h->trackerConnected;
}
bool ZEMBRAGloveConfigTool::pairingActive(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h && h->pairingActive;
}
bool ZEMBRAGloveConfigTool::watchdogRunning(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h && h->dataTimer->isActive();
}
QString ZEMBRAGloveConfigTool::gloveIconName(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h ? h->gloveIcon : QString();
}
QString ZEMBRAGloveConfigTool::trackerIconName(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h ? h->trackerIcon : QString();
}
PairingProcess* ZEMBRAGloveConfigTool::pairingDialog() const { return pairingDialog_.data(); }
QString ZEMBRAGloveConfigTool::readyText() const { return readyLabel_->text(); }
CheckGloveStatus* ZEMBRAGloveConfigTool::gloveMonitor(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h ? h->monitor : nullptr;
}

QString ZEMBRAGloveConfigTool::DemoPath(const QString& name) {
#if defined(_WIN32)
  return "demo\\" + name + "\\" + name + ".exe";
#else
  return "demo/" + name + "/" + name;
#endif
}

void ZEMBRAGloveConfigTool::RequestSearch(Hand& hand) {
  if (workersDown_) return;
  if (hand.type == Hand_Left) {
    emit OnCheckLHGloveStatus(Hand_Left);
  } else {
    emit OnCheckRHGloveStatus(Hand_Right);
  }
}

// Per pose nothing is repainted unless the state changed.
void ZEMBRAGloveConfigTool::SetGloveIcon(Hand& hand, const QString& name) {
  if (hand.gloveIcon == name) return;
  hand.gloveIcon = name;
  hand.gloveAction->setIcon(Resource(name));
  ++repaints_;
}

void ZEMBRAGloveConfigTool::SetTrackerIcon(Hand& hand, const QString& name) {
  if (hand.trackerIcon == name) return;
  hand.trackerIcon = name;
  hand.trackerAction->setIcon(Resource(name));
  ++repaints_;
}

void ZEMBRAGloveConfigTool::UpdateReadyLabel() {
  const bool ready = hands_[0].glovePaired && hands_[1].glovePaired;
  const QString state = ready ? "Ready" : "Not Ready";
  if (state == readyState_) return;
  readyState_ = state;
  readyLabel_->setStyleSheet(ready ? "QLabel { color : #7BA915; }" : "QLabel { color : #B91919; }");
  readyLabel_->setText(state);
  ++repaints_;
}

void ZEMBRAGloveConfigTool::RestartWatchdog(Hand& hand) { hand.dataTimer->start(kWatchdogMs); }

void ZEMBRAGloveConfigTool::OnGloveStatusReceived(GloveStatusStruct status) {
  Hand* hand = FindHand(HandType(status.hand));
  if (!hand || workersDown_) return;
  const bool left = hand->type == Hand_Left;
  switch (status.code) {
    case GloveStatus_GlovePortNotFound:
      SetGloveIcon(*hand, left ? "LHNotFound.png" : "RHNotFound.png");
      hand->receiverFound = false;
      // Not at once: two threads searching without pause for a receiver
      // that is not there would only burn the processor.
      hand->searchTimer->start();
      RestartWatchdog(*hand);
      break;
    case GloveStatus_GlovePortFound:
      hand->receiverFound = true;
      for (Hand& each : hands_) SetLatencyTimerOnce(each);
      break;
    case GloveStatus_GloveDataReceived:
      if (demoRunning_ || hand->pairingActive) return;
      SetGloveIcon(*hand, left ? "LHPaired.png" : "RHPaired.png");
      hand->glovePaired = true;
      RestartWatchdog(*hand);
      UpdateReadyLabel();
      break;
    case GloveStatus_GlovePortClosedForPairing:
      ToolLog(left ? "GloveStatus_GlovePortClosedForPairing: Hand_Left"
                   : "GloveStatus_GlovePortClosedForPairing: Hand_Right");
      if (hand->closingForDemo) {
        hand->closingForDemo = false;
        MaybeLaunchDemo();
      }
      // Only a close asked for by a pairing starts one.
      if (hand->closingForPairing) {
        hand->closingForPairing = false;
        emit OnPairingGlove(hand->type);
      }
      break;
    case GloveStatus_GloveRecordingPrepared:
      OnRecordingPrepared(*hand);
      break;
    default:
      break;
  }
}

void ZEMBRAGloveConfigTool::SetLatencyTimerOnce(Hand& hand) {
  if (!hand.receiverFound || hand.latencyTimerSet) return;
  EIMUError error = IMUError_None;
  hand.monitor->OnResetLatencyTimerReceived(hand.type, error);
  hand.latencyTimerSet = true;
  ToolLog(QString(hand.type == Hand_Left ? "Left hand reset latency timer error: "
                                         : "Right hand reset latency timer error: ") +
          QString::number(int(error)));
}

void ZEMBRAGloveConfigTool::OnLHGloveDataReceiveTimeOut() { OnDataTimeOut(hands_[0]); }
void ZEMBRAGloveConfigTool::OnRHGloveDataReceiveTimeOut() { OnDataTimeOut(hands_[1]); }

void ZEMBRAGloveConfigTool::OnDataTimeOut(Hand& hand) {
  if (hand.receiverFound) {
    hand.glovePaired = false;
    SetGloveIcon(hand, hand.type == Hand_Left ? "LHNotPaired.png" : "RHNotPaired.png");
    RequestSearch(hand);
  }
  UpdateReadyLabel();
}

void ZEMBRAGloveConfigTool::OnHTCTrackerConnectedReceived(HandType type) {
  if (Hand* hand = FindHand(type)) {
    hand->trackerConnected = true;
    SetTrackerIcon(*hand, "tracker_status_ready.png");
  }
}

void ZEMBRAGloveConfigTool::OnHTCTrackerDisconnectedReceived(HandType type) {
  if (Hand* hand = FindHand(type)) {
    hand->trackerConnected = false;
    SetTrackerIcon(*hand, "tracker_status_off.png");
  }
}

void ZEMBRAGloveConfigTool::OnTBarActionClicked(QAction*) {}

void ZEMBRAGloveConfigTool::OnMenuBarActionClicked(QAction* action) {
  const QString name = action->objectName();
  if (name == "actionRun_Glove_3D_Demo")
    OnRun3DDemo();
  else if (name == "actionRun_Glove_VR_Demo")
    OnRunVRDemo();
  else if (name == "actionPair_Left_Hand_Glove")
    OnPairingLHGloveClicked();
  else if (name == "actionPair_Right_Hand_Glove")
    OnPairingRHGloveClicked();
  else if (name == "actionConfig_Left_Hand_Tracker")
    OnConfigLHTrackerClicked();
  else if (name == "actionConfig_Right_Hand_Tracker")
    OnConfigRHTrackerClicked();
  else if (name == "actionStart_Recording")
    OnStartRecording();
  else if (name == "actionReset_Latency_Timer")
    OnResetLatencyTimer();
  else if (name == "actionQuit")
    OnCloseApplication();
}

void ZEMBRAGloveConfigTool::ShowContextMenu(const QPoint& pos) {
  ToolLog(QStringLiteral("Position: %1 %2").arg(pos.x()).arg(pos.y()));
  QMenu menu("Context menu", this);
  auto* pairLeft = new QAction("Pair &Left Hand Glove", this);
  auto* pairRight = new QAction("Pair &Right Hand Glove", this);
  auto* configLeft = new QAction("Config &Left Hand Tracker", this);
  auto* identifyLeft = new QAction("&Identify Tracker", this);
  auto* configRight = new QAction("Config &Right Hand Tracker", this);
  auto* identifyRight = new QAction("&Identify Tracker", this);
  auto* resetLatency = new QAction("&Reset Latency Timer", this);
  auto* run3D = new QAction("Run Glove 3D Demo", this);
  auto* runVR = new QAction("Run Glove VR Demo", this);
  auto* quit = new QAction("&Quit", this);
  auto* record = new QAction(this);
  if (isRecording_) {
    record->setText("&Stop Recording");
    record->setIcon(Resource("stop.png"));
  } else {
    record->setText("&Start Recording");
    record->setIcon(Resource("play-button.png"));
  }
  const std::vector<QAction*> created = {pairLeft,     pairRight, configLeft, identifyLeft, configRight, identifyRight,
                                         resetLatency, run3D,     runVR,      quit,         record};
  connect(pairLeft, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnPairingLHGloveClicked);
  connect(pairRight, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnPairingRHGloveClicked);
  connect(configLeft, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnConfigLHTrackerClicked);
  connect(identifyLeft, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnIdentifyLHTrackerClicked);
  connect(configRight, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnConfigRHTrackerClicked);
  connect(identifyRight, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnIdentifyRHTrackerClicked);
  connect(resetLatency, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnResetLatencyTimer);
  connect(run3D, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnRun3DDemo);
  connect(runVR, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnRunVRDemo);
  connect(quit, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnCloseApplication);
  connect(record, &QAction::triggered, this, &ZEMBRAGloveConfigTool::OnStartRecording);

  switch (AreaAt(pos)) {
    case ClickArea::LeftGlove:
      menu.addAction(pairLeft);
      break;
    case ClickArea::RightGlove:
      menu.addAction(pairRight);
      break;
    case ClickArea::LeftTracker:
      menu.addAction(configLeft);
      menu.addAction(identifyLeft);
      break;
    case ClickArea::RightTracker:
      menu.addAction(configRight);
      menu.addAction(identifyRight);
      break;
    case ClickArea::Elsewhere: {
      menu.addAction(run3D);
      menu.addAction(runVR);
      menu.addSeparator();
      QMenu* pair = menu.addMenu("Pair Glove");
      pair->addAction(pairLeft);
      pair->addAction(pairRight);
      pair->addSeparator();
      QMenu* trackers = menu.addMenu("Config HTC Tracker");
      trackers->addAction(configLeft);
      trackers->addAction(configRight);
      menu.addAction(record);
      menu.addSeparator();
      menu.addAction(resetLatency);
      menu.addSeparator();
      menu.addAction(quit);
      if (isRecording_) {
        for (QAction* action : {run3D, runVR, pair->menuAction(), trackers->menuAction(), resetLatency})
          action->setEnabled(false);
      }
      break;
    }
  }
  menu.setStyleSheet(kMenuStyle);
  menu.exec(mapToGlobal(pos));
  // The actions served this menu only.
  for (QAction* action : created) action->deleteLater();
}

void ZEMBRAGloveConfigTool::ConfigTracker(HandType type) {
  EIMUError error = IMUError_None;
  if (!trackerMonitor_ || !trackerMonitor_->ConfigTracker(error, type)) {
    ShowConfigMessage("HTC Tracker access denied! Please try again.");
    return;
  }
  if (error != IMUError_None) {
    if (type == Hand_Right) {
      std::cout << "Config error: " << int(error) << std::endl;
    } else {
      ToolLog(QStringLiteral("Config error: %1").arg(int(error)));
    }
    ShowConfigMessage("HTC Tracker access denied! Please try again.");
    return;
  }
  ShowConfigMessage(type == Hand_Left ? "HTC left hand tracker has been set successfully!"
                                      : "HTC right hand tracker has been set successfully!",
                    ConfigMessage_Information);
}

void ZEMBRAGloveConfigTool::IdentifyTracker(HandType type) {
  EIMUError error = IMUError_None;
  if (!trackerMonitor_ || !trackerMonitor_->IdentifyTracker(error, type)) {
    ShowConfigMessage("HTC Tracker access denied! Please try again.");
    return;
  }
  if (error != IMUError_None) {
    ToolLog(QStringLiteral("Config error: %1").arg(int(error)));
    ShowConfigMessage("HTC Tracker access denied! Please try again.");
  }
}

void ZEMBRAGloveConfigTool::OnConfigLHTrackerClicked() { ConfigTracker(Hand_Left); }
void ZEMBRAGloveConfigTool::OnConfigRHTrackerClicked() { ConfigTracker(Hand_Right); }
void ZEMBRAGloveConfigTool::OnIdentifyLHTrackerClicked() { IdentifyTracker(Hand_Left); }
void ZEMBRAGloveConfigTool::OnIdentifyRHTrackerClicked() { IdentifyTracker(Hand_Right); }

void ZEMBRAGloveConfigTool::OnResetLatencyTimer() {
  if (!hands_[0].receiverFound && !hands_[1].receiverFound) {
    ShowConfigMessage("USB access denied! Please check whether receivers are connected to PC properly.");
    return;
  }
  // The setting belongs to the receiver: every receiver found is reset,
  // whether or not its glove delivers. Success means at least one reset ran
  // and none failed.
  int resets = 0;
  bool failed = false;
  for (Hand& hand : hands_) {
    if (!hand.receiverFound) continue;
    EIMUError error = IMUError_None;
    if (hand.monitor->ResetLatencyTimer(hand.type, error)) ++resets;
    ToolLog(QString(hand.type == Hand_Left ? "Left hand reset latency timer error: "
                                           : "Right hand reset latency timer error: ") +
            QString::number(int(error)));
    failed = failed || error != IMUError_None;
  }
  if (resets > 0 && !failed) {
    ShowConfigMessage("USB configuration has been set successfully!", ConfigMessage_Information);
  } else {
    ShowConfigMessage("USB access denied! Please check whether receivers are connected to PC properly.");
  }
}

void ZEMBRAGloveConfigTool::OnRun3DDemo() {
  if (!hands_[0].glovePaired || !hands_[1].glovePaired) {
    ShowConfigMessage("Please connect both hands of data gloves to run demo!");
    return;
  }
  RunDemo("ZEMBRAGloveDataStreaming");
}

void ZEMBRAGloveConfigTool::OnRunVRDemo() {
  if (!hands_[0].glovePaired || !hands_[1].glovePaired) {
    ShowConfigMessage("Please connect both hands of data gloves to run demo!");
    return;
  }
  if (!hands_[0].trackerConnected || !hands_[1].trackerConnected) {
    ShowConfigMessage("Please connect both hands of trackers to run demo!");
    return;
  }
  RunDemo("ZEMBRAGloveVRInteraction");
}

void ZEMBRAGloveConfigTool::RunDemo(const QString& name) {
  if (demoRunning_) return;
  demoRunning_ = true;
  for (Hand& hand : hands_) {
    hand.dataTimer->stop();
    hand.searchTimer->stop();
  }
  pendingDemo_ = DemoPath(name);
  // The demo opens the receivers itself: it starts once both ports closed.
  // A monitor busy opening its port closes it a little later.
  for (Hand& hand : hands_) hand.closingForDemo = true;
  for (Hand& hand : hands_) hand.monitor->OnStopCheckStatusReceived(hand.type);
  MaybeLaunchDemo();
}

void ZEMBRAGloveConfigTool::MaybeLaunchDemo() {
  if (pendingDemo_.isEmpty() || hands_[0].closingForDemo || hands_[1].closingForDemo) return;
  const QString program = pendingDemo_;
  pendingDemo_.clear();
  delete demo_;
  demo_ = new DemoLauncher(this);
  connect(demo_, &DemoLauncher::Ended, this, &ZEMBRAGloveConfigTool::OnDemoEnded, Qt::QueuedConnection);
  demo_->Start(program);
}

void ZEMBRAGloveConfigTool::OnDemoEnded(bool started, const QString& program) {
  if (demo_) demo_->deleteLater();
  demo_ = nullptr;
  if (!started) ShowConfigMessage("The demo program could not be started: " + program);
  // As after a demo that ran: the watchdogs bring the gloves back.
  for (Hand& hand : hands_) {
    hand.monitor->Resume();
    RestartWatchdog(hand);
  }
  demoRunning_ = false;
}

void ZEMBRAGloveConfigTool::OnCloseApplication() {
  ShutDownWorkers();
  close();
}

void ZEMBRAGloveConfigTool::closeEvent(QCloseEvent* event) {
  ShutDownWorkers();
  event->accept();
}

void ZEMBRAGloveConfigTool::mousePressEvent(QMouseEvent* event) {
  dragOrigin_ = event->pos();
  QMainWindow::mousePressEvent(event);
}

void ZEMBRAGloveConfigTool::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPos() - dragOrigin_);
  QMainWindow::mouseMoveEvent(event);
}
