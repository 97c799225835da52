/* C interface of the game-engine plug-in ZEMBRA_IMU: one handle per glove.
 *
 * Hand codes: 1 left, 0 right. Joints arrive in the plug-in order: 0 wrist,
 * 1-3 thumb, 4-6 index, 7-9 middle, 10-12 ring, 13-15 pinky, each finger
 * proximal to distal, as (x, y, z, w). Callbacks run on the plug-in's serial
 * thread and must not call ClosePort. No exception ever leaves a function. */
#ifndef ZEMBRA_IMU_H
#define ZEMBRA_IMU_H

#include <stdbool.h>

#if defined(_WIN32)
#define ZEMBRA_IMU_API __declspec(dllexport)
#define ZEMBRA_IMU_CALL __cdecl
#else
#define ZEMBRA_IMU_API __attribute__((visibility("default")))
#define ZEMBRA_IMU_CALL
#endif

#ifdef __cplusplus
namespace ZEMBRA_IMU {
class SerialPort;
}
typedef ZEMBRA_IMU::SerialPort ZembraImuHandle;
extern "C" {
#else
typedef struct ZembraImuHandle ZembraImuHandle;
#endif

typedef void(ZEMBRA_IMU_CALL* ZembraImuDataCallback)(void* context, const float joints[16][4], int packetsPerSecond,
                                                     int statusByte, const int* statusTable, float statusValue,
                                                     int hand, int radioChannel);
/* eventCode: 2 connected, 3 disconnected, 11 channel hopped. */
typedef void(ZEMBRA_IMU_CALL* ZembraImuEventCallback)(void* context, int eventCode);

ZEMBRA_IMU_API ZembraImuHandle* ZEMBRA_IMU_CALL InitDataGlove(bool advancedMode, int hardwareVersion);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL RegisterDataCallback(void* context, ZembraImuHandle* handle,
                                                         ZembraImuDataCallback callback);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL RegisterEventCallback(ZembraImuHandle* handle, ZembraImuEventCallback callback);
/* Blocks until the receiver's channel report has arrived (bounded wait). */
ZEMBRA_IMU_API bool ZEMBRA_IMU_CALL OpenPort(ZembraImuHandle* handle, int receiverIndex, int hand);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL StartStreaming(ZembraImuHandle* handle);
/* Frees the handle in every case. */
ZEMBRA_IMU_API bool ZEMBRA_IMU_CALL ClosePort(ZembraImuHandle* handle);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL OnSaveCalibration(ZembraImuHandle* handle);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL OnOkPoseAlignment(ZembraImuHandle* handle);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL OnCloseFingerAlignment(ZembraImuHandle* handle);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL VibratePeriod(ZembraImuHandle* handle, int milliseconds);
ZEMBRA_IMU_API int ZEMBRA_IMU_CALL ChannelHopping(ZembraImuHandle* handle);
ZEMBRA_IMU_API int ZEMBRA_IMU_CALL ChannelHoppingSpecific(ZembraImuHandle* handle, int channel);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetAdvancedMode(ZembraImuHandle* handle, bool enabled);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetHardwareVersion(ZembraImuHandle* handle, int version);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetProximalThumbOffset(ZembraImuHandle* handle, double x, double y, double z);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetIntermediateThumbOffset(ZembraImuHandle* handle, double x, double y, double z);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetDistalThumbOffset(ZembraImuHandle* handle, double x, double y, double z);
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetThumbSlerpRate(ZembraImuHandle* handle, double first, double second);

#ifdef __cplusplus
}
#endif

#endif
