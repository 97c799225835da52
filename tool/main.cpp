// ZEMBRAGloveConfigTool: the configuration tool's program entry.
#include <QApplication>

#include "tool/main_window.h"

int main(int argc, char* argv[]) {
  Q_INIT_RESOURCE(tool_resources);
  int exitCode = 0;
  {
    QApplication app(argc, argv);
    auto* window = new ZEMBRAGloveConfigTool;
    window->setFixedSize(270, 160);
    window->show();
    exitCode = app.exec();
    delete window;  // before the application, as the monitors' threads need it
  }
  Q_CLEANUP_RESOURCE(tool_resources);
  return exitCode;
}
