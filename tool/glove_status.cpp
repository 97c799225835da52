#include "tool/glove_status.h"

void RegisterToolMetaTypes() {
  qRegisterMetaType<ZEMBRA::HandType>("ZEMBRA::HandType");
  qRegisterMetaType<ZEMBRA::Pose>("ZEMBRA::Pose");
  qRegisterMetaType<std::vector<ZEMBRA::Pose>>("std::vector<ZEMBRA::Pose>");
  qRegisterMetaType<GloveStatusStruct>("GloveStatusStruct");
  qRegisterMetaType<RecordingStatus>("RecordingStatus");
}
