#include "tool/pairing_dialog.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QMovie>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <iostream>

#include "tool/tool_log.h"

using ZEMBRA::EIMUError;
using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;
using ZEMBRA::HandType;
using ZEMBRA::IMUError_None;

namespace {

constexpr int kPairingTimeoutMs = 30000;
// A refused pairing request is asked again at most this often in all: it
// runs on the GUI thread, which nothing else can then serve.
constexpr int kStartAttempts = 3;
constexpr int kLeftChannel = 80;
constexpr int kRightChannel = 90;
const char* const kButtonStyle = "QPushButton {background-color: #3c3c3c; color: #b0aaaa}";
const char* const kGreyText = "QLabel {color : #b0aaaa; }";

QString ResourcePath(const QString& name) { return ":/ZEMBRAGloveConfigTool/Resources/" + name; }

QFont Arial(int pointSize = -1, bool bold = false) {
  QFont font("Arial");
  if (pointSize > 0) font.setPointSize(pointSize);
  font.setBold(bold);
  return font;
}

}  // namespace

void PairingProcess::CZEMBRAIMUEventHandler::OnEvent(const ZEMBRA::IMUEvent& event) {
  if (event.type == ZEMBRA::IMUEvent_Paired) emit dialog_.OnPairingDone(event.hand);
  if (const char* text = GloveEventText(event.type)) std::cout << text << std::endl;
}

PairingProcess::PairingProcess(HandType hand, QWidget* parent) : QDialog(parent), hand_(hand), pairingHand_(hand) {
  RegisterToolMetaTypes();
  BuildWidgets();
  // Emitted by the handler on the driver's pairing thread: delivered here
  // queued, on the GUI thread.
  connect(this, &PairingProcess::OnPairingDone, this, &PairingProcess::OnPairingDoneReceived, Qt::QueuedConnection);
  connect(&pairingTimer_, &QTimer::timeout, this, &PairingProcess::OnGlovePairingTimeOut);
}

// Deleted without being closed: it ends all the same.
PairingProcess::~PairingProcess() { End(); }

void PairingProcess::BuildWidgets() {
  setObjectName("PairingProcess");
  resize(561, 351);
  setWindowTitle("PairingProcess");
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(6);
  layout->setContentsMargins(11, 11, 11, 11);

  title_ = new QLabel("Pair a new Glove", this);
  title_->setObjectName("label");
  title_->setFont(Arial(10));
  title_->setStyleSheet(kGreyText);
  layout->addWidget(title_);
  auto* line = new QFrame(this);
  line->setObjectName("line");
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setStyleSheet("QFrame{border: none;background:#444548;}");
  layout->addWidget(line);

  auto* row = new QHBoxLayout();
  row->setSpacing(0);
  auto* left = new QVBoxLayout();
  left->setObjectName("verticalLayout_2");
  left->setSpacing(6);
  left->setContentsMargins(5, 30, 0, 30);
  picture_ = new QLabel(this);
  picture_->setObjectName("label_2");
  picture_->setScaledContents(true);
  ShowPicture(picture_, hand_ == Hand_Right ? "RHPairing.png" : "LHPairing.png");
  left->addWidget(picture_);
  row->addLayout(left);

  auto* right = new QVBoxLayout();
  right->setObjectName("verticalLayout_3");
  right->setSpacing(0);
  right->setContentsMargins(15, 0, 10, 30);
  loading_ = new QLabel(this);
  loading_->setObjectName("label_loading");
  movie_ = new QMovie(ResourcePath("ajax-loader.gif"), QByteArray(), this);
  loading_->setMovie(movie_);
  movie_->start();
  right->addWidget(loading_);
  // The dialog's own hand from the start, also while the monitor still
  // closes the port.
  heading_ =
      new QLabel(hand_ == Hand_Right ? "Looking for Right Hand Glove..." : "Looking for Left Hand Glove...", this);
  heading_->setObjectName("label_3");
  heading_->setFont(Arial(-1, true));
  heading_->setStyleSheet("QLabel {color : white; }");
  right->addWidget(heading_);
  text_ = new QLabel(
      "Press and hold the button on the glove box until it flash rapidly first and then remain solid/turned off, "
      "release hand immediately. ",
      this);
  text_->setObjectName("label_4");
  text_->setFont(Arial());
  text_->setWordWrap(true);
  text_->setStyleSheet(kGreyText);
  right->addWidget(text_);
  hint_ = new QLabel(
      "The LED on the glove box should blink blue in one-slow-one-fast manner to indicate that it is in pairing mode.",
      this);
  hint_->setObjectName("label_5");
  hint_->setFont(Arial());
  hint_->setWordWrap(true);
  hint_->setStyleSheet(kGreyText);
  right->addWidget(hint_);
  buttonRow_ = new QHBoxLayout();
  buttonRow_->setObjectName("horizontalLayout_2");
  buttonRow_->setSpacing(6);
  const QMargins margins = buttonRow_->contentsMargins();
  buttonRow_->setContentsMargins(100, 20, margins.right(), margins.bottom());
  cancel_ = AddButton("Cancel");
  cancel_->setObjectName("pushButton");
  connect(cancel_, &QPushButton::clicked, this, &PairingProcess::OnCancelPairing);
  right->addLayout(buttonRow_);
  row->addLayout(right);
  layout->addLayout(row);
}

QPushButton* PairingProcess::AddButton(const QString& text) {
  auto* button = new QPushButton(text, this);
  button->setFont(Arial());
  button->setStyleSheet(kButtonStyle);
  buttonRow_->addWidget(button);
  return button;
}

void PairingProcess::ShowPicture(QLabel* label, const QString& name) { label->setPixmap(QPixmap(ResourcePath(name))); }

QString PairingProcess::labelText(const char* objectName) const {
  const auto* label = findChild<QLabel*>(objectName);
  return label ? label->text() : QString();
}

QPushButton* PairingProcess::button(const QString& text) const {
  for (QPushButton* candidate : findChildren<QPushButton*>()) {
    if (candidate->text() == text) return candidate;
  }
  return nullptr;
}

void PairingProcess::OnPairingReceived(HandType type) {
  // Meant for this dialog's hand, once: a second request must not pair again.
  if (type != hand_ || stage_ != Stage::Waiting) return;
  pairingHand_ = type;
  pairingTimer_.start(kPairingTimeoutMs);
  const bool left = type == Hand_Left;
  ShowPicture(picture_, left ? "LHPairing.png" : "RHPairing.png");
  heading_->setText(left ? "Looking for Left Hand Glove..." : "Looking for Right Hand Glove...");
  stage_ = Stage::Looking;

  session_ = std::make_unique<ZEMBRA::client::GloveSession>(handler_, ZEMBRA::client::kGloveMode);
  EIMUError error = session_->initError();
  if (error != IMUError_None) {
    ToolLog(QStringLiteral("Init Error Code: %1").arg(int(error)));
    return;
  }
  ZEMBRA::PortInfo info;
  error = session_->Detect(type, info);
  if (error != IMUError_None) {
    ToolLog(left ? "LH OpenPort Failed!" : "RH OpenPort Failed!");
    ToolLog(QStringLiteral("Error Code: %1").arg(int(error)));
    return;
  }
  const int channel = left ? kLeftChannel : kRightChannel;
  for (startAttempts_ = 1;; ++startAttempts_) {
    error = session_->StartPairing(channel, info);
    if (error == IMUError_None) break;
    ToolLog(left ? "LH Pairing Failed!" : "RH Pairing Failed!");
    ToolLog(QStringLiteral("Error Code: %1").arg(int(error)));
    // Not for ever: the timeout then offers Retry.
    if (startAttempts_ >= kStartAttempts) return;
    // A request that opened the port and then failed leaves it open.
    session_->Close();
  }
  ToolLog(left ? "LH Pairing Started!" : "RH Pairing Started!");
}

void PairingProcess::OnPairingDoneReceived(HandType) {
  // A confirmation after the timeout, or a second one, changes nothing.
  if (stage_ != Stage::Looking) return;
  stage_ = Stage::Paired;
  pairingTimer_.stop();
  const bool left = pairingHand_ == Hand_Left;
  ToolLog(left ? "Hand_Left: OnPairingDoneReceived" : "Hand_Right: OnPairingDoneReceived");
  title_->setText("Success!");
  heading_->setText(left ? "Left Hand Glove Paired!" : "Right Hand Glove Paired!");
  text_->setText(left ? "Your left hand glove is paired and ready to go. To pair right hand glove, click 'Pair "
                        "Another Glove' below."
                      : "Your right hand glove is paired and ready to go. To pair left hand glove, click 'Pair "
                        "Another Glove' below.");
  hint_->setText("");
  movie_->stop();
  loading_->clear();
  ShowPicture(loading_, "checked.png");

  cancel_->hide();
  QPushButton* another = AddButton("Pair Another Glove");
  QPushButton* done = AddButton("Done");
  const QMargins margins = buttonRow_->contentsMargins();
  buttonRow_->setContentsMargins(5, 20, margins.right(), margins.bottom());
  connect(another, &QPushButton::clicked, this, qOverload<>(&PairingProcess::OnPairingTheOtherHand));
  connect(done, &QPushButton::clicked, this, &QDialog::close);

  if (session_) session_->Close();
  TellMainWindowDone();
}

void PairingProcess::OnGlovePairingTimeOut() {
  if (stage_ != Stage::Looking) return;
  stage_ = Stage::TimedOut;
  pairingTimer_.stop();
  ToolLog("OnGlovePairingTimeOut");
  heading_->setText("No ZEMBRA Data Glove Detected!");
  text_->setText("Make sure your glove is in pairing mode and near the receiver when pairing.");
  hint_->setText("Click 'Retry' below to try again.");
  movie_->stop();
  loading_->clear();
  ShowPicture(loading_, "cancel.png");
  QPushButton* retry = AddButton("Retry");
  const QMargins margins = buttonRow_->contentsMargins();
  buttonRow_->setContentsMargins(5, 20, margins.right(), margins.bottom());
  connect(retry, &QPushButton::clicked, this, qOverload<>(&PairingProcess::OnPairingRetry));
}

void PairingProcess::OnCancelPairing() {
  ToolLog("OnCancelPairing");
  const bool left = pairingHand_ == Hand_Left;
  // Nothing to reset before a driver object exists.
  if (session_) {
    const EIMUError error = session_->SwitchToRSSIScan();
    if (error == IMUError_None) {
      ToolLog(left ? "LH Port reset to rssi scan" : "RH Port reset to rssi scan");
    } else {
      ToolLog(left ? "LH Port reset to rssi scan failed!" : "RH Port reset to rssi scan failed!");
      ToolLog(QStringLiteral("Error Code: %1").arg(int(error)));
    }
  }
  ending_ = Ending::Cancel;
  close();
}

void PairingProcess::OnPairingTheOtherHand() {
  ending_ = Ending::OtherHand;
  close();
}

void PairingProcess::OnPairingRetry() {
  ending_ = Ending::Retry;
  close();
}

void PairingProcess::reject() { close(); }

void PairingProcess::TellMainWindowDone() {
  if (doneSent_) return;
  doneSent_ = true;
  emit OnPairingDoneSendtoMainWindow(pairingHand_);
}

void PairingProcess::closeEvent(QCloseEvent* event) {
  End();
  event->accept();
}

void PairingProcess::End() {
  pairingTimer_.stop();
  if (stage_ == Stage::Ended) return;
  const Stage stage = stage_;
  stage_ = Stage::Ended;
  // After success the port was closed and the window told; only "Pair
  // Another Glove" has more to do.
  const bool quietAfterSuccess = stage == Stage::Paired && ending_ != Ending::OtherHand;
  if (!quietAfterSuccess && session_) {
    const EIMUError error = session_->Close();
    if (pairingHand_ == Hand_Left) {
      ToolLog(QStringLiteral("pLeftHandDataGlovePairing ClosePort Error: %1").arg(int(error)));
    } else {
      ToolLog("pRightHandDataGlovePairing closed");
    }
  }
  // The port is free before anyone is told: the next owner may open it.
  session_.reset();
  if (quietAfterSuccess) return;
  const bool left = pairingHand_ == Hand_Left;
  switch (ending_) {
    case Ending::OtherHand:
      ToolLog(left ? "OnPairingTheOtherHand Hand_Right" : "OnPairingTheOtherHand Hand_Left");
      emit OnPairingTheOtherHand(left ? Hand_Right : Hand_Left);
      break;
    case Ending::Retry:
      ToolLog(QStringLiteral("OnPairingRetry %1").arg(int(pairingHand_)));
      emit OnPairingRetry(pairingHand_);
      break;
    case Ending::Cancel:
    case Ending::Closed:
      // Cancel, Escape, the window system or deletion: either way the
      // hand's monitoring resumes.
      TellMainWindowDone();
      break;
  }
}

void PairingProcess::mousePressEvent(QMouseEvent* event) {
  dragOrigin_ = event->pos();
  QDialog::mousePressEvent(event);
}

void PairingProcess::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPos() - dragOrigin_);
  QDialog::mouseMoveEvent(event);
}
