// The pairing dialog: guides the user through pairing one hand's glove with
// its receiver, drives a driver object of its own through the pairing
// request, waits up to 30 seconds for the receiver's confirmation, and then
// offers to pair the other hand or to try again.
//
// The main window opens it for one hand and starts it (OnPairingReceived)
// once the hand's monitor has closed the port. However the dialog ends (its
// buttons, Escape, the window system's close, or being deleted), it ends
// once, in End: the main window hears once that this pairing is over (the
// done report, at success or at the end), or is asked instead to pair the
// other hand or to try again. The driver objects are released before
// anyone is told, so the next owner may open the port and no driver thread
// reaches the dialog afterwards.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

#include "driver/client/glove_session.h"
#include "tool/glove_status.h"

class QHBoxLayout;
class QLabel;
class QMovie;
class QPushButton;

class PairingProcess : public QDialog {
  Q_OBJECT

 public:
  // The driver's callbacks, through the dialog's session: the paired event
  // (on the driver's pairing thread) reaches the dialog queued; the others
  // are only logged.
  class CZEMBRAIMUEventHandler : public ZEMBRA::client::SessionListener {
   public:
    explicit CZEMBRAIMUEventHandler(PairingProcess& dialog) : dialog_(dialog) {}
    void OnPose(const ZEMBRA::Pose&) override {}
    void OnEvent(const ZEMBRA::IMUEvent& event) override;

   private:
    PairingProcess& dialog_;
  };

  // hand: the hand this dialog pairs.
  explicit PairingProcess(ZEMBRA::HandType hand, QWidget* parent = nullptr);
  ~PairingProcess() override;

  // Where the dialog is: waiting for the port, looking for the glove, the
  // glove paired, no glove in time, or over.
  enum class Stage { Waiting, Looking, Paired, TimedOut, Ended };

  ZEMBRA::HandType hand() const { return hand_; }
  Stage stage() const { return stage_; }
  bool looking() const { return stage_ == Stage::Looking; }
  bool timedOut() const { return stage_ == Stage::TimedOut; }
  int startAttempts() const { return startAttempts_; }
  // For tests: the label texts and the buttons by their text.
  QString labelText(const char* objectName) const;
  QPushButton* button(const QString& text) const;

 signals:
  void OnPairingDone(ZEMBRA::HandType type);
  void OnPairingDoneSendtoMainWindow(ZEMBRA::HandType type);
  void OnPairingTheOtherHand(ZEMBRA::HandType type);
  void OnPairingRetry(ZEMBRA::HandType type);

 public slots:
  void OnPairingReceived(ZEMBRA::HandType type);
  void OnGlovePairingTimeOut();
  void OnPairingDoneReceived(ZEMBRA::HandType type);
  void OnCancelPairing();
  void OnPairingTheOtherHand();
  void OnPairingRetry();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 public:
  // Escape: through the close event like every other way out, not past it.
  void reject() override;

 private:
  // How the dialog is being left: the button pressed, or none of them.
  enum class Ending { Closed, Cancel, Retry, OtherHand };

  void End();
  void BuildWidgets();
  QPushButton* AddButton(const QString& text);
  void ShowPicture(QLabel* label, const QString& name);
  void TellMainWindowDone();

  const ZEMBRA::HandType hand_;
  QTimer pairingTimer_;
  ZEMBRA::HandType pairingHand_;
  Stage stage_ = Stage::Waiting;
  Ending ending_ = Ending::Closed;
  bool doneSent_ = false;
  int startAttempts_ = 0;
  CZEMBRAIMUEventHandler handler_{*this};
  // The dialog's own driver object, for its hand; made when pairing starts,
  // released before anyone is told that the pairing is over.
  std::unique_ptr<ZEMBRA::client::GloveSession> session_;

  QLabel* title_ = nullptr;    // label
  QLabel* picture_ = nullptr;  // label_2
  QLabel* loading_ = nullptr;  // label_loading
  QLabel* heading_ = nullptr;  // label_3
  QLabel* text_ = nullptr;     // label_4
  QLabel* hint_ = nullptr;     // label_5
  QMovie* movie_ = nullptr;
  QHBoxLayout* buttonRow_ = nullptr;  // horizontalLayout_2
  QPushButton* cancel_ = nullptr;
  QPoint dragOrigin_;
};
