// The plug-in's 18 C exports as they are declared in ZEMBRA_IMU.h, for
// callers that want them bare. ZembraGlove wraps them safely; use it unless
// you need something it does not offer.
//
// The markings, and why:
//   - CallingConvention.Cdecl everywhere: the header's ZEMBRA_IMU_CALL is
//     __cdecl on Windows and the platform's C convention elsewhere.
//   - A C bool is one byte. P/Invoke marshals a C# bool as the four-byte
//     Win32 BOOL unless told otherwise, so every bool argument and result is
//     [MarshalAs(UnmanagedType.I1)]: without it a false result can read as
//     true (three garbage bytes above the one the library set).
//   - The handle is an opaque pointer: IntPtr. Zero is "no handle".
//   - Both callback types carry [UnmanagedFunctionPointer(Cdecl)] so that
//     the thunk the runtime makes for a delegate uses the convention the
//     library calls with. A delegate handed to the library must stay
//     reachable for as long as the library may call it (until ClosePort
//     returns): the library's copy of the pointer does not keep it alive.
//   - joints is a float[16][4] that lives only during the call; statusTable
//     points to six ints inside the library. Both arrive as IntPtr and are
//     copied out (Marshal.Copy) before the callback returns.
//
// Threads: every function runs on the caller's thread. The callbacks run on
// the library's serial thread, one at a time per handle, and must not call
// ClosePort on their own handle.
using System;
using System.Runtime.InteropServices;

namespace Zembra.Imu
{
    public static class ZembraImuNative
    {
        // libZEMBRA_IMU.so on Linux, ZEMBRA_IMU.dll on Windows: the runtime
        // adds the platform's prefix and suffix.
        public const string Library = "ZEMBRA_IMU";

        // The plug-in's joints per pose and floats per joint (x, y, z, w).
        public const int JointCount = 16;
        public const int JointFloats = JointCount * 4;
        public const int StatusTableLength = 6;

        // Link event codes (the plug-in's own, not the driver's).
        public const int EventConnected = 2;
        public const int EventDisconnected = 3;
        public const int EventChannelHopped = 11;

        // ChannelHoppingSpecific with a channel above 100 picks a random quiet
        // one, as ChannelHopping does.
        public const int RandomChannel = 101;

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void DataCallback(IntPtr context, IntPtr joints, int packetsPerSecond, int statusByte,
                                          IntPtr statusTable, float statusValue, int hand, int radioChannel);

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        public delegate void EventCallback(IntPtr context, int eventCode);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr InitDataGlove([MarshalAs(UnmanagedType.I1)] bool advancedMode, int hardwareVersion);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void RegisterDataCallback(IntPtr context, IntPtr handle, DataCallback callback);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void RegisterEventCallback(IntPtr handle, EventCallback callback);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool OpenPort(IntPtr handle, int receiverIndex, int hand);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void StartStreaming(IntPtr handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        [return: MarshalAs(UnmanagedType.I1)]
        public static extern bool ClosePort(IntPtr handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void OnSaveCalibration(IntPtr handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void OnOkPoseAlignment(IntPtr handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void OnCloseFingerAlignment(IntPtr handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void VibratePeriod(IntPtr handle, int milliseconds);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ChannelHopping(IntPtr handle);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern int ChannelHoppingSpecific(IntPtr handle, int channel);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetAdvancedMode(IntPtr handle, [MarshalAs(UnmanagedType.I1)] bool enabled);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetHardwareVersion(IntPtr handle, int version);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetProximalThumbOffset(IntPtr handle, double x, double y, double z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetIntermediateThumbOffset(IntPtr handle, double x, double y, double z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetDistalThumbOffset(IntPtr handle, double x, double y, double z);

        [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
        public static extern void SetThumbSlerpRate(IntPtr handle, double first, double second);
    }
}
