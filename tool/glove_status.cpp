#include "tool/glove_status.h"

#include <QtGlobal>

void RegisterToolMetaTypes() {
  qRegisterMetaType<ZEMBRA::HandType>("ZEMBRA::HandType");
  qRegisterMetaType<ZEMBRA::Pose>("ZEMBRA::Pose");
  qRegisterMetaType<std::vector<ZEMBRA::Pose>>("std::vector<ZEMBRA::Pose>");
  qRegisterMetaType<GloveStatusStruct>("GloveStatusStruct");
  qRegisterMetaType<RecordingStatus>("RecordingStatus");
}

// Q_INIT_RESOURCE must be used outside any namespace.
void InitToolResources() { Q_INIT_RESOURCE(tool_resources); }
void CleanupToolResources() { Q_CLEANUP_RESOURCE(tool_resources); }
