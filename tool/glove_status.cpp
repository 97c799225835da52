#include "tool/glove_status.h"

#include <QtGlobal>

const char* GloveEventText(int32_t eventType) {
  switch (eventType) {
    case ZEMBRA::IMUEvent_LowBattery:
      return "Low Battery!";
    case ZEMBRA::IMUEvent_BatteryFull:
      return "Battery Full!";
    case ZEMBRA::IMUEvent_Paired:
      return "Data Glove Paired!";
    case ZEMBRA::IMUEvent_MagneticAbnormal:
      return "Magnetic Abnormal Detected!";
    default:
      return nullptr;
  }
}

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
