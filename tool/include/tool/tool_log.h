// The tool's diagnostic log: plain lines on the Qt debug log, the texts
// exactly as given, without the quotes Qt's stream adds to strings.
#pragma once

#include <QDebug>
#include <QString>

inline void ToolLog(const QString& text) { qDebug().noquote() << text; }
