// One glove through the plug-in, safely: ZembraGlove owns the plug-in's
// handle, copies each pose out of the callback into a latest-pose slot, and
// counts packets and link events.
//
//   using (var glove = new ZembraGlove())
//   {
//       if (glove.Open(0, ZembraHand.Left))   // receiver "LH0"; blocks up to 10 s
//       {
//           glove.StartStreaming();
//           var joints = new float[ZembraGlove.JointFloats];
//           long sequence;
//           if (glove.TryGetLatestPose(joints, out sequence)) { ... }
//       }
//   }                                         // ClosePort: no callback after this
//
// Joints are in the plug-in's order: 0 wrist, 1-3 thumb, 4-6 index, 7-9
// middle, 10-12 ring, 13-15 little finger, each proximal to distal; joint j
// is joints[4j..4j+3] = x, y, z, w.
//
// Threads: the callbacks run on the plug-in's serial thread and touch only
// the glove's Sink (the slot and the counters), never Unity. Every reader
// (TryGetLatestPose, the counters, the link state) may run on any thread at
// any time. The calls that reach the plug-in (Open, StartStreaming, the
// commands, Dispose) run one at a time per glove; Dispose may also come
// while another thread is inside one of them (a slow Open, say): the handle
// is then closed when that call returns. Nothing here may be called from
// the plug-in's callbacks.
//
// Lifetime: the callbacks are static methods held by static delegates, so
// they outlive every handle (and IL2CPP, which cannot hand instance
// delegates to native code, accepts them). They find the glove's Sink
// through the context pointer, a GCHandle that keeps the Sink, and only the
// Sink, alive until ClosePort has returned; after ClosePort the plug-in
// calls nothing. So a glove that is never disposed is closed by its
// finaliser and no callback reaches a collected object.
using System;
using System.Runtime.InteropServices;
using System.Threading;

namespace Zembra.Imu
{
    // The plug-in's hand codes.
    public enum ZembraHand
    {
        Right = 0,
        Left = 1,
    }

    // What the link last said.
    public enum ZembraLinkState
    {
        Closed,      // no receiver opened, or the glove is disposed
        Opened,      // the receiver is open; no link event yet
        Connected,   // event 2: packets arrive
        Lost,        // event 3: a second without packets, or the port failed
    }

    public sealed class ZembraGlove : IDisposable
    {
        public const int JointCount = ZembraImuNative.JointCount;
        public const int JointFloats = ZembraImuNative.JointFloats;

        static readonly ZembraImuNative.DataCallback DataThunk = OnData;
        static readonly ZembraImuNative.EventCallback EventThunk = OnEvent;

        readonly GloveHandle handle;
        readonly Sink sink;
        int hand = -1;

        // A glove handle with the pose engine's settings: advancedMode measures
        // the finger spreads instead of a fixed fan; hardwareVersion 0 or 1
        // (or 2) names the glove's sensor frame.
        public ZembraGlove(bool advancedMode = false, int hardwareVersion = 0)
        {
            sink = new Sink();
            IntPtr native = ZembraImuNative.InitDataGlove(advancedMode, hardwareVersion);
            if (native == IntPtr.Zero) throw new OutOfMemoryException("the plug-in could not make a glove handle");
            GCHandle context = GCHandle.Alloc(sink);
            handle = new GloveHandle(native, context);
            Interlocked.Increment(ref live);
            ZembraImuNative.RegisterDataCallback(GCHandle.ToIntPtr(context), native, DataThunk);
            ZembraImuNative.RegisterEventCallback(native, EventThunk);
        }

        // Finds the hand's receiver (tag "LH"/"RH" and receiverIndex when it is
        // 15 or less), opens it and sets the radio channel. Blocks until the
        // receiver's channel report arrives (at most 10 s): call it off the
        // game's main thread. False when no receiver matches (Open may be
        // tried again) or opening failed (then dispose and make a new glove).
        public bool Open(int receiverIndex, ZembraHand hand)
        {
            bool opened = false;
            Call(h => opened = ZembraImuNative.OpenPort(h, receiverIndex, (int)hand));
            this.hand = (int)hand;
            if (opened) sink.MarkOpened();
            return opened;
        }

        // Starts the plug-in's threads; poses and events follow. Once, after a
        // successful Open.
        public void StartStreaming() { Call(h => ZembraImuNative.StartStreaming(h)); }

        // Closes the port, joins the plug-in's threads and frees the handle.
        // True when a port was open and is closed now.
        public bool Close()
        {
            handle.Dispose();
            return handle.ClosedPort;
        }

        public void Dispose() { Close(); }

        public bool IsDisposed { get { return handle.IsClosed; } }

        // The hand given to Open, or null before.
        public ZembraHand? Hand { get { return hand < 0 ? (ZembraHand?)null : (ZembraHand)hand; } }

        // The newest pose, copied into joints (at least JointFloats long), and
        // its number (1 for the first pose, counting up). False, leaving joints
        // as they are, before the first pose.
        public bool TryGetLatestPose(float[] joints, out long sequence)
        {
            if (joints == null) throw new ArgumentNullException("joints");
            if (joints.Length < JointFloats) throw new ArgumentException("joints needs " + JointFloats + " floats");
            return sink.Latest.TryRead(joints, out sequence);
        }

        // Poses received so far (one per accepted packet).
        public long PacketCount { get { return Interlocked.Read(ref sink.Packets); } }
        // The plug-in's count of good packets in its last complete second.
        public int PacketsPerSecond { get { return Volatile.Read(ref sink.PerSecond); } }
        // The radio channel the link was last set to.
        public int RadioChannel { get { return Volatile.Read(ref sink.Channel); } }
        public ZembraLinkState LinkState
        {
            get { return handle.IsClosed ? ZembraLinkState.Closed : (ZembraLinkState)Volatile.Read(ref sink.State); }
        }
        // Link events received so far with this code (2, 3 or 11), and of
        // all codes.
        public long EventCount(int code) { return sink.CountOf(code); }
        public long EventTotal { get { return Interlocked.Read(ref sink.Events); } }
        // Poses or events delivered after the handle was closed: always 0
        // unless the plug-in broke its word. For tests and diagnostics.
        public static long LateCallbacks { get { return Interlocked.Read(ref Sink.Late); } }
        // Handles made and not yet closed, in the whole program.
        public static int LiveHandles { get { return Volatile.Read(ref live); } }
        static int live;

        // Commands and settings: each forwards to the export of the same
        // meaning and takes effect with the next packet.
        public void SaveCalibration() { Call(h => ZembraImuNative.OnSaveCalibration(h)); }
        public void OkPoseAlignment() { Call(h => ZembraImuNative.OnOkPoseAlignment(h)); }
        public void CloseFingerAlignment() { Call(h => ZembraImuNative.OnCloseFingerAlignment(h)); }
        public void Vibrate(int milliseconds) { Call(h => ZembraImuNative.VibratePeriod(h, milliseconds)); }
        // 1 written, 0 the write failed, -1 no port was ever opened.
        public int ChannelHopping()
        {
            int result = -1;
            Call(h => result = ZembraImuNative.ChannelHopping(h));
            return result;
        }
        public int ChannelHoppingSpecific(int channel)
        {
            int result = -1;
            Call(h => result = ZembraImuNative.ChannelHoppingSpecific(h, channel));
            return result;
        }
        public void SetAdvancedMode(bool enabled) { Call(h => ZembraImuNative.SetAdvancedMode(h, enabled)); }
        public void SetHardwareVersion(int version) { Call(h => ZembraImuNative.SetHardwareVersion(h, version)); }
        public void SetProximalThumbOffset(double x, double y, double z)
        {
            Call(h => ZembraImuNative.SetProximalThumbOffset(h, x, y, z));
        }
        public void SetIntermediateThumbOffset(double x, double y, double z)
        {
            Call(h => ZembraImuNative.SetIntermediateThumbOffset(h, x, y, z));
        }
        public void SetDistalThumbOffset(double x, double y, double z)
        {
            Call(h => ZembraImuNative.SetDistalThumbOffset(h, x, y, z));
        }
        public void SetThumbSlerpRate(double first, double second)
        {
            Call(h => ZembraImuNative.SetThumbSlerpRate(h, first, second));
        }

        // Runs body with the native handle, held so that a Dispose on another
        // thread closes it only after body returns. Throws
        // ObjectDisposedException once the glove is disposed.
        void Call(Action<IntPtr> body)
        {
            bool added = false;
            try
            {
                handle.DangerousAddRef(ref added);
                body(handle.DangerousGetHandle());
            }
            finally
            {
                if (added) handle.DangerousRelease();
            }
        }

#if UNITY_5_3_OR_NEWER
        [AOT.MonoPInvokeCallback(typeof(ZembraImuNative.DataCallback))]
#endif
        static void OnData(IntPtr context, IntPtr joints, int packetsPerSecond, int statusByte, IntPtr statusTable,
                           float statusValue, int hand, int radioChannel)
        {
            // Nothing may escape into the plug-in's thread.
            try
            {
                Sink sink = Sink.From(context);
                if (sink == null) return;
                sink.Latest.Write(joints);
                Volatile.Write(ref sink.PerSecond, packetsPerSecond);
                Volatile.Write(ref sink.Channel, radioChannel);
                Interlocked.Increment(ref sink.Packets);
            }
            catch (Exception)
            {
            }
        }

#if UNITY_5_3_OR_NEWER
        [AOT.MonoPInvokeCallback(typeof(ZembraImuNative.EventCallback))]
#endif
        static void OnEvent(IntPtr context, int eventCode)
        {
            try
            {
                Sink sink = Sink.From(context);
                if (sink == null) return;
                sink.Count(eventCode);
            }
            catch (Exception)
            {
            }
        }

        // What the callbacks write: kept alive by the context GCHandle alone,
        // and holding nothing of the glove, so that an abandoned glove can be
        // collected and finalised while its Sink still takes callbacks.
        sealed class Sink
        {
            public static long Late;

            public readonly PoseSlot Latest = new PoseSlot(JointFloats);
            public long Packets;
            public long Events;
            public int PerSecond;
            public int Channel;
            public int State = (int)ZembraLinkState.Closed;
            public volatile bool Released;
            long connected, lost, hopped, other;

            public static Sink From(IntPtr context)
            {
                if (context == IntPtr.Zero) return null;
                var sink = GCHandle.FromIntPtr(context).Target as Sink;
                if (sink != null && sink.Released)
                {
                    Interlocked.Increment(ref Late);
                    return null;
                }
                return sink;
            }

            public void MarkOpened()
            {
                Interlocked.CompareExchange(ref State, (int)ZembraLinkState.Opened, (int)ZembraLinkState.Closed);
            }

            public void Count(int code)
            {
                Interlocked.Increment(ref Events);
                switch (code)
                {
                    case ZembraImuNative.EventConnected:
                        Interlocked.Increment(ref connected);
                        Volatile.Write(ref State, (int)ZembraLinkState.Connected);
                        break;
                    case ZembraImuNative.EventDisconnected:
                        Interlocked.Increment(ref lost);
                        Volatile.Write(ref State, (int)ZembraLinkState.Lost);
                        break;
                    case ZembraImuNative.EventChannelHopped:
                        Interlocked.Increment(ref hopped);
                        break;
                    default:
                        Interlocked.Increment(ref other);
                        break;
                }
            }

            public long CountOf(int code)
            {
                switch (code)
                {
                    case ZembraImuNative.EventConnected: return Interlocked.Read(ref connected);
                    case ZembraImuNative.EventDisconnected: return Interlocked.Read(ref lost);
                    case ZembraImuNative.EventChannelHopped: return Interlocked.Read(ref hopped);
                    default: return Interlocked.Read(ref other);
                }
            }
        }

        // The plug-in's handle. ReleaseHandle runs once, when the glove is
        // disposed or finalised and no call holds the handle: ClosePort first
        // (after it no callback runs), then the Sink's GCHandle is freed.
        sealed class GloveHandle : SafeHandle
        {
            GCHandle context;
            volatile bool closedPort;

            public GloveHandle(IntPtr native, GCHandle context) : base(IntPtr.Zero, true)
            {
                this.context = context;
                SetHandle(native);
            }

            public override bool IsInvalid { get { return handle == IntPtr.Zero; } }

            public bool ClosedPort { get { return closedPort; } }

            protected override bool ReleaseHandle()
            {
                closedPort = ZembraImuNative.ClosePort(handle);
                var sink = context.Target as Sink;
                if (sink != null)
                {
                    sink.Released = true;
                    Volatile.Write(ref sink.State, (int)ZembraLinkState.Closed);
                }
                context.Free();
                Interlocked.Decrement(ref live);
                // A ClosePort that found no port is not a failure to release.
                return true;
            }
        }
    }
}
