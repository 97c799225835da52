#include "tool/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
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

// One row a command: the menu bar's action (object name, text, shortcut,
// icon), the context menu's text, the slot, and whether a recording locks
// it (it would take a port from the recording monitors, or stop them).
struct ZEMBRAGloveConfigTool::CommandEntry {
  Command command;
  const char* objectName;  // nullptr: not in the menu bar
  const char* menuBarText;
  const char* contextText;
  const char* shortcut;
  const char* icon;
  void (ZEMBRAGloveConfigTool::*slot)();
  bool lockedWhileRecording;
};

const ZEMBRAGloveConfigTool::CommandEntry& ZEMBRAGloveConfigTool::Entry(Command command) {
  using W = ZEMBRAGloveConfigTool;
  static const CommandEntry kEntries[] = {
      {Command::Run3DDemo, "actionRun_Glove_3D_Demo", "Run Glove 3D Demo", "Run Glove 3D Demo", "", "", &W::OnRun3DDemo,
       true},
      {Command::RunVRDemo, "actionRun_Glove_VR_Demo", "Run Glove VR Demo", "Run Glove VR Demo", "", "", &W::OnRunVRDemo,
       true},
      {Command::PairLeft, "actionPair_Left_Hand_Glove", "Pair &Left Hand Glove", "Pair &Left Hand Glove", "Ctrl+L", "",
       &W::OnPairingLHGloveClicked, true},
      {Command::PairRight, "actionPair_Right_Hand_Glove", "Pair &Right Hand Glove", "Pair &Right Hand Glove", "Ctrl+R",
       "", &W::OnPairingRHGloveClicked, true},
      {Command::ConfigLeftTracker, "actionConfig_Left_Hand_Tracker", "Config &Left Hand Tracker",
       "Config &Left Hand Tracker", "Ctrl+Shift+L", "", &W::OnConfigLHTrackerClicked, true},
      {Command::ConfigRightTracker, "actionConfig_Right_Hand_Tracker", "Config &Right Hand Tracker",
       "Config &Right Hand Tracker", "Ctrl+Shift+R", "", &W::OnConfigRHTrackerClicked, true},
      {Command::IdentifyLeftTracker, nullptr, "", "&Identify Tracker", "", "", &W::OnIdentifyLHTrackerClicked, false},
      {Command::IdentifyRightTracker, nullptr, "", "&Identify Tracker", "", "", &W::OnIdentifyRHTrackerClicked, false},
      {Command::Record, "actionStart_Recording", "Start Recording", "&Start Recording", "", "play-button.png",
       &W::OnStartRecording, false},
      {Command::ResetLatencyTimer, "actionReset_Latency_Timer", "&Reset Latency Timer", "&Reset Latency Timer", "", "",
       &W::OnResetLatencyTimer, true},
      {Command::Quit, "actionQuit", "&Quit", "&Quit", "", "", &W::OnCloseApplication, false},
  };
  return kEntries[size_t(command)];
}

QAction* ZEMBRAGloveConfigTool::MakeAction(Command command, bool forMenuBar) {
  const CommandEntry& entry = Entry(command);
  auto* action = new QAction(forMenuBar ? entry.menuBarText : entry.contextText, this);
  if (forMenuBar) {
    action->setObjectName(entry.objectName);
    if (*entry.shortcut) action->setShortcut(QKeySequence(entry.shortcut));
  }
  if (*entry.icon) action->setIcon(Resource(entry.icon));
  if (command == Command::Record && isRecording()) {
    action->setText(forMenuBar ? "Stop Recording" : "&Stop Recording");
    action->setIcon(Resource("stop.png"));
  }
  // The menu bar's actions reach their slots through OnMenuBarActionClicked.
  if (!forMenuBar) connect(action, &QAction::triggered, this, [this, command] { Run(command); });
  return action;
}

void ZEMBRAGloveConfigTool::FillFullMenu(QMenu* menu, const std::function<QAction*(Command)>& actionFor,
                                         bool forMenuBar) {
  menu->addAction(actionFor(Command::Run3DDemo));
  menu->addAction(actionFor(Command::RunVRDemo));
  menu->addSeparator();
  QMenu* pair = menu->addMenu("Pair Glove");
  pair->addAction(actionFor(Command::PairLeft));
  pair->addAction(actionFor(Command::PairRight));
  pair->addSeparator();
  QMenu* trackers = menu->addMenu("Config HTC Tracker");
  trackers->addAction(actionFor(Command::ConfigLeftTracker));
  trackers->addAction(actionFor(Command::ConfigRightTracker));
  menu->addAction(actionFor(Command::Record));
  menu->addSeparator();
  menu->addAction(actionFor(Command::ResetLatencyTimer));
  menu->addSeparator();
  menu->addAction(actionFor(Command::Quit));
  if (forMenuBar) {
    pair->setObjectName("menuPair_Glove");
    trackers->setObjectName("menuConfig_HTC_Tracker");
    lockedMenus_ = {pair, trackers};
  } else if (isRecording()) {
    pair->menuAction()->setEnabled(false);
    trackers->menuAction()->setEnabled(false);
  }
}

void ZEMBRAGloveConfigTool::Run(Command command) { (this->*Entry(command).slot)(); }

void ZEMBRAGloveConfigTool::SetRecordingMenus(bool recording) {
  QAction* record = menuBarActions_[Command::Record];
  record->setText(recording ? "Stop Recording" : "Start Recording");
  record->setIcon(Resource(recording ? "stop.png" : "play-button.png"));
  // The actions themselves, not only their menus: their shortcuts work
  // from anywhere in the window.
  for (const auto& [command, action] : menuBarActions_) {
    if (Entry(command).lockedWhileRecording) action->setEnabled(!recording);
  }
  for (QMenu* menu : lockedMenus_) menu->menuAction()->setEnabled(!recording);
}

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

  RequestSearch(hands_[1]);
  RestartWatchdog(hands_[1]);
  RequestSearch(hands_[0]);
  RestartWatchdog(hands_[0]);
  emit OnCheckTrackerStatus();
}

ZEMBRAGloveConfigTool::~ZEMBRAGloveConfigTool() {
  leaving_ = true;
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
  FillFullMenu(
      menu,
      [this](Command command) {
        QAction* action = MakeAction(command, true);
        menuBarActions_[command] = action;
        return action;
      },
      true);
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
  // driver thread calls into them afterwards. A monitor still waiting for a
  // receiver's channel report holds this up for at most the driver's
  // time-out; the window is gone by then (LeaveNow).
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

const ZEMBRAGloveConfigTool::Hand* ZEMBRAGloveConfigTool::FindHand(HandType type) const {
  if (type == Hand_Left) return &hands_[0];
  if (type == Hand_Right) return &hands_[1];
  return nullptr;
}

ZEMBRAGloveConfigTool::Hand* ZEMBRAGloveConfigTool::FindHand(HandType type) {
  return const_cast<Hand*>(static_cast<const ZEMBRAGloveConfigTool*>(this)->FindHand(type));
}

HandState ZEMBRAGloveConfigTool::handState(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h ? h->state : HandState();
}
bool ZEMBRAGloveConfigTool::receiverFound(HandType hand) const { return handState(hand).receiverFound(); }
bool ZEMBRAGloveConfigTool::glovePaired(HandType hand) const { return handState(hand).streaming(); }
bool ZEMBRAGloveConfigTool::pairingActive(HandType hand) const {
  return handState(hand).activity() == HandState::Activity::Pairing;
}
bool ZEMBRAGloveConfigTool::trackerConnected(HandType hand) const {
  const Hand* h = FindHand(hand);
  return h && h->trackerConnected;
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
QString ZEMBRAGloveConfigTool::readyToolTip() const { return readyLabel_->toolTip(); }
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
  if (workersDown_ || leaving_ || hand.state.portHeld()) return;
  // One search waits at most: a slow receiver must not stack them up.
  if (!hand.monitor->ClaimSearch()) return;
  if (hand.type == Hand_Left) {
    emit OnCheckLHGloveStatus(Hand_Left);
  } else {
    emit OnCheckRHGloveStatus(Hand_Right);
  }
}

void ZEMBRAGloveConfigTool::Show(Hand& hand) {
  const bool left = hand.type == Hand_Left;
  switch (hand.state.icon()) {
    case HandState::Icon::NotFound:
      SetGloveIcon(hand, left ? "LHNotFound.png" : "RHNotFound.png");
      break;
    case HandState::Icon::NotPaired:
      SetGloveIcon(hand, left ? "LHNotPaired.png" : "RHNotPaired.png");
      break;
    case HandState::Icon::Paired:
      SetGloveIcon(hand, left ? "LHPaired.png" : "RHPaired.png");
      break;
  }
  if (!hand.state.watchdogRuns()) {
    hand.dataTimer->stop();
    hand.searchTimer->stop();
  } else if (!hand.dataTimer->isActive() && !workersDown_ && !leaving_) {
    RestartWatchdog(hand);
  }
  UpdateReadyLabel();
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
  const bool ready = hands_[0].state.streaming() && hands_[1].state.streaming();
  // What is missing, for the label's tool tip.
  const QString tip =
      QString::fromUtf8("Left glove: %1 \u00b7 Right glove: %2")
          .arg(QString::fromStdString(hands_[0].state.Describe()), QString::fromStdString(hands_[1].state.Describe()));
  if (readyLabel_->toolTip() != tip) readyLabel_->setToolTip(tip);
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
      // Not paired either: a glove without its receiver delivers nothing.
      hand->state.ReceiverMissing();
      // Not at once: two threads searching without pause for a receiver
      // that is not there would only burn the processor.
      if (hand->state.watchdogRuns() && !leaving_) {
        hand->searchTimer->start();
        RestartWatchdog(*hand);
      }
      Show(*hand);
      break;
    case GloveStatus_GlovePortFound:
      hand->state.ReceiverFound();
      for (Hand& each : hands_) SetLatencyTimerOnce(each);
      Show(*hand);
      break;
    case GloveStatus_GloveDataReceived:
      if (!hand->state.Pose()) return;
      RestartWatchdog(*hand);
      Show(*hand);
      break;
    case GloveStatus_GlovePortClosedForPairing:
      ToolLog(left ? "GloveStatus_GlovePortClosedForPairing: Hand_Left"
                   : "GloveStatus_GlovePortClosedForPairing: Hand_Right");
      // Only a close asked for by a pairing or a demo starts one, once.
      if (!hand->state.PortReleased()) break;
      if (hand->state.activity() == HandState::Activity::Pairing) emit OnPairingGlove(hand->type);
      if (hand->state.activity() == HandState::Activity::Demo) MaybeLaunchDemo();
      break;
    case GloveStatus_GloveRecordingPrepared:
      OnRecordingPrepared(*hand);
      break;
    default:
      break;
  }
}

void ZEMBRAGloveConfigTool::SetLatencyTimerOnce(Hand& hand) {
  if (!hand.state.receiverFound() || hand.latencyTimerSet) return;
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
  if (hand.state.WatchdogFired()) RequestSearch(hand);
  Show(hand);
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
  for (const auto& [command, menuAction] : menuBarActions_) {
    if (action->objectName() == menuAction->objectName()) {
      Run(command);
      return;
    }
  }
}

void ZEMBRAGloveConfigTool::ShowContextMenu(const QPoint& pos) {
  ToolLog(QStringLiteral("Position: %1 %2").arg(pos.x()).arg(pos.y()));
  QMenu menu("Context menu", this);
  std::vector<std::pair<Command, QAction*>> created;
  const auto action = [&](Command command) {
    created.emplace_back(command, MakeAction(command, false));
    return created.back().second;
  };
  switch (AreaAt(pos)) {
    case ClickArea::LeftGlove:
      menu.addAction(action(Command::PairLeft));
      break;
    case ClickArea::RightGlove:
      menu.addAction(action(Command::PairRight));
      break;
    case ClickArea::LeftTracker:
      menu.addAction(action(Command::ConfigLeftTracker));
      menu.addAction(action(Command::IdentifyLeftTracker));
      break;
    case ClickArea::RightTracker:
      menu.addAction(action(Command::ConfigRightTracker));
      menu.addAction(action(Command::IdentifyRightTracker));
      break;
    case ClickArea::Elsewhere:
      FillFullMenu(&menu, action, false);
      // Only the full menu locks entries while recording; the commands
      // themselves refuse what would disturb the recording.
      if (isRecording()) {
        for (const auto& [command, each] : created) each->setEnabled(!Entry(command).lockedWhileRecording);
      }
      break;
  }
  menu.setStyleSheet(kMenuStyle);
  menu.exec(mapToGlobal(pos));
  // The actions served this menu only.
  for (const auto& entry : created) entry.second->deleteLater();
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
  if (!hands_[0].state.receiverFound() && !hands_[1].state.receiverFound()) {
    ShowConfigMessage("USB access denied! Please check whether receivers are connected to PC properly.");
    return;
  }
  // The setting belongs to the receiver: every receiver found is reset,
  // whether or not its glove delivers. Success means at least one reset ran
  // and none failed.
  int resets = 0;
  bool failed = false;
  for (Hand& hand : hands_) {
    if (!hand.state.receiverFound()) continue;
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

QString ZEMBRAGloveConfigTool::BusyReason(bool forPairing) const {
  if (isRecording()) {
    return forPairing ? "Please stop the recording before pairing a glove."
                      : "Please stop the recording before running a demo.";
  }
  // A second demo while one runs is simply not started.
  if (demoRunning()) return forPairing ? "Please wait for the demo to end before pairing a glove." : QString();
  if (pairingDialog_ || pairingActive(Hand_Left) || pairingActive(Hand_Right))
    return forPairing ? QString() : "Please finish pairing the glove before running a demo.";
  return QString();
}

void ZEMBRAGloveConfigTool::OnRun3DDemo() {
  // One owner per port: a demo waits for a pairing or a recording to end.
  const QString busy = BusyReason(false);
  if (!busy.isEmpty()) {
    ShowConfigMessage(busy);
    return;
  }
  if (!hands_[0].state.streaming() || !hands_[1].state.streaming()) {
    ShowConfigMessage("Please connect both hands of data gloves to run demo!");
    return;
  }
  RunDemo("ZEMBRAGloveDataStreaming");
}

void ZEMBRAGloveConfigTool::OnRunVRDemo() {
  const QString busy = BusyReason(false);
  if (!busy.isEmpty()) {
    ShowConfigMessage(busy);
    return;
  }
  if (!hands_[0].state.streaming() || !hands_[1].state.streaming()) {
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
  if (!hands_[0].state.BeginDemo()) return;
  if (!hands_[1].state.BeginDemo()) {
    hands_[0].state.EndDemo();
    return;
  }
  for (Hand& hand : hands_) Show(hand);
  pendingDemo_ = DemoPath(name);
  // The demo opens the receivers itself: it starts once both ports closed.
  // A monitor busy opening its port closes it a little later.
  for (Hand& hand : hands_) hand.monitor->OnStopCheckStatusReceived(hand.type);
}

void ZEMBRAGloveConfigTool::MaybeLaunchDemo() {
  if (pendingDemo_.isEmpty() || !hands_[0].state.portFree() || !hands_[1].state.portFree()) return;
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
  // The ports come back to the monitors, which open them at once: the
  // gloves count as delivering again when their poses say so, not because
  // they did before the demo.
  for (Hand& hand : hands_) {
    hand.state.EndDemo();
    hand.monitor->Resume();
    RestartWatchdog(hand);
    RequestSearch(hand);
    Show(hand);
  }
}

bool ZEMBRAGloveConfigTool::ConfirmQuit() {
  if (!isRecording()) return true;
  const int answer = AskConfigMessage(
      "A recording is running. Save it before quitting?",
      {{QMessageBox::Save, "Save"}, {QMessageBox::Discard, "Discard"}, {QMessageBox::Cancel, "Go Back"}},
      QMessageBox::Cancel);
  if (answer == QMessageBox::Save) return StopRecording();
  if (answer == QMessageBox::Discard) {
    DiscardRecording();
    return true;
  }
  return false;
}

void ZEMBRAGloveConfigTool::LeaveNow() {
  leaving_ = true;
  for (Hand& hand : hands_) {
    hand.dataTimer->stop();
    hand.searchTimer->stop();
  }
  // The dialog is a window of its own: the event loop ends with the last.
  if (pairingDialog_) pairingDialog_->close();
  if (trackerMonitor_) trackerMonitor_->Stop();
  hide();
}

void ZEMBRAGloveConfigTool::OnCloseApplication() { close(); }

void ZEMBRAGloveConfigTool::closeEvent(QCloseEvent* event) {
  // The close button, Quit and the window system all come here.
  if (!leaving_ && !ConfirmQuit()) {
    event->ignore();
    return;
  }
  LeaveNow();
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
