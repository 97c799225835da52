// The main window's side of pairing: opening the dialog for a hand, and
// resuming the hand's monitoring when the dialog is done with it.
#include <QTimer>

#include "tool/config_message.h"
#include "tool/glove_monitor.h"
#include "tool/main_window.h"
#include "tool/pairing_dialog.h"
#include "tool/tool_log.h"

using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;
using ZEMBRA::HandType;

void ZEMBRAGloveConfigTool::OnPairingLHGloveClicked() { StartPairing(hands_[0], true); }
void ZEMBRAGloveConfigTool::OnPairingRHGloveClicked() { StartPairing(hands_[1], true); }

void ZEMBRAGloveConfigTool::StartPairing(Hand& hand, bool askMonitor) {
  // One owner per port: the recording monitors keep theirs open, a demo
  // holds both.
  const QString busy = BusyReason(true);
  if (!busy.isEmpty()) {
    ShowConfigMessage(busy);
    return;
  }
  if (askMonitor && !hand.state.receiverFound()) {
    ShowConfigMessage("Please connect USB receiver first to start pairing!");
    return;
  }
  if (pairingDialog_) {
    // One pairing at a time: the open dialog comes to the front.
    pairingDialog_->raise();
    pairingDialog_->activateWindow();
    return;
  }
  if (!hand.state.BeginPairing()) return;
  ToolLog(hand.type == Hand_Left ? "OnPairingLHGloveClicked" : "OnPairingRHGloveClicked");
  PairingProcess* dialog = OpenPairingDialog(hand);
  dialog->show();
  Show(hand);  // the watchdog stops
  // The monitor closes its port and reports it; that report starts the
  // dialog (OnGloveStatusReceived). A busy monitor reports a little later.
  hand.monitor->OnStopCheckStatusReceived(hand.type);
}

PairingProcess* ZEMBRAGloveConfigTool::OpenPairingDialog(Hand& hand) {
  auto* dialog = new PairingProcess(hand.type);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowMaximizeButtonHint);
  dialog->setStyleSheet("background-color:#1B2124;");
  pairingDialog_ = dialog;
  connect(this, &ZEMBRAGloveConfigTool::OnPairingGlove, dialog, &PairingProcess::OnPairingReceived);
  // The dialog's signals share their names with its button slots.
  connect(dialog, qOverload<HandType>(&PairingProcess::OnPairingTheOtherHand), this,
          &ZEMBRAGloveConfigTool::OnPairingTheOtherHandReceived);
  connect(dialog, qOverload<HandType>(&PairingProcess::OnPairingRetry), this,
          &ZEMBRAGloveConfigTool::OnPairingRetryReceived);
  connect(dialog, &PairingProcess::OnPairingDoneSendtoMainWindow, this, &ZEMBRAGloveConfigTool::OnPairingDoneReceived);
  // Belt and braces: a dialog that went without a word (its own end says
  // one) still gives the hand back. A detached dialog has handed the
  // pairing on and is not heard.
  const HandType type = hand.type;
  connect(dialog, &QObject::destroyed, this, [this, type] {
    if (pairingActive(type)) OnPairingDoneReceived(type);
  });
  return dialog;
}

void ZEMBRAGloveConfigTool::DetachPairingDialog() {
  if (!pairingDialog_) return;
  disconnect(this, nullptr, pairingDialog_, nullptr);
  disconnect(pairingDialog_, nullptr, this, nullptr);
  pairingDialog_ = nullptr;
}

void ZEMBRAGloveConfigTool::OnPairingDoneReceived(HandType type) {
  ToolLog("OnPairingDoneReceived");
  Hand* hand = FindHand(type);
  if (!hand || hand->state.activity() != HandState::Activity::Pairing) return;
  // The dialog's own driver object used the port meanwhile.
  hand->monitor->ClearPortOpen();
  hand->state.EndPairing();
  if (workersDown_ || leaving_) return;
  RequestSearch(*hand);
  RestartWatchdog(*hand);
  Show(*hand);
}

void ZEMBRAGloveConfigTool::OnPairingTheOtherHandReceived(HandType type) {
  DetachPairingDialog();
  if (leaving_) return;
  if (type == Hand_Left) OnPairingLHGloveClicked();
  if (type == Hand_Right) OnPairingRHGloveClicked();
}

void ZEMBRAGloveConfigTool::OnPairingRetryReceived(HandType type) {
  Hand* hand = FindHand(type);
  if (!hand) return;
  DetachPairingDialog();
  if (leaving_ || hand->state.activity() != HandState::Activity::Pairing) return;
  // The port is still closed from the first attempt: the new dialog starts
  // at once, without the monitor.
  PairingProcess* dialog = OpenPairingDialog(*hand);
  if (hand->state.portFree()) emit OnPairingGlove(type);
  dialog->show();
}
