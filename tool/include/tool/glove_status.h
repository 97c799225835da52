// What the glove monitors report to the main window, and the recording
// commands the window sends them. Both cross threads as queued Qt signals,
// so they are registered metatypes, as are the driver types they carry.
#pragma once

#include <QMetaType>
#include <cstdint>
#include <vector>

#include "zembra/ZEMBRAIMU.h"

enum GloveStatusCode : int32_t {
  GloveStatus_GlovePortNotFound = 1,
  GloveStatus_GlovePortFound = 2,
  GloveStatus_GloveDataReceived = 4,
  GloveStatus_GlovePortClosedForPairing = 6,
  GloveStatus_GloveRecordingPrepared = 7,
};

// One report of a glove monitor: a GloveStatusCode and the hand (Hand_Left
// or Hand_Right).
struct GloveStatusStruct {
  int32_t code;
  int32_t hand;
};
static_assert(sizeof(GloveStatusStruct) == 8, "GloveStatusStruct is two 32-bit fields");

enum RecordingStatus : int32_t {
  RecordingStatus_Prepare = 1,
  RecordingStatus_Start = 2,
};

Q_DECLARE_METATYPE(ZEMBRA::HandType)
Q_DECLARE_METATYPE(ZEMBRA::Pose)
Q_DECLARE_METATYPE(std::vector<ZEMBRA::Pose>)
Q_DECLARE_METATYPE(GloveStatusStruct)
Q_DECLARE_METATYPE(RecordingStatus)

// What the tool prints for a glove's event (low battery, battery full,
// paired, magnetic abnormality), or null for the others.
const char* GloveEventText(int32_t eventType);

// Registers the types above under the names the signal signatures use.
// Idempotent; call before any worker reports.
void RegisterToolMetaTypes();

// The pictures and the built-in skeleton, compiled into the tool's library:
// registered while a window needs them (counted, so pairs may nest).
void InitToolResources();
void CleanupToolResources();
