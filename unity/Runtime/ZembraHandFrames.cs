// From the plug-in's joints to a Unity humanoid's finger bones, as pure
// arithmetic (no UnityEngine type, so it runs and is tested under plain
// Mono). docs/unity.md, "The frame conversion", says how this follows the
// stream server's derivation (docs/streaming.md, "The frames").
//
// In short: the plug-in's joints are absolute rotations in the pose
// engine's frame, in which both hands rest with the fingers along +X and
// the palm facing +Y, the left thumb on the -Z side and the right thumb on
// the +Z side, and a finger curls by a positive turn about Z. Unity's
// humanoid T-pose hand has the fingers along -X (left) or +X (right), the
// palm down and the thumb forward (+Z), in a left-handed frame. The
// reflection that maps one onto the other is -I for the left hand and
// diag(1, -1, 1) for the right, so a rotation (x, y, z, w) stays as it is on
// the left hand and reads (-x, y, -z, w) on the right. Each bone
// is measured from its rest: a long finger's bones rest at the wrist's
// rotation, the thumb's at the hand model's thumb reference on the wrist; a
// calibration replaces those rests by the ones measured in an open hand.
//
// Bones come in Unity's humanoid order, which is the plug-in's joint order
// without the wrist: thumb, index, middle, ring, little, each proximal,
// intermediate, distal. Bone b is plug-in joint b + 1.
using System;

namespace Zembra.Imu
{
    // A rotation, (x, y, z, w) with w last; products are Hamilton products.
    public struct ZembraQuat
    {
        public float x, y, z, w;

        public ZembraQuat(float x, float y, float z, float w)
        {
            this.x = x;
            this.y = y;
            this.z = z;
            this.w = w;
        }

        public static readonly ZembraQuat Identity = new ZembraQuat(0, 0, 0, 1);

        public static ZembraQuat operator *(ZembraQuat a, ZembraQuat b)
        {
            return new ZembraQuat(a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                                  a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
                                  a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
                                  a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z);
        }

        public ZembraQuat Conjugate() { return new ZembraQuat(-x, -y, -z, w); }

        public float Length() { return (float)Math.Sqrt(x * x + y * y + z * z + w * w); }

        // Unit length; the identity for a zero or non-finite quaternion.
        public ZembraQuat Normalised()
        {
            float n = Length();
            if (!(n > 0) || float.IsInfinity(n) || float.IsNaN(n)) return Identity;
            return new ZembraQuat(x / n, y / n, z / n, w / n);
        }

        // The turn it makes, degrees, 0 to 180.
        public float AngleDegrees()
        {
            double c = Math.Min(1.0, Math.Abs((double)w) / Math.Max(1e-30, Length()));
            return (float)(2.0 * Math.Acos(c) * 180.0 / Math.PI);
        }

        // Joint j of a pose array (x, y, z, w per joint).
        public static ZembraQuat FromJoints(float[] joints, int j)
        {
            return new ZembraQuat(joints[4 * j], joints[4 * j + 1], joints[4 * j + 2], joints[4 * j + 3]);
        }

        public override string ToString() { return string.Format("({0:F4}, {1:F4}, {2:F4}, {3:F4})", x, y, z, w); }
    }

    public enum ZembraFinger
    {
        Thumb = 0,
        Index = 1,
        Middle = 2,
        Ring = 3,
        Little = 4,
    }

    // The rests of one hand's 15 bones, each relative to the wrist, in the
    // pose engine's frame.
    public sealed class ZembraHandRest
    {
        public readonly ZembraHand Hand;
        readonly ZembraQuat[] rest = new ZembraQuat[ZembraHandFrames.BoneCount];

        // The unbent hand: long fingers at the wrist's rotation, the thumb at
        // the hand model's thumb reference.
        public ZembraHandRest(ZembraHand hand)
        {
            Hand = hand;
            ZembraQuat thumb = ZembraHandFrames.ThumbReference(hand);
            for (int b = 0; b < rest.Length; ++b) rest[b] = ZembraHandFrames.IsThumb(b) ? thumb : ZembraQuat.Identity;
        }

        // The pose in joints (plug-in order) taken as the open hand: each bone's
        // rotation relative to the wrist becomes its rest.
        public static ZembraHandRest Measured(ZembraHand hand, float[] joints)
        {
            var r = new ZembraHandRest(hand);
            ZembraQuat wristInverse = ZembraQuat.FromJoints(joints, 0).Conjugate();
            for (int b = 0; b < r.rest.Length; ++b)
                r.rest[b] = (wristInverse * ZembraQuat.FromJoints(joints, b + 1)).Normalised();
            return r;
        }

        public ZembraQuat this[int bone] { get { return rest[bone]; } }
    }

    public static class ZembraHandFrames
    {
        public const int BoneCount = 15;

        // Unity's humanoid bone names, in bone order (HumanBodyBones names).
        public static readonly string[] LeftBoneNames = BoneNames("Left");
        public static readonly string[] RightBoneNames = BoneNames("Right");

        // The hand model's thumb rest relative to the wrist (the pose engine's
        // constants, single precision).
        static readonly ZembraQuat LeftThumbReference = new ZembraQuat(0.49673f, 0.409576f, 0.286788f, 0.709406f);
        static readonly ZembraQuat RightThumbReference = new ZembraQuat(-0.49673f, -0.409576f, 0.286788f, 0.709406f);

        public static ZembraQuat ThumbReference(ZembraHand hand)
        {
            return hand == ZembraHand.Right ? RightThumbReference : LeftThumbReference;
        }

        public static bool IsThumb(int bone) { return bone < 3; }

        // The plug-in joint that feeds bone b, and the joint of its parent bone
        // (0, the wrist, for the proximal bones).
        public static int BoneJoint(int bone) { return bone + 1; }
        public static int ParentJoint(int bone) { return bone % 3 == 0 ? 0 : bone; }

        // A rotation of the pose engine's frame in the T-pose hand's frame of
        // Unity: the reflection -I on the left hand, diag(1, -1, 1) on the
        // right.
        public static ZembraQuat ToUnity(ZembraQuat q, ZembraHand hand)
        {
            return hand == ZembraHand.Right ? new ZembraQuat(-q.x, q.y, -q.z, q.w) : q;
        }

        // Every bone's rotation relative to the hand bone, measured from its
        // rest, in Unity's T-pose hand frame: what the avatar's bone must turn
        // by, relative to its hand, from its own T-pose. joints: one pose in
        // plug-in order; result: BoneCount rotations.
        public static void HandRelative(float[] joints, ZembraHandRest rest, ZembraQuat[] result)
        {
            ZembraQuat wristInverse = ZembraQuat.FromJoints(joints, 0).Conjugate();
            for (int b = 0; b < BoneCount; ++b)
            {
                ZembraQuat q = wristInverse * ZembraQuat.FromJoints(joints, BoneJoint(b)) * rest[b].Conjugate();
                result[b] = ToUnity(q.Normalised(), rest.Hand);
            }
        }

        // Bone b's rotation relative to its parent bone (local), from the
        // hand-relative rotations: conj(parent) * bone. What a normalized rig
        // (every local rotation the identity in the T-pose) wants.
        public static ZembraQuat Local(ZembraQuat[] handRelative, int bone)
        {
            if (bone % 3 == 0) return handRelative[bone];
            return (handRelative[bone - 1].Conjugate() * handRelative[bone]).Normalised();
        }

        // A finger's curl: the sum of its three bones' local turns, degrees (0
        // for the rest, up to about 270 for a tight fist).
        public static float Curl(ZembraQuat[] handRelative, ZembraFinger finger)
        {
            int first = 3 * (int)finger;
            float sum = 0;
            for (int b = first; b < first + 3; ++b) sum += Local(handRelative, b).AngleDegrees();
            return sum;
        }

        static string[] BoneNames(string side)
        {
            string[] fingers = { "Thumb", "Index", "Middle", "Ring", "Little" };
            string[] joints = { "Proximal", "Intermediate", "Distal" };
            var names = new string[BoneCount];
            for (int b = 0; b < BoneCount; ++b) names[b] = side + fingers[b / 3] + joints[b % 3];
            return names;
        }
    }
}
