// The tool's one styled message box, used for every message to the user,
// and the same box asking a question.
#pragma once

#include <QMessageBox>
#include <QString>
#include <vector>

enum ConfigMessageKind : int {
  ConfigMessage_Information = 1,
  ConfigMessage_Warning = 2,
  ConfigMessage_Critical = 3,
};

// Shows the message modally, in the window's dark colours, and returns when
// the user has pressed Ok.
void ShowConfigMessage(const QString& message, int kind = ConfigMessage_Critical);

// One answer of a question: its button, and the text on it.
struct ConfigChoice {
  QMessageBox::StandardButton button;
  QString text;
};

// Asks modally and returns the button pressed; escape is what Escape and
// the window system's close answer.
int AskConfigMessage(const QString& message, const std::vector<ConfigChoice>& choices,
                     QMessageBox::StandardButton escape, int kind = ConfigMessage_Warning);
