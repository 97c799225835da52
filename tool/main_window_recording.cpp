// The main window's side of recording: starting both monitors, stopping
// them, and writing both hands' frames to a BVH file.
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QTextStream>
#include <QVBoxLayout>

#include "tool/config_message.h"
#include "tool/glove_monitor.h"
#include "tool/main_window.h"
#include "tool/recording/bvh_writer.h"
#include "tool/tool_log.h"

using ZEMBRA::Hand_Left;
using ZEMBRA::Hand_Right;
using ZEMBRA::HandType;

namespace {

const char* const kHeaderFile = "record/bones.txt";
// The skeleton shipped with the tool, for a current folder without one.
const char* const kBuiltInHeader = ":/ZEMBRAGloveConfigTool/record/bones.txt";

// The skeleton header as text with LF line ends, or an empty string.
QString ReadHeader() {
  for (const char* path : {kHeaderFile, kBuiltInHeader}) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) return QTextStream(&file).readAll();
  }
  return QString();
}

QIcon Resource(const QString& name) { return QIcon(":/ZEMBRAGloveConfigTool/Resources/" + name); }

}  // namespace

void ZEMBRAGloveConfigTool::OnStartRecording() {
  if (isRecording_) {
    StopRecording();
  } else {
    StartRecording();
  }
}

void ZEMBRAGloveConfigTool::SetRecordingMenus(bool recording) {
  actionStartRecording_->setText(recording ? "Stop Recording" : "Start Recording");
  actionStartRecording_->setIcon(Resource(recording ? "stop.png" : "play-button.png"));
  for (QAction* action : {actionRun3DDemo_, actionRunVRDemo_, pairMenu_->menuAction(), trackerMenu_->menuAction(),
                          actionResetLatencyTimer_}) {
    action->setEnabled(!recording);
  }
}

void ZEMBRAGloveConfigTool::StartRecording() {
  if (!hands_[0].glovePaired || !hands_[1].glovePaired) {
    ShowConfigMessage("Please connect both hands of data gloves to record data!");
    return;
  }
  isRecording_ = true;
  SetRecordingMenus(true);
  // Nothing of an earlier recording may head this one.
  for (Hand& hand : hands_) {
    hand.recordPrepared = false;
    hand.recordArrived = false;
    hand.frames.clear();
  }
  // Each monitor answers with its prepared report before the call returns;
  // the second report starts both.
  hands_[0].monitor->OnGloveDataRecordReceived(RecordingStatus_Prepare);
  hands_[1].monitor->OnGloveDataRecordReceived(RecordingStatus_Prepare);
}

void ZEMBRAGloveConfigTool::OnRecordingPrepared(Hand& hand) {
  ToolLog(hand.type == Hand_Left ? "GloveStatus_GloveRecordingPrepared: Hand_Left"
                                 : "GloveStatus_GloveRecordingPrepared: Hand_Right");
  hand.recordPrepared = true;
  Hand& left = hands_[0];
  Hand& right = hands_[1];
  if (left.glovePaired && right.glovePaired) {
    if (left.recordPrepared && right.recordPrepared) {
      left.monitor->OnGloveDataRecordReceived(RecordingStatus_Start);
      right.monitor->OnGloveDataRecordReceived(RecordingStatus_Start);
      ShowRecordingLabel();
    }
  } else if (left.glovePaired && left.recordPrepared && hand.type == Hand_Left) {
    left.monitor->OnGloveDataRecordReceived(RecordingStatus_Start);
    ShowRecordingLabel();
  } else if (right.glovePaired && right.recordPrepared && hand.type == Hand_Right) {
    right.monitor->OnGloveDataRecordReceived(RecordingStatus_Start);
    ShowRecordingLabel();
  }
}

void ZEMBRAGloveConfigTool::ShowRecordingLabel() {
  if (recordingLabel_) return;
  recordingLabel_ = new QLabel("Recording...", centralWidget());
  recordingLabel_->setObjectName("recordingLabel");
  QFont font("Arial", 10);
  font.setBold(false);
  recordingLabel_->setFont(font);
  recordingLabel_->setStyleSheet("QLabel { color : red; }");
  verticalLayout_->insertWidget(1, recordingLabel_);
  verticalLayout_->setContentsMargins(0, 10, 0, 0);
}

void ZEMBRAGloveConfigTool::StopRecording() {
  QFileDialog dialog(this, "Save BVH File...", "./record", "Motion Capture (*.bvh);;All Files (*)");
  dialog.setObjectName("saveBvhDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("bvh");
  recordFilePath_.clear();
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    recordFilePath_ = dialog.selectedFiles().first();
  }
  // Cancelled: the recording goes on; the next stop asks again.
  if (recordFilePath_.isEmpty()) return;

  recordResult_.clear();
  recordWritten_ = false;
  // Every monitor that was started is stopped, its glove still delivering
  // or not: a monitor left recording would keep growing its buffer and
  // refuse stop and latency requests for good.
  for (Hand& hand : hands_) {
    if (!hand.recordPrepared) continue;
    ToolLog(hand.type == Hand_Left ? "LH Glove Data Record Stop" : "RH Glove Data Record Stop");
    hand.monitor->OnGloveDataRecordStopReceived();
    hand.recordPrepared = false;
  }
  isRecording_ = false;
  SetRecordingMenus(false);
  if (recordingLabel_) {
    recordingLabel_->deleteLater();
    recordingLabel_ = nullptr;
  }
  verticalLayout_->setContentsMargins(0, 0, 0, 0);

  if (recordWritten_) {
    ShowConfigMessage(QStringLiteral("Recorded BVH file has been saved to %1").arg(recordFilePath_),
                      ConfigMessage_Information);
    return;
  }
  if (recordResult_.isEmpty()) {
    const bool left = hands_[0].recordArrived;
    recordResult_ = QStringLiteral("the %1 hand's frames never arrived").arg(left ? "right" : "left");
  }
  ShowConfigMessage(QStringLiteral("The BVH file was not saved to %1: %2.").arg(recordFilePath_, recordResult_));
  for (Hand& hand : hands_) hand.recordArrived = false;
}

void ZEMBRAGloveConfigTool::OnGloveRecordDataReceived(std::vector<ZEMBRA::Pose> data) {
  ToolLog(QStringLiteral("OnGloveRecordDataReceived : %1").arg(data.size()));
  // The sending monitor names the hand, also for an empty list.
  Hand* hand = nullptr;
  for (Hand& each : hands_) {
    if (sender() && sender() == each.monitor) hand = &each;
  }
  if (!hand && !data.empty()) hand = FindHand(data.front().type);
  if (!hand) return;
  hand->frames = std::move(data);
  hand->recordArrived = true;
  if (hands_[0].recordArrived && hands_[1].recordArrived) {
    WriteRecording();
    hands_[0].recordArrived = hands_[1].recordArrived = false;
  }
}

void ZEMBRAGloveConfigTool::WriteRecording() {
  for (const Hand& hand : hands_) {
    if (hand.frames.empty()) {
      recordResult_ =
          QStringLiteral("no frame of the %1 hand was recorded").arg(hand.type == Hand_Left ? "left" : "right");
      return;
    }
  }
  const QString header = ReadHeader();
  if (header.isEmpty()) {
    recordResult_ = QStringLiteral("the skeleton header %1 was not found").arg(kHeaderFile);
    return;
  }
  const std::string text = ZEMBRA::recording::BuildBvhText(header.toStdString(), hands_[0].frames, hands_[1].frames);
  ToolLog(QStringLiteral("totalFrames %1").arg(std::min(hands_[0].frames.size(), hands_[1].frames.size())));
  const std::string error = ZEMBRA::recording::WriteTextFile(recordFilePath_.toStdString(), text);
  if (!error.empty()) {
    recordResult_ = QString::fromStdString(error);
    return;
  }
  recordWritten_ = true;
}
