// ZEMBRAGloveConfigTool: the configuration tool's program entry.
#include <QApplication>

#include "tool/glove_status.h"
#include "tool/main_window.h"

int main(int argc, char* argv[]) {
  InitToolResources();
  int exitCode = 0;
  {
    QApplication app(argc, argv);
    auto* window = new ZEMBRAGloveConfigTool;
    window->setFixedSize(270, 160);
    window->show();
    exitCode = app.exec();
    delete window;  // before the application, as the monitors' threads need it
  }
  CleanupToolResources();
  return exitCode;
}
