#include "tool/config_message.h"

#include <QFont>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>

namespace {

QMessageBox::Icon IconFor(int kind) {
  switch (kind) {
    case ConfigMessage_Information:
      return QMessageBox::Information;
    case ConfigMessage_Warning:
      return QMessageBox::Warning;
    default:
      return QMessageBox::Critical;
  }
}

// The look every box of the tool shares.
void Style(QMessageBox& box, const QString& message, int kind) {
  // The main window's flags, kept above it.
  box.setWindowFlags(Qt::WindowFlags(0x4C801));
  box.setStyleSheet(
      "QMessageBox {background-color:#1B2124;} QMessageBox QLabel {color: #b0aaaa} QMessageBox QPushButton "
      "{background-color: #3c3c3c; color: #b0aaaa}");
  QFont font = box.font();
  font.setFamily("Arial");
  box.setFont(font);
  box.setIcon(IconFor(kind));
  box.setText("<strong>[CONFIG INFO]:</strong>");
  box.setInformativeText(message);
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    // A spacer row makes the box wide enough for the longer messages.
    grid->addItem(new QSpacerItem(350, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                  grid->columnCount());
    QMargins margins = grid->contentsMargins();
    margins.setTop(30);
    margins.setRight(40);
    grid->setContentsMargins(margins);
  }
}

}  // namespace

void ShowConfigMessage(const QString& message, int kind) {
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  Style(box, message, kind);
  box.exec();
}

int AskConfigMessage(const QString& message, const std::vector<ConfigChoice>& choices,
                     QMessageBox::StandardButton escape, int kind) {
  QMessageBox box;
  QMessageBox::StandardButtons buttons;
  for (const ConfigChoice& choice : choices) buttons |= choice.button;
  box.setStandardButtons(buttons);
  for (const ConfigChoice& choice : choices) box.button(choice.button)->setText(choice.text);
  if (!choices.empty()) box.setDefaultButton(choices.front().button);
  box.setEscapeButton(escape);
  Style(box, message, kind);
  const int answer = box.exec();
  // A box closed without its buttons gives no standard button.
  for (const ConfigChoice& choice : choices) {
    if (answer == choice.button) return answer;
  }
  return escape;
}
