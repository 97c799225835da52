// The main window's side of recording: starting both monitors, stopping
// them, and writing both hands' frames to a BVH file.
#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStringList>
#include <QTextStream>
#include <QVBoxLayout>

#include "tool/config_message.h"
#include "tool/glove_monitor.h"
#include "tool/main_window.h"
#include "tool/pairing_dialog.h"
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

// The file for a take, asked as the user stops; empty when cancelled.
QString AskBvhFile(QWidget* parent) {
  QFileDialog dialog(parent, "Save BVH File...", "./record", "Motion Capture (*.bvh);;All Files (*)");
  dialog.setObjectName("saveBvhDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("bvh");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

QString Seconds(int64_t nanoseconds) { return QString::number(double(nanoseconds) / 1e9, 'f', 1); }

// What a hand's silences did to the take, in a sentence each.
QStringList DescribeSilences(const QString& glove, const std::vector<ZEMBRA::recording::Silence>& silences) {
  constexpr size_t kListed = 3;
  QStringList lines;
  for (size_t i = 0; i < silences.size() && i < kListed; ++i) {
    const ZEMBRA::recording::Silence& silence = silences[i];
    if (silence.atEnd && silence.from == 0) {
      lines << QStringLiteral("The %1 delivered nothing during the whole take.").arg(glove);
    } else if (silence.atEnd) {
      lines << QStringLiteral(
                   "The %1 delivered nothing for the last %2 s of the take; its frames there repeat "
                   "its last pose.")
                   .arg(glove, Seconds(silence.length));
    } else {
      lines << QStringLiteral("The %1 delivered nothing for %2 s, from %3 s into the take.")
                   .arg(glove, Seconds(silence.length), Seconds(silence.from));
    }
  }
  if (silences.size() > kListed)
    lines << QStringLiteral("The %1 fell silent %2 more times.").arg(glove).arg(silences.size() - kListed);
  return lines;
}

}  // namespace

void ZEMBRAGloveConfigTool::OnStartRecording() {
  if (isRecording()) {
    StopRecording();
  } else {
    StartRecording();
  }
}

void ZEMBRAGloveConfigTool::StartRecording() {
  if (pairingDialog_ || pairingActive(Hand_Left) || pairingActive(Hand_Right)) {
    ShowConfigMessage("Please finish pairing the glove before recording.");
    return;
  }
  if (demoRunning()) {
    ShowConfigMessage("Please wait for the demo to end before recording.");
    return;
  }
  if (!hands_[0].state.streaming() || !hands_[1].state.streaming()) {
    ShowConfigMessage("Please connect both hands of data gloves to record data!");
    return;
  }
  for (Hand& hand : hands_) {
    hand.state.BeginRecording();
    // Nothing of an earlier recording may head this one.
    hand.recordPrepared = false;
    hand.recordArrived = false;
    hand.frames.clear();
    hand.silences.clear();
  }
  SetRecordingMenus(true);
  for (Hand& hand : hands_) Show(hand);
  // Each monitor answers with its prepared report before the call returns;
  // the second report starts both.
  hands_[0].monitor->OnGloveDataRecordReceived(RecordingStatus_Prepare);
  hands_[1].monitor->OnGloveDataRecordReceived(RecordingStatus_Prepare);
}

void ZEMBRAGloveConfigTool::OnRecordingPrepared(Hand& hand) {
  ToolLog(hand.type == Hand_Left ? "GloveStatus_GloveRecordingPrepared: Hand_Left"
                                 : "GloveStatus_GloveRecordingPrepared: Hand_Right");
  if (!isRecording()) return;
  hand.recordPrepared = true;
  Hand& left = hands_[0];
  Hand& right = hands_[1];
  const bool leftPaired = left.state.streaming();
  const bool rightPaired = right.state.streaming();
  if (leftPaired && rightPaired) {
    if (left.recordPrepared && right.recordPrepared) {
      left.monitor->OnGloveDataRecordReceived(RecordingStatus_Start);
      right.monitor->OnGloveDataRecordReceived(RecordingStatus_Start);
      ShowRecordingLabel();
    }
  } else if (leftPaired && left.recordPrepared && hand.type == Hand_Left) {
    left.monitor->OnGloveDataRecordReceived(RecordingStatus_Start);
    ShowRecordingLabel();
  } else if (rightPaired && right.recordPrepared && hand.type == Hand_Right) {
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

void ZEMBRAGloveConfigTool::EndRecording() {
  for (Hand& hand : hands_) hand.state.EndRecording();
  SetRecordingMenus(false);
  if (recordingLabel_) {
    recordingLabel_->deleteLater();
    recordingLabel_ = nullptr;
  }
  verticalLayout_->setContentsMargins(0, 0, 0, 0);
  for (Hand& hand : hands_) Show(hand);
}

bool ZEMBRAGloveConfigTool::StopRecording() {
  // The take ends when the user pressed Stop, not when they have found a
  // name for it; until then the monitors record on, so that a cancelled
  // dialog leaves no gap.
  const int64_t stop = ZEMBRA::recording::SteadyNanoseconds();
  for (Hand& hand : hands_) hand.monitor->MarkRecordingStop(stop);
  recordFilePath_ = AskBvhFile(this);
  // Cancelled: the recording goes on; the next stop asks again.
  if (recordFilePath_.isEmpty()) {
    for (Hand& hand : hands_) hand.monitor->ClearRecordingStop();
    return false;
  }

  recordResult_.clear();
  recordWritten_ = false;
  // Every monitor that was started is stopped, its glove still delivering
  // or not: a monitor left recording would keep growing its buffer and
  // refuse stop and latency requests for good.
  for (Hand& hand : hands_) {
    if (!hand.recordPrepared) continue;
    ToolLog(hand.type == Hand_Left ? "LH Glove Data Record Stop" : "RH Glove Data Record Stop");
    hand.monitor->StopRecording(stop);
    hand.silences = hand.monitor->recordingSilences();
    hand.recordPrepared = false;
  }
  EndRecording();

  // A file that could not be written keeps the take: the user chooses
  // another file, or discards it on purpose.
  for (;;) {
    if (recordWritten_) {
      const QString report = SilenceReport();
      QString message = QStringLiteral("Recorded BVH file has been saved to %1").arg(recordFilePath_);
      if (!report.isEmpty()) message += "\n\n" + report;
      ShowConfigMessage(message, report.isEmpty() ? ConfigMessage_Information : ConfigMessage_Warning);
      break;
    }
    if (recordResult_.isEmpty()) {
      const bool left = hands_[0].recordArrived;
      recordResult_ = QStringLiteral("the %1 hand's frames never arrived").arg(left ? "right" : "left");
    }
    const QString failure = QStringLiteral("The BVH file was not saved to %1: %2.").arg(recordFilePath_, recordResult_);
    if (!recordFixable_) {
      ShowConfigMessage(failure);
      break;
    }
    const int answer =
        AskConfigMessage(failure, {{QMessageBox::Save, "Choose Another File"}, {QMessageBox::Discard, "Discard"}},
                         QMessageBox::Save, ConfigMessage_Critical);
    if (answer == QMessageBox::Discard) break;
    const QString path = AskBvhFile(this);
    if (path.isEmpty()) continue;  // back to the choice: nothing is lost by a cancel
    recordFilePath_ = path;
    WriteRecording();
  }
  for (Hand& hand : hands_) {
    hand.recordArrived = false;
    hand.frames.clear();
  }
  return true;
}

void ZEMBRAGloveConfigTool::DiscardRecording() {
  recordFilePath_.clear();
  const int64_t now = ZEMBRA::recording::SteadyNanoseconds();
  for (Hand& hand : hands_) {
    if (!hand.recordPrepared) continue;
    hand.monitor->StopRecording(now);
    hand.recordPrepared = false;
  }
  EndRecording();
  for (Hand& hand : hands_) {
    hand.recordArrived = false;
    hand.frames.clear();
    hand.silences.clear();
  }
}

QString ZEMBRAGloveConfigTool::SilenceReport() const {
  QStringList lines;
  for (const Hand& hand : hands_)
    lines << DescribeSilences(hand.type == Hand_Left ? "left glove" : "right glove", hand.silences);
  return lines.join("\n");
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
  if (hands_[0].recordArrived && hands_[1].recordArrived) WriteRecording();
}

void ZEMBRAGloveConfigTool::WriteRecording() {
  recordFixable_ = false;
  // Frames of a discarded take have nowhere to go.
  if (recordFilePath_.isEmpty()) return;
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
    // Another file may well work.
    recordFixable_ = true;
    return;
  }
  recordWritten_ = true;
}
