// The Unity package's runtime under plain Mono: its declarations against
// the plug-in's exports, its frames against the hand model, and ZembraGlove
// against libZEMBRA_IMU.so and simulated receivers this program starts.
//   mono ZembraGloveTest.exe <zembra-receiver-sim> <ZEMBRA_IMU.map> <hand_model.h>
// Prints one line per check; exits 1 when any failed.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using System.Threading;
using Zembra.Imu;

static class ZembraGloveTest
{
    static int failures;
    static string simulator;

    static void Check(bool ok, string what)
    {
        Console.WriteLine((ok ? "ok   " : "FAIL ") + what);
        if (!ok) ++failures;
    }

    static bool WaitUntil(Func<bool> condition, double seconds)
    {
        var clock = Stopwatch.StartNew();
        while (!condition())
        {
            if (clock.Elapsed.TotalSeconds > seconds) return false;
            Thread.Sleep(20);
        }
        return true;
    }

    static int Main(string[] args)
    {
        simulator = args[0];
        Declarations(File.ReadAllText(args[1]));
        HandModel(File.ReadAllText(args[2]));
        Frames();
        SlotUnderConcurrency();
        MissingReceiversAndBoolResults();
        BothHandsStream();
        AbandonedGloveIsClosedByItsFinaliser();
        LinkEvents();
        Console.WriteLine(failures == 0 ? "all checks passed" : failures + " checks failed");
        return failures == 0 ? 0 : 1;
    }

    // Every export once, by its C name; the C calling convention; one-byte
    // bools (the trap: the default marshals a four-byte BOOL).
    static void Declarations(string map)
    {
        var exports = new HashSet<string>(Regex.Matches(map.Split(new[] { "local:" }, 2, StringSplitOptions.None)[0],
                                                        @"(\w+);").Cast<Match>().Select(m => m.Groups[1].Value));
        var methods = typeof(ZembraImuNative).GetMethods(BindingFlags.Public | BindingFlags.Static)
                          .Where(m => m.GetCustomAttributes(typeof(DllImportAttribute), false).Length > 0).ToList();
        Check(exports.Count == 18 && exports.SetEquals(methods.Select(m => m.Name)),
              "the 18 exports of the library's map, each declared once");
        foreach (MethodInfo m in methods)
        {
            var import = (DllImportAttribute)m.GetCustomAttributes(typeof(DllImportAttribute), false)[0];
            bool ok = import.CallingConvention == CallingConvention.Cdecl && import.Value == "ZEMBRA_IMU";
            var bools = m.GetParameters().Where(p => p.ParameterType == typeof(bool)).Cast<ICustomAttributeProvider>();
            if (m.ReturnType == typeof(bool)) bools = bools.Concat(new[] { m.ReturnParameter });
            foreach (ICustomAttributeProvider p in bools)
            {
                var marshal = p.GetCustomAttributes(typeof(MarshalAsAttribute), false);
                ok &= marshal.Length == 1 && ((MarshalAsAttribute)marshal[0]).Value == UnmanagedType.I1;
            }
            if (!ok) Check(false, m.Name + ": Cdecl from ZEMBRA_IMU, one-byte bools");
        }
        foreach (Type d in new[] { typeof(ZembraImuNative.DataCallback), typeof(ZembraImuNative.EventCallback) })
        {
            var f = d.GetCustomAttributes(typeof(UnmanagedFunctionPointerAttribute), false);
            Check(f.Length == 1 && ((UnmanagedFunctionPointerAttribute)f[0]).CallingConvention == CallingConvention.Cdecl,
                  d.Name + " is an unmanaged Cdecl function pointer");
        }
    }

    static void HandModel(string header)
    {
        foreach (ZembraHand hand in new[] { ZembraHand.Left, ZembraHand.Right })
        {
            Match m = Regex.Match(header, "k" + hand + @"ThumbReference = \{([^}]*)\}");
            float[] c = m.Groups[1].Value.Split(',').Select(t => float.Parse(t.Trim().TrimEnd('f'),
                                                                               CultureInfo.InvariantCulture)).ToArray();
            ZembraQuat r = ZembraHandFrames.ThumbReference(hand);
            Check(m.Success && c.Length == 4 && c[0] == r.x && c[1] == r.y && c[2] == r.z && c[3] == r.w,
                  hand + " thumb rest is the hand model's");
        }
    }

    static ZembraQuat Turn(double degrees, double ax, double ay, double az)
    {
        double h = degrees * Math.PI / 360;
        return new ZembraQuat((float)(ax * Math.Sin(h)), (float)(ay * Math.Sin(h)), (float)(az * Math.Sin(h)),
                              (float)Math.Cos(h));
    }

    static void Put(float[] joints, int j, ZembraQuat q)
    {
        joints[4 * j] = q.x;
        joints[4 * j + 1] = q.y;
        joints[4 * j + 2] = q.z;
        joints[4 * j + 3] = q.w;
    }

    static bool AllIdentity(ZembraQuat[] bones)
    {
        return bones.All(q => q.AngleDegrees() < 0.05f);
    }

    // The unbent hand is the T-pose whatever the wrist does, and a
    // calibration makes the present pose the rest.
    static void Frames()
    {
        var joints = new float[ZembraGlove.JointFloats];
        var bones = new ZembraQuat[ZembraHandFrames.BoneCount];
        ZembraQuat wrist = Turn(70, 0.6, 0.0, 0.8);
        foreach (ZembraHand hand in new[] { ZembraHand.Left, ZembraHand.Right })
        {
            Put(joints, 0, wrist);
            for (int b = 0; b < ZembraHandFrames.BoneCount; ++b)
                Put(joints, b + 1, ZembraHandFrames.IsThumb(b) ? wrist * ZembraHandFrames.ThumbReference(hand) : wrist);
            var rest = new ZembraHandRest(hand);
            ZembraHandFrames.HandRelative(joints, rest, bones);
            Check(AllIdentity(bones), hand + ": the unbent hand on a turned wrist has every bone at rest");
            for (int b = 0; b < ZembraHandFrames.BoneCount; ++b) Put(joints, b + 1, wrist * Turn(10 * b, 0, 0.6, -0.8));
            ZembraHandFrames.HandRelative(joints, ZembraHandRest.Measured(hand, joints), bones);
            Check(AllIdentity(bones), hand + ": a calibrated pose is the rest");
        }
    }

    // The slot never hands out a copy mixed from two writes.
    static void SlotUnderConcurrency()
    {
        var slot = new PoseSlot(ZembraGlove.JointFloats);
        bool stop = false, torn = false, backwards = false;
        long reads = 0;
        var readers = Enumerable.Range(0, 2).Select(_ => new Thread(() => {
            var copy = new float[slot.Length];
            long last = 0, number;
            while (!Volatile.Read(ref stop))
            {
                if (!slot.TryRead(copy, out number)) continue;
                if (copy.Any(v => v != copy[0]) || copy[0] != number) torn = true;
                if (number < last) backwards = true;
                last = number;
                Interlocked.Increment(ref reads);
            }
        })).ToList();
        readers.ForEach(t => t.Start());
        var source = new float[slot.Length];
        for (int n = 1; n <= 100000; ++n)
        {
            for (int i = 0; i < source.Length; ++i) source[i] = n;
            slot.Write(source);
        }
        Volatile.Write(ref stop, true);
        readers.ForEach(t => t.Join());
        Check(!torn && !backwards && reads > 0, "the pose slot under two readers: whole copies, in order");
    }

    static void MissingReceiversAndBoolResults()
    {
        using (var sims = new Simulators())
        {
            using (var absent = new ZembraGlove())
            {
                Check(!absent.Open(7, ZembraHand.Left), "Open of an absent receiver (LH7) is false");
                Check(absent.ChannelHoppingSpecific(50) == -1, "a command without a port gives -1");
                Check(!absent.Close(), "Close of a glove that never opened a port is false");
            }
            IntPtr raw = ZembraImuNative.InitDataGlove(false, 0);
            Check(!ZembraImuNative.OpenPort(raw, 0, 2), "OpenPort with hand code 2 is false");
            Check(!ZembraImuNative.ClosePort(raw), "ClosePort of that handle is false");
            Check(!ZembraImuNative.OpenPort(IntPtr.Zero, 0, 1) && !ZembraImuNative.ClosePort(IntPtr.Zero) &&
                      ZembraImuNative.ChannelHopping(IntPtr.Zero) == -1,
                  "a null handle gives false and -1");
            using (var glove = new ZembraGlove())
            {
                Check(glove.Open(0, ZembraHand.Right), "Open of a present receiver (RH0) is true");
                Check(!glove.Open(0, ZembraHand.Right), "a second Open on the same glove is false");
                Check(glove.Close(), "Close of an open glove is true");
                bool threw = false;
                try
                {
                    glove.StartStreaming();
                }
                catch (ObjectDisposedException)
                {
                    threw = true;
                }
                Check(threw, "a closed glove refuses calls");
            }
        }
    }

    static float[] Direction(ZembraQuat q, float x)
    {
        ZembraQuat r = q * new ZembraQuat(x, 0, 0, 0) * q.Conjugate();
        return new[] { r.x, r.y, r.z };
    }

    // Both hands stream through garbage collections; every pose is unit
    // length; an open hand lies along the arm with the index finger forward
    // (the thumb's side), in Unity's frame; Dispose while streaming returns
    // and no callback follows it.
    static void BothHandsStream()
    {
        using (var sims = new Simulators("--pose", "open"))
        {
            ZembraHand[] hands = { ZembraHand.Left, ZembraHand.Right };
            var gloves = hands.Select(h => new ZembraGlove()).ToArray();
            for (int i = 0; i < 2; ++i)
            {
                Check(gloves[i].Open(0, hands[i]), hands[i] + " glove opens");
                gloves[i].StartStreaming();
            }
            var joints = new float[ZembraGlove.JointFloats];
            long checkedPoses = 0, badPoses = 0;
            long[] last = new long[2];
            var garbage = new List<byte[]>();
            var clock = Stopwatch.StartNew();
            while (clock.Elapsed.TotalSeconds < 3.5)
            {
                for (int i = 0; i < 2; ++i)
                {
                    long sequence;
                    if (!gloves[i].TryGetLatestPose(joints, out sequence)) continue;
                    for (int j = 0; j < ZembraGlove.JointCount; ++j)
                        if (Math.Abs(ZembraQuat.FromJoints(joints, j).Length() - 1) > 1e-4) ++badPoses;
                    if (sequence < last[i]) ++badPoses;
                    last[i] = sequence;
                    ++checkedPoses;
                }
                garbage.Add(new byte[64 * 1024]);
                if (garbage.Count > 20) garbage.Clear();
                GC.Collect();
                GC.WaitForPendingFinalizers();
                Thread.Sleep(10);
            }
            Check(checkedPoses > 100 && badPoses == 0, "poses stay whole and unit length through collections");
            var bones = new ZembraQuat[ZembraHandFrames.BoneCount];
            for (int i = 0; i < 2; ++i)
            {
                ZembraGlove g = gloves[i];
                Check(g.PacketCount > 300 && WaitUntil(() => g.PacketsPerSecond > 100, 10),
                      hands[i] + " glove streams (" + g.PacketCount + " poses, " + g.PacketsPerSecond + "/s)");
                int channel = g.RadioChannel;
                Check(g.LinkState == ZembraLinkState.Connected && g.EventCount(2) == 1 &&
                          channel % 4 == (hands[i] == ZembraHand.Left ? 3 : 1),
                      hands[i] + " link connected on channel " + channel);
                long sequence;
                g.TryGetLatestPose(joints, out sequence);
                ZembraHandFrames.HandRelative(joints, new ZembraHandRest(hands[i]), bones);
                float along = hands[i] == ZembraHand.Left ? -1 : 1;
                bool ok = true;
                for (int b = 3; b < ZembraHandFrames.BoneCount; ++b) ok &= Direction(bones[b], along)[0] * along > 0.9f;
                ok &= Direction(bones[3], along)[2] > 0.05f && Direction(bones[12], along)[2] < -0.05f;
                Check(ok, hands[i] + " open hand: fingers along the arm, index forward, little finger back");
            }
            var disposing = Stopwatch.StartNew();
            foreach (ZembraGlove g in gloves) g.Dispose();
            Check(disposing.Elapsed.TotalSeconds < 5, "Dispose while streaming returns");
            long[] after = gloves.Select(g => g.PacketCount).ToArray();
            Thread.Sleep(300);
            Check(gloves.Select(g => g.PacketCount).SequenceEqual(after) && ZembraGlove.LateCallbacks == 0 &&
                      ZembraGlove.LiveHandles == 0,
                  "no callback after Dispose, no handle left");
        }
    }

    // A glove dropped while streaming: its finaliser closes the port, and
    // the callbacks stop before its Sink is let go. A fist curls every long
    // finger towards the palm (-Y) on both hands: every bone of it turned
    // more than 30 degrees palmward (an open hand lies level, a finger bent
    // back rises).
    static void AbandonedGloveIsClosedByItsFinaliser()
    {
        using (var sims = new Simulators("--pose", "fist"))
        {
            var bones = new ZembraQuat[ZembraHandFrames.BoneCount];
            foreach (ZembraHand hand in new[] { ZembraHand.Left, ZembraHand.Right })
            {
                bool palmward = false;
                // Made and dropped on a thread of its own, whose stack is gone
                // when the collector looks for references.
                var owner = new Thread(() => {
                    var glove = new ZembraGlove();
                    if (!glove.Open(0, hand)) return;
                    glove.StartStreaming();
                    var joints = new float[ZembraGlove.JointFloats];
                    long sequence;
                    if (!WaitUntil(() => glove.TryGetLatestPose(joints, out sequence), 10)) return;
                    ZembraHandFrames.HandRelative(joints, new ZembraHandRest(hand), bones);
                    float along = hand == ZembraHand.Left ? -1 : 1;
                    palmward = Enumerable.Range(3, 12).All(b => Direction(bones[b], along)[1] < -0.5f);
                });
                owner.Start();
                owner.Join();
                Check(palmward, hand + " fist: every long finger points to the palm");
                Check(WaitUntil(() => {
                    GC.Collect();
                    GC.WaitForPendingFinalizers();
                    return ZembraGlove.LiveHandles == 0;
                }, 10), hand + " glove left to the collector is closed");
            }
            Thread.Sleep(200);
            Check(ZembraGlove.LateCallbacks == 0, "no callback reached a released glove");
        }
    }

    // A glove that sends five packets after each channel set-up and then
    // falls silent for three seconds: connected (2), a weak second (11), a
    // silent second (3); Dispose returns while the link waits for a report.
    static void LinkEvents()
    {
        using (var sims = new Simulators(true, "--fault", "silence=3000", "--fault", "silence-after=5"))
        using (var glove = new ZembraGlove())
        {
            Check(glove.Open(0, ZembraHand.Left), "the silencing glove opens");
            glove.StartStreaming();
            Check(WaitUntil(() => glove.EventCount(2) > 0, 5), "event 2: connected");
            Check(WaitUntil(() => glove.EventCount(11) > 0, 10), "event 11: a weak second hops");
            Check(WaitUntil(() => glove.EventCount(3) > 0, 10) && glove.LinkState == ZembraLinkState.Lost,
                  "event 3: a silent second loses the link");
            var disposing = Stopwatch.StartNew();
            glove.Dispose();
            Check(disposing.Elapsed.TotalSeconds < 5, "Dispose returns while the link waits for a report");
        }
    }

    // Simulated receivers in a device tree of their own: LH0 (and RH0), 200
    // bursts a second, ending on their own after a minute if left behind.
    sealed class Simulators : IDisposable
    {
        readonly string root = Path.Combine(Path.GetTempPath(), "zembra-unity-" + Guid.NewGuid().ToString("N"));
        readonly List<Process> processes = new List<Process>();

        public Simulators(params string[] options) : this(false, options) {}

        public Simulators(bool leftOnly, params string[] options)
        {
            Environment.SetEnvironmentVariable("ZEMBRA_SYSFS_ROOT", Path.Combine(root, "sys"));
            Environment.SetEnvironmentVariable("ZEMBRA_DEV_ROOT", Path.Combine(root, "dev"));
            Directory.CreateDirectory(Path.Combine(root, "sys"));
            Directory.CreateDirectory(Path.Combine(root, "dev"));
            string[] hands = leftOnly ? new[] { "left" } : new[] { "left", "right" };
            for (int i = 0; i < hands.Length; ++i)
            {
                string serial = string.Format("ZEMBRA-{0}0-000{1}", hands[i] == "left" ? "LH" : "RH", i);
                var info = new ProcessStartInfo(simulator,
                                                string.Format("--hand {0} --rate 200 --duration 60 --register ttyUSB{1} " +
                                                              "--serial {2} {3}", hands[i], i, serial,
                                                              string.Join(" ", options)));
                info.UseShellExecute = false;
                info.RedirectStandardOutput = true;
                var registered = new ManualResetEvent(false);
                Process p = Process.Start(info);
                p.OutputDataReceived += (sender, e) => {
                    if (e.Data != null && e.Data.Contains("registered as")) registered.Set();
                };
                p.BeginOutputReadLine();
                processes.Add(p);
                if (!registered.WaitOne(10000)) throw new Exception("the simulated " + hands[i] + " receiver did not come up");
            }
        }

        public void Dispose()
        {
            foreach (Process p in processes)
            {
                p.Kill();
                p.WaitForExit(5000);
            }
            Directory.Delete(root, true);
        }
    }
}
