#include "tool/viewer/viewer_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace ZEMBRA {
namespace viewer {

namespace {
// A glove that has sent nothing for this long is shown as not delivering.
constexpr auto kNoDataAfter = std::chrono::milliseconds(1000);
const char* kWindowStyle = "background-color: #1B2124; color: #C4C4C4;";
constexpr double kSoftwareFrameRate = 33;

int64_t NowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

ViewerWindow::ViewerWindow(const recording::BvhFile& skeleton, QWidget* parent)
    : QWidget(parent), skeleton_(skeleton), view_(new HandsView(this)) {
  setWindowTitle("ZEMBRA hands - live");
  setStyleSheet(kWindowStyle);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  resize(960, 600);

  liveFrame_ = skeleton_.RestFrame();
  view_->SetScene(skeleton_.Build(liveFrame_.data()));
  const auto now = client::ReceiverFeed::Clock::now();
  for (int hand = 0; hand < 2; ++hand) {
    feeds_[hand] =
        std::make_unique<client::ReceiverFeed>(client::FeedTarget::FirstOf(hand == 0 ? Hand_Left : Hand_Right));
    mark_[hand] = now;
    view_->SetHandStatus(hand, "looking for the receiver");
  }
  connect(&timer_, &QTimer::timeout, this, &ViewerWindow::TickLive);
  connect(view_, &HandsView::rendererKnown, this, &ViewerWindow::StartTimer);
  StartTimer();
}

ViewerWindow::ViewerWindow(const recording::BvhFile& file, const QString& title, QWidget* parent)
    : QWidget(parent), skeleton_(file), view_(new HandsView(this)) {
  setWindowTitle("ZEMBRA hands - " + title);
  setStyleSheet(kWindowStyle);
  playButton_ = new QPushButton("Pause", this);
  auto* back = new QPushButton("<", this);
  auto* forward = new QPushButton(">", this);
  back->setToolTip("One frame back (Left)");
  forward->setToolTip("One frame on (Right)");
  playButton_->setToolTip("Play or pause (Space)");
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setRange(0, std::max(0, file.frameCount - 1));
  position_ = new QLabel(this);
  position_->setMinimumWidth(170);

  auto* controls = new QHBoxLayout;
  controls->setContentsMargins(8, 4, 8, 6);
  controls->addWidget(playButton_);
  controls->addWidget(back);
  controls->addWidget(forward);
  controls->addWidget(slider_, 1);
  controls->addWidget(position_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_, 1);
  layout->addLayout(controls);
  resize(960, 640);

  connect(playButton_, &QPushButton::clicked, this, [this] { SetPlaying(!playing_); });
  connect(back, &QPushButton::clicked, this, [this] { Step(-1); });
  connect(forward, &QPushButton::clicked, this, [this] { Step(1); });
  connect(slider_, &QSlider::sliderMoved, this, [this](int value) {
    SetPlaying(false);
    ShowFrame(value);
  });
  connect(&timer_, &QTimer::timeout, this, &ViewerWindow::TickPlayback);
  connect(view_, &HandsView::rendererKnown, this, &ViewerWindow::StartTimer);
  for (int hand = 0; hand < 2; ++hand)
    if (skeleton_.HasHand(hand == 0 ? Hand_Left : Hand_Right)) view_->SetHandStatus(hand, "recorded");
  ShowFrame(0);
  SetPlaying(file.frameCount > 1);
  StartTimer();
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::StartTimer() {
  // One tick per refresh of the screen the window is on.
  const QScreen* screen = QGuiApplication::primaryScreen();
  double hz = screen && screen->refreshRate() >= 20 ? screen->refreshRate() : 60.0;
  if (view_->softwareRenderer()) hz = std::min(hz, kSoftwareFrameRate);
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.start(std::max(1, int(std::lround(1000.0 / hz))));
}

QString ViewerWindow::LiveStatus(int hand) {
  const client::ReceiverFeed& feed = *feeds_[hand];
  const auto now = client::ReceiverFeed::Clock::now();
  // Packets per second over the last whole second.
  if (now - mark_[hand] >= std::chrono::seconds(1)) {
    const uint64_t count = feed.poseCount();
    const double seconds = std::chrono::duration<double>(now - mark_[hand]).count();
    rate_[hand] = int(std::lround(double(count - countAtMark_[hand]) / seconds));
    countAtMark_[hand] = count;
    mark_[hand] = now;
  }
  switch (feed.state()) {
    case client::FeedState::NoReceiver:
      return "no receiver";
    case client::FeedState::Opening:
      return "opening the receiver";
    case client::FeedState::Silent:
      return "no data from the glove";
    case client::FeedState::Streaming:
      break;
  }
  if (feed.poseCount() == 0 || now - feed.lastPoseTime() > kNoDataAfter) return "no data from the glove";
  return QString("streaming, %1 packets/s").arg(rate_[hand]);
}

void ViewerWindow::TickLive() {
  bool changed = false;
  for (int hand = 0; hand < 2; ++hand) {
    Pose pose{};
    if (feeds_[hand]->TakePose(pose)) {
      skeleton_.PlacePose(pose, hand == 0 ? Hand_Left : Hand_Right, liveFrame_);
      shown_[hand] = pose.statusValue;
      if (recording_) grids_[hand].Add(NowNanoseconds(), pose);
      changed = true;
    }
    view_->SetHandStatus(hand, LiveStatus(hand));
  }
  if (!changed) return;
  view_->SetScene(skeleton_.Build(liveFrame_.data()));
  // The first view was of the skeleton at rest; once both hands are live,
  // look at their real palms.
  if (!framedLive_ && shown_[0] && shown_[1]) {
    framedLive_ = true;
    view_->FrameScene();
  }
}

void ViewerWindow::StartRecording() {
  recording_ = true;
  for (recording::FrameGrid& grid : grids_) grid.Reset(NowNanoseconds());
}

std::vector<Pose> ViewerWindow::TakeRecording(HandType hand) {
  recording::FrameGrid& grid = grids_[hand == Hand_Left ? 0 : 1];
  grid.Finish(NowNanoseconds());
  return grid.Take();
}

void ViewerWindow::SetPlaying(bool playing) {
  playing_ = playing && skeleton_.file().frameCount > 1;
  if (playButton_) playButton_->setText(playing_ ? "Pause" : "Play");
  clock_.restart();
  clockStartFrame_ = frame_;
}

void ViewerWindow::ShowFrame(int frame) {
  const recording::BvhFile& file = skeleton_.file();
  if (file.frameCount <= 0) {
    view_->SetScene(skeleton_.Build(skeleton_.RestFrame().data()));
    if (position_) position_->setText("no frames");
    return;
  }
  frame_ = std::clamp(frame, 0, file.frameCount - 1);
  view_->SetScene(skeleton_.Build(file.values.data() + size_t(frame_) * size_t(file.channelCount)));
  if (slider_ && slider_->value() != frame_) slider_->setValue(frame_);
  if (position_)
    position_->setText(QString("frame %1 / %2   %3 s")
                           .arg(frame_ + 1)
                           .arg(file.frameCount)
                           .arg(double(frame_) * file.frameTime, 0, 'f', 2));
}

void ViewerWindow::TickPlayback() {
  if (!playing_) return;
  const recording::BvhFile& file = skeleton_.file();
  const double frameTime = file.frameTime > 0 ? file.frameTime : 1.0 / 30;
  // From the clock, not by counting ticks: a late tick skips frames instead
  // of slowing the motion down. The end wraps round to the start.
  const double at = clockStartFrame_ + double(clock_.elapsed()) / 1000.0 / frameTime;
  const int frame = int(std::fmod(at, double(file.frameCount)));
  if (frame != frame_) ShowFrame(frame);
}

void ViewerWindow::keyPressEvent(QKeyEvent* event) {
  if (!slider_) return QWidget::keyPressEvent(event);
  switch (event->key()) {
    case Qt::Key_Space:
      SetPlaying(!playing_);
      break;
    case Qt::Key_Left:
      Step(-1);
      break;
    case Qt::Key_Right:
      Step(1);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace viewer
}  // namespace ZEMBRA
