#include "tool/config_message.h"

#include <QFont>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

void ShowConfigMessage(const QString& message, int kind) {
  QMessageBox box;
  // The main window's flags, kept above it.
  box.setWindowFlags(Qt::WindowFlags(0x4C801));
  box.setStyleSheet(
      "QMessageBox {background-color:#1B2124;} QMessageBox QLabel {color: #b0aaaa} QMessageBox QPushButton "
      "{background-color: #3c3c3c; color: #b0aaaa}");
  QFont font = box.font();
  font.setFamily("Arial");
  box.setFont(font);
  box.setIcon(kind == ConfigMessage_Information ? QMessageBox::Information : QMessageBox::Critical);
  box.setText("<strong>[CONFIG INFO]:</strong>");
  box.setInformativeText(message);
  box.setStandardButtons(QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    // A spacer row makes the box wide enough for the longer messages.
    grid->addItem(new QSpacerItem(350, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                  grid->columnCount());
    QMargins margins = grid->contentsMargins();
    margins.setTop(30);
    margins.setRight(40);
    grid->setContentsMargins(margins);
  }
  box.exec();
}
