// A plain C# program on the package's runtime: opens both gloves (receivers
// LH<index> and RH<index>) and prints each hand's finger curls a few times a
// second. No Unity needed; build and run it with Mono:
//
//   mcs -out:ConsoleHost.exe ConsoleHost.cs <package>/Runtime/ZembraImuNative.cs \
//       <package>/Runtime/ZembraGlove.cs <package>/Runtime/PoseSlot.cs <package>/Runtime/ZembraHandFrames.cs
//   LD_LIBRARY_PATH=<folder of libZEMBRA_IMU.so> mono ConsoleHost.exe [seconds] [receiver index]
//
// seconds 0 runs until Ctrl-C (default 10). The repository's
// `bash scripts/run.sh --unity-host` does all of this on simulated gloves.
//
// (On Windows, ZEMBRA_IMU.dll beside ConsoleHost.exe.)
using System;
using System.Diagnostics;
using System.Text;
using System.Threading;
using Zembra.Imu;

static class ConsoleHost
{
    static int Main(string[] args)
    {
        double seconds = args.Length > 0 ? double.Parse(args[0]) : 10;
        int receiver = args.Length > 1 ? int.Parse(args[1]) : 0;
        ZembraHand[] hands = { ZembraHand.Left, ZembraHand.Right };
        var gloves = new ZembraGlove[hands.Length];
        try
        {
            // Both receivers report at once: open them side by side.
            var openers = new Thread[hands.Length];
            var opened = new bool[hands.Length];
            for (int i = 0; i < hands.Length; ++i)
            {
                int k = i;
                gloves[k] = new ZembraGlove();
                openers[k] = new Thread(() => opened[k] = gloves[k].Open(receiver, hands[k]));
                openers[k].Start();
            }
            for (int i = 0; i < hands.Length; ++i)
            {
                openers[i].Join();
                Console.WriteLine("{0} glove: {1}", Name(hands[i]), opened[i] ? "receiver open" : "no receiver");
                if (opened[i]) gloves[i].StartStreaming();
            }
            if (!opened[0] && !opened[1]) return 1;

            var joints = new float[ZembraGlove.JointFloats];
            var relative = new ZembraQuat[ZembraHandFrames.BoneCount];
            var rests = new[] { new ZembraHandRest(ZembraHand.Left), new ZembraHandRest(ZembraHand.Right) };
            var stop = new ManualResetEvent(false);
            Console.CancelKeyPress += (sender, e) => {
                e.Cancel = true;   // end the loop, then close the gloves
                stop.Set();
            };
            var clock = Stopwatch.StartNew();
            var counted = new long[hands.Length];
            double countedAt = 0;
            while (seconds <= 0 || clock.Elapsed.TotalSeconds < seconds)
            {
                if (stop.WaitOne(500)) break;
                double now = clock.Elapsed.TotalSeconds, interval = now - countedAt;
                countedAt = now;
                for (int i = 0; i < hands.Length; ++i)
                {
                    long count = gloves[i].PacketCount;
                    double rate = (count - counted[i]) / interval;
                    counted[i] = count;
                    if (!opened[i]) continue;
                    long sequence;
                    if (!gloves[i].TryGetLatestPose(joints, out sequence))
                    {
                        Console.WriteLine("{0,-5}  no pose yet ({1})", Name(hands[i]), gloves[i].LinkState);
                        continue;
                    }
                    ZembraHandFrames.HandRelative(joints, rests[i], relative);
                    var line = new StringBuilder();
                    line.AppendFormat("{0,-5} curls", Name(hands[i]));
                    foreach (ZembraFinger f in Enum.GetValues(typeof(ZembraFinger)))
                        line.AppendFormat("  {0} {1,5:F1}", f.ToString().ToLowerInvariant(),
                                          ZembraHandFrames.Curl(relative, f));
                    line.AppendFormat("   ({0:F0} poses/s, channel {1}, {2})", rate, gloves[i].RadioChannel,
                                      gloves[i].LinkState);
                    Console.WriteLine(line);
                }
            }
            for (int i = 0; i < hands.Length; ++i)
                if (opened[i]) Console.WriteLine("{0} glove: {1} poses", Name(hands[i]), gloves[i].PacketCount);
            return 0;
        }
        finally
        {
            foreach (ZembraGlove g in gloves)
                if (g != null) g.Dispose();
        }
    }

    static string Name(ZembraHand hand) { return hand == ZembraHand.Left ? "left" : "right"; }
}
