// The tool's one styled message box, used for every message to the user.
#pragma once

#include <QString>

enum ConfigMessageKind : int {
  ConfigMessage_Information = 1,
  ConfigMessage_Critical = 3,
};

// Shows the message modally, in the window's dark colours, and returns when
// the user has pressed Ok.
void ShowConfigMessage(const QString& message, int kind = ConfigMessage_Critical);
