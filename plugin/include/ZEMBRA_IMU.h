/** @file
 * C interface of the game-engine plug-in ZEMBRA_IMU: one handle per glove.
 *
 * The engine loads the library, makes a handle per glove with
 * InitDataGlove, registers its two callbacks, opens the glove's receiver
 * with OpenPort, starts streaming, and at the end frees the handle with
 * ClosePort:
 *
 *   ZembraImuHandle* glove = InitDataGlove(false, 0);
 *   RegisterDataCallback(myContext, glove, OnPose);
 *   RegisterEventCallback(glove, OnEvent);
 *   if (OpenPort(glove, 0, 1)) StartStreaming(glove);   // receiver "LH0"
 *   ...
 *   ClosePort(glove);                                   // glove is gone
 *
 * Hand codes: 1 left, 0 right. Joints arrive in the plug-in order: 0 wrist,
 * 1-3 thumb, 4-6 index, 7-9 middle, 10-12 ring, 13-15 pinky, each finger
 * proximal to distal, each joint (x, y, z, w), w last.
 *
 * Threads. Every function runs on the caller's thread (the engine's). The
 * callbacks run on the plug-in's serial thread, one at a time per handle;
 * they must return quickly and must not call ClosePort on their handle
 * (it waits for that thread). Settings may change at any moment and take
 * effect with the next packet.
 *
 * No C++ exception ever leaves a function. A null handle is ignored
 * (functions with a result then return false, or -1). */
#ifndef ZEMBRA_IMU_H
#define ZEMBRA_IMU_H

#include <stdbool.h>

#if defined(_WIN32)
#if defined(ZEMBRA_IMU_EXPORTS)
#define ZEMBRA_IMU_API __declspec(dllexport)
#else
#define ZEMBRA_IMU_API __declspec(dllimport)
#endif
#define ZEMBRA_IMU_CALL __cdecl
#else
#define ZEMBRA_IMU_API __attribute__((visibility("default")))
#define ZEMBRA_IMU_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** One glove: opaque, made by InitDataGlove, freed by ClosePort. */
typedef struct ZembraImuHandle ZembraImuHandle;

/** A pose. context: as given to RegisterDataCallback. joints: the 16
 * rotations, valid during the call only. packetsPerSecond: good packets of
 * the last complete second. statusByte, statusTable (6 ints), statusValue:
 * the glove's last status fields, 0 until it sent them. hand: the hand code
 * given to OpenPort. radioChannel: the channel the link was last set to.
 * Serial thread. */
typedef void(ZEMBRA_IMU_CALL* ZembraImuDataCallback)(void* context, const float joints[16][4], int packetsPerSecond,
                                                     int statusByte, const int* statusTable, float statusValue,
                                                     int hand, int radioChannel);
/** A link event: 2 connected (packets arrive), 3 disconnected (a second
 * without packets, or the port failed), 11 channel hopped (a weak second:
 * the link moved to another quiet channel). Serial thread. */
typedef void(ZEMBRA_IMU_CALL* ZembraImuEventCallback)(void* context, int eventCode);

/** A new glove handle with the pose engine's settings. advancedMode: measured
 * finger spreads instead of a fixed fan. hardwareVersion: 0 or 1 (or 2) for
 * the glove's sensor frame. Null only when memory runs out. */
ZEMBRA_IMU_API ZembraImuHandle* ZEMBRA_IMU_CALL InitDataGlove(bool advancedMode, int hardwareVersion);

/** Sets the pose callback and the context both callbacks receive. Before
 * StartStreaming; a null callback receives nothing. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL RegisterDataCallback(void* context, ZembraImuHandle* handle,
                                                         ZembraImuDataCallback callback);

/** Sets the event callback. Before StartStreaming. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL RegisterEventCallback(ZembraImuHandle* handle, ZembraImuEventCallback callback);

/** Finds the hand's receiver (tag "LH" or "RH" followed by receiverIndex
 * when that is 15 or less), opens it at 1000000 baud, waits for its channel
 * report (at most 10 s) and puts the link on a random quiet channel for the
 * hand. hand: 1 left, 0 right. False when the hand code is neither, no
 * receiver matches (then OpenPort may be called again), or opening or the
 * report failed (then only ClosePort and a new handle help). */
ZEMBRA_IMU_API bool ZEMBRA_IMU_CALL OpenPort(ZembraImuHandle* handle, int receiverIndex, int hand);

/** Starts the serial thread (reads, poses, callbacks) and the timer thread,
 * and returns at once. Once, after a successful OpenPort; a second call does
 * nothing. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL StartStreaming(ZembraImuHandle* handle);

/** Stops streaming, closes the port, joins the plug-in's threads (also any
 * vibration still running) and frees the handle, which is invalid afterwards
 * in every case. True when the port is closed; false when none was ever
 * opened. Never from a callback. */
ZEMBRA_IMU_API bool ZEMBRA_IMU_CALL ClosePort(ZembraImuHandle* handle);

/** Asks the glove to store its calibration. Nothing is reported. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL OnSaveCalibration(ZembraImuHandle* handle);

/** Does nothing: pose alignment has no meaning in the plug-in. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL OnOkPoseAlignment(ZembraImuHandle* handle);

/** In advanced mode, turns each long finger's alignment so that its present
 * sideways spread becomes straight; in basic mode does nothing. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL OnCloseFingerAlignment(ZembraImuHandle* handle);

/** Vibrates the glove for milliseconds (0 or less: not at all) on a worker
 * of its own; returns at once. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL VibratePeriod(ZembraImuHandle* handle, int milliseconds);

/** Moves the link to a random quiet channel for the hand. Result as
 * ChannelHoppingSpecific's. */
ZEMBRA_IMU_API int ZEMBRA_IMU_CALL ChannelHopping(ZembraImuHandle* handle);

/** Moves the link to channel (0 to 100), or to a random quiet one above 100.
 * 1 when the channel byte was written, 0 when the write failed, -1 when no
 * port was ever opened. */
ZEMBRA_IMU_API int ZEMBRA_IMU_CALL ChannelHoppingSpecific(ZembraImuHandle* handle, int channel);

/** Switches advanced mode (see InitDataGlove). */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetAdvancedMode(ZembraImuHandle* handle, bool enabled);

/** Sets the glove's hardware version (see InitDataGlove). */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetHardwareVersion(ZembraImuHandle* handle, int version);

/** The thumb's proximal joint turns by this offset, Euler angles x, y, z in
 * degrees (default 0, 0, -24). */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetProximalThumbOffset(ZembraImuHandle* handle, double x, double y, double z);
/** The thumb's intermediate joint turns by this offset, Euler angles x, y, z
 * in degrees (default 0, 0, -12). */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetIntermediateThumbOffset(ZembraImuHandle* handle, double x, double y, double z);
/** The thumb's distal joint turns by this offset, Euler angles x, y, z in
 * degrees (default 0, 8, -8). */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetDistalThumbOffset(ZembraImuHandle* handle, double x, double y, double z);

/** Where the thumb's proximal (first) and intermediate (second) joints lie
 * on the arc from the thumb's rest rotation to its sensor, before the
 * thumb's bend moves them. */
ZEMBRA_IMU_API void ZEMBRA_IMU_CALL SetThumbSlerpRate(ZembraImuHandle* handle, double first, double second);

#ifdef __cplusplus
}
#endif

#endif
