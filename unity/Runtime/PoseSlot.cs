// The newest of a stream of float arrays, handed from one writing thread to
// any number of readers without a lock: a sequence lock. The writer makes
// the sequence odd, copies, and makes it even again; a reader copies between
// two reads of the sequence and keeps the copy only when both saw the same
// even number, else tries again. The writer never waits; a reader retries
// only while a copy of 64 floats is under way.
//
// Threads: Write from one thread at a time (the plug-in's serial thread is
// one per handle); TryRead from any thread.
using System;
using System.Runtime.InteropServices;
using System.Threading;

namespace Zembra.Imu
{
    public sealed class PoseSlot
    {
        readonly float[] data;
        long sequence;   // twice the count of completed writes; odd while one is under way

        public PoseSlot(int length) { data = new float[length]; }

        public int Length { get { return data.Length; } }

        // Copies Length floats from native memory (valid only during the call).
        public void Write(IntPtr source)
        {
            // A full fence: the odd number is seen before any of the new floats.
            Interlocked.Increment(ref sequence);
            Marshal.Copy(source, data, 0, data.Length);
            Volatile.Write(ref sequence, sequence + 1);
        }

        // The same from managed memory.
        public void Write(float[] source)
        {
            Interlocked.Increment(ref sequence);
            Array.Copy(source, data, data.Length);
            Volatile.Write(ref sequence, sequence + 1);
        }

        // Copies the newest complete write into destination (at least Length
        // floats) with its number (1 for the first write). False before the
        // first write.
        public bool TryRead(float[] destination, out long number)
        {
            for (;;)
            {
                long before = Volatile.Read(ref sequence);
                if (before == 0)
                {
                    number = 0;
                    return false;
                }
                if ((before & 1) != 0)
                {
                    Thread.SpinWait(20);
                    continue;
                }
                Array.Copy(data, destination, data.Length);
                // The copy's reads are done before the second look.
                Thread.MemoryBarrier();
                if (Volatile.Read(ref sequence) == before)
                {
                    number = before / 2;
                    return true;
                }
            }
        }
    }
}
