// The hand viewer's window: the 3D view, and either the live state of both
// gloves or the controls of a file being played (play/pause, step, a time
// slider). One timer at the display's refresh rate drives the drawing.
#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "driver/client/receiver_feed.h"
#include "tool/recording/frame_grid.h"
#include "tool/viewer/hand_scene.h"
#include "tool/viewer/hands_view.h"

namespace ZEMBRA {
namespace viewer {

class ViewerWindow : public QWidget {
  Q_OBJECT

 public:
  // Live: both gloves through the driver, drawn on skeleton.
  explicit ViewerWindow(const recording::BvhFile& skeleton, QWidget* parent = nullptr);
  // Playback of a parsed file, from its first frame.
  ViewerWindow(const recording::BvhFile& file, const QString& title, QWidget* parent = nullptr);
  ~ViewerWindow() override;

  HandsView* view() const { return view_; }
  // Playback.
  int frame() const { return frame_; }
  bool playing() const { return playing_; }
  void SetPlaying(bool playing);
  void ShowFrame(int frame);
  void Step(int frames) {
    SetPlaying(false);
    ShowFrame(frame_ + frames);
  }
  // Live: the status values of the poses in the last frame drawn (the
  // simulator numbers its bursts with them), per hand; none before a pose.
  std::optional<double> shownStatusValue(int hand) const { return shown_[hand]; }
  // Live: from now on every pose shown is also kept on a recording's frame
  // grid, until the frames are taken (the newest pose per frame drawn, at
  // least as often as the grid's 30 frames a second).
  void StartRecording();
  std::vector<Pose> TakeRecording(HandType hand);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Draws at the screen's refresh rate; on a software renderer at most
  // kSoftwareFrameRate times a second, which is smooth enough and leaves
  // the processor to the rest of the machine.
  void StartTimer();
  void TickLive();
  void TickPlayback();
  QString LiveStatus(int hand);

  HandSkeleton skeleton_;
  HandsView* view_ = nullptr;
  QTimer timer_;

  // Live.
  std::unique_ptr<client::ReceiverFeed> feeds_[2];
  std::vector<double> liveFrame_;
  std::optional<double> shown_[2];
  uint64_t countAtMark_[2] = {0, 0};
  client::ReceiverFeed::Clock::time_point mark_[2];
  int rate_[2] = {0, 0};
  bool framedLive_ = false;
  bool recording_ = false;
  recording::FrameGrid grids_[2];

  // Playback.
  QPushButton* playButton_ = nullptr;
  QSlider* slider_ = nullptr;
  QLabel* position_ = nullptr;
  int frame_ = 0;
  bool playing_ = false;
  QElapsedTimer clock_;
  double clockStartFrame_ = 0;
};

}  // namespace viewer
}  // namespace ZEMBRA
