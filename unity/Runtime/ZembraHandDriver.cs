// Moves a humanoid avatar's fingers with both gloves: one ZembraGlove per
// hand (receiver index, hand), opened off the main thread, and in Update
// (main thread) the newest pose turned into Unity's frame relative to the
// hand bone and applied to the 15 finger bones of each hand, found with
// Animator.GetBoneTransform.
//
// The avatar: a humanoid Animator whose hands show an open, flat hand when
// the component is enabled (the model's bind pose usually does). The bones'
// rotations then are their rest; the hand's T-pose frame is read from where
// its finger bones lie (fingers along the hand, index towards the thumb), so
// the arm may hang in an A-pose or anything else.
//
// Threads: Unity calls every method here on the main thread. The gloves'
// callbacks run on the plug-in's threads and only fill the gloves' slots;
// the opening (which blocks until a receiver reports, up to 10 s) runs on a
// worker thread of its own per hand. Nothing of Unity is touched off the
// main thread.
using System;
using System.Threading;
using UnityEngine;

namespace Zembra.Imu
{
    [AddComponentMenu("ZEMBRA/Zembra Hand Driver")]
    public sealed class ZembraHandDriver : MonoBehaviour
    {
        [Tooltip("The humanoid avatar whose fingers move; this object's Animator when empty.")]
        public Animator avatar;

        [Tooltip("Receiver index of each hand: the plug-in opens the receiver tagged LH<index> and RH<index>.")]
        public int receiverIndex = 0;
        public bool leftHand = true;
        public bool rightHand = true;

        [Tooltip("Measured finger spreads instead of a fixed fan.")]
        public bool advancedMode = false;
        [Tooltip("The gloves' sensor frame: 0 or 1 (or 2).")]
        public int hardwareVersion = 0;

        [Tooltip("Apply in LateUpdate, after the Animator: for avatars whose controller animates the fingers.")]
        public bool applyAfterAnimation = false;

        [Tooltip("Seconds without a pose after which a glove is closed and opened again.")]
        public float reopenAfterSeconds = 5f;

        [Header("Link (read only)")]
        [SerializeField] string leftLink = "off";
        [SerializeField] int leftPacketsPerSecond;
        [SerializeField] int leftChannel;
        [SerializeField] string rightLink = "off";
        [SerializeField] int rightPacketsPerSecond;
        [SerializeField] int rightChannel;

        Hand left, right;

        void OnEnable()
        {
            if (avatar == null) avatar = GetComponent<Animator>();
            if (avatar == null || !avatar.isHuman)
            {
                Debug.LogWarning("ZembraHandDriver needs a humanoid Animator", this);
                enabled = false;
                return;
            }
            left = leftHand ? new Hand(ZembraHand.Left, avatar, this) : null;
            right = rightHand ? new Hand(ZembraHand.Right, avatar, this) : null;
        }

        void OnDisable()
        {
            if (left != null) left.Dispose();
            if (right != null) right.Dispose();
            left = right = null;
            leftLink = rightLink = "off";
        }

        void Update()
        {
            float now = Time.unscaledTime;
            Step(left, now, !applyAfterAnimation);
            Step(right, now, !applyAfterAnimation);
            Show(left, ref leftLink, ref leftPacketsPerSecond, ref leftChannel);
            Show(right, ref rightLink, ref rightPacketsPerSecond, ref rightChannel);
        }

        void LateUpdate()
        {
            if (!applyAfterAnimation) return;
            if (left != null) left.Apply();
            if (right != null) right.Apply();
        }

        // Takes each glove's present pose as the open hand: from now on that
        // pose shows as the avatar's rest. False for a hand without a pose yet.
        [ContextMenu("Calibrate: the present pose is the open hand")]
        public void Calibrate()
        {
            bool any = false;
            if (left != null) any |= left.Calibrate();
            if (right != null) any |= right.Calibrate();
            if (!any) Debug.LogWarning("ZembraHandDriver: no pose to calibrate with yet", this);
        }

        // Forgets the calibration: the hand model's unbent hand is the rest.
        [ContextMenu("Forget the calibration")]
        public void ForgetCalibration()
        {
            if (left != null) left.ForgetCalibration();
            if (right != null) right.ForgetCalibration();
        }

        public ZembraGlove LeftGlove { get { return left != null ? left.Glove : null; } }
        public ZembraGlove RightGlove { get { return right != null ? right.Glove : null; } }

        void Step(Hand hand, float now, bool apply)
        {
            if (hand == null) return;
            hand.Poll(now, receiverIndex, advancedMode, hardwareVersion, reopenAfterSeconds);
            if (apply) hand.Apply();
        }

        static void Show(Hand hand, ref string link, ref int perSecond, ref int channel)
        {
            if (hand == null) return;
            link = hand.Status;
            perSecond = hand.PacketsPerSecond;
            channel = hand.Glove != null ? hand.Glove.RadioChannel : 0;
        }

        // One hand: its bones and their rests, its glove and the worker that
        // opens it.
        sealed class Hand : IDisposable
        {
            static readonly HumanBodyBones[] LeftBones = {
                HumanBodyBones.LeftThumbProximal,  HumanBodyBones.LeftThumbIntermediate,  HumanBodyBones.LeftThumbDistal,
                HumanBodyBones.LeftIndexProximal,  HumanBodyBones.LeftIndexIntermediate,  HumanBodyBones.LeftIndexDistal,
                HumanBodyBones.LeftMiddleProximal, HumanBodyBones.LeftMiddleIntermediate, HumanBodyBones.LeftMiddleDistal,
                HumanBodyBones.LeftRingProximal,   HumanBodyBones.LeftRingIntermediate,   HumanBodyBones.LeftRingDistal,
                HumanBodyBones.LeftLittleProximal, HumanBodyBones.LeftLittleIntermediate, HumanBodyBones.LeftLittleDistal,
            };
            static readonly HumanBodyBones[] RightBones = {
                HumanBodyBones.RightThumbProximal,  HumanBodyBones.RightThumbIntermediate,
                HumanBodyBones.RightThumbDistal,    HumanBodyBones.RightIndexProximal,
                HumanBodyBones.RightIndexIntermediate, HumanBodyBones.RightIndexDistal,
                HumanBodyBones.RightMiddleProximal, HumanBodyBones.RightMiddleIntermediate,
                HumanBodyBones.RightMiddleDistal,   HumanBodyBones.RightRingProximal,
                HumanBodyBones.RightRingIntermediate, HumanBodyBones.RightRingDistal,
                HumanBodyBones.RightLittleProximal, HumanBodyBones.RightLittleIntermediate,
                HumanBodyBones.RightLittleDistal,
            };

            readonly ZembraHand side;
            readonly UnityEngine.Object owner;
            readonly Transform hand;
            readonly Transform[] bones = new Transform[ZembraHandFrames.BoneCount];
            // The hand's and each bone's rotation in the hand's T-pose frame, at
            // rest: world rotation = handFrame * rest.
            Quaternion handInFrame;
            readonly Quaternion[] boneInFrame = new Quaternion[ZembraHandFrames.BoneCount];

            readonly float[] joints = new float[ZembraGlove.JointFloats];
            readonly ZembraQuat[] relative = new ZembraQuat[ZembraHandFrames.BoneCount];
            ZembraHandRest rest;
            bool havePose;
            long lastSequence;
            float lastPoseTime;

            ZembraGlove glove;
            Thread opener;
            volatile int openResult;   // 0 running, 1 streaming, -1 failed
            float retryAt;
            string idle = "waiting to open";

            // Packets per second, counted here once a second, so that a silent
            // glove shows 0.
            long countAtMark;
            float markTime;

            public Hand(ZembraHand side, Animator avatar, UnityEngine.Object owner)
            {
                this.side = side;
                this.owner = owner;
                rest = new ZembraHandRest(side);
                hand = avatar.GetBoneTransform(side == ZembraHand.Left ? HumanBodyBones.LeftHand
                                                                       : HumanBodyBones.RightHand);
                HumanBodyBones[] names = side == ZembraHand.Left ? LeftBones : RightBones;
                for (int b = 0; b < bones.Length; ++b) bones[b] = avatar.GetBoneTransform(names[b]);
                if (hand == null) return;
                Quaternion frame = TPoseFrame(avatar.transform.rotation);
                Quaternion toFrame = Quaternion.Inverse(frame);
                handInFrame = toFrame * hand.rotation;
                for (int b = 0; b < bones.Length; ++b)
                    if (bones[b] != null) boneInFrame[b] = toFrame * bones[b].rotation;
            }

            public ZembraGlove Glove { get { return glove; } }
            public int PacketsPerSecond { get; private set; }

            public string Status
            {
                get
                {
                    if (hand == null) return "no hand bone";
                    if (glove == null) return idle;
                    if (openResult == 0) return "opening";
                    switch (glove.LinkState)
                    {
                        case ZembraLinkState.Connected: return "connected";
                        case ZembraLinkState.Lost: return "lost";
                        case ZembraLinkState.Opened: return "opened";
                        default: return "closed";
                    }
                }
            }

            // Opens, watches and reopens the glove; takes a new pose.
            public void Poll(float now, int receiverIndex, bool advanced, int version, float reopenAfter)
            {
                if (hand == null) return;
                if (glove == null)
                {
                    if (now >= retryAt) StartOpening(receiverIndex, advanced, version, now);
                    return;
                }
                if (openResult == 0) return;
                if (openResult < 0)
                {
                    Close(now + 2f);
                    idle = "no receiver " + (side == ZembraHand.Left ? "LH" : "RH") + receiverIndex + "; retrying";
                    return;
                }
                if (now - markTime >= 1f)
                {
                    long count = glove.PacketCount;
                    PacketsPerSecond = (int)Math.Round((count - countAtMark) / (now - markTime));
                    countAtMark = count;
                    markTime = now;
                }
                long sequence;
                if (glove.TryGetLatestPose(joints, out sequence) && sequence != lastSequence)
                {
                    lastSequence = sequence;
                    lastPoseTime = now;
                    ZembraHandFrames.HandRelative(joints, rest, relative);
                    havePose = true;
                }
                else if (reopenAfter > 0 && now - lastPoseTime > reopenAfter)
                {
                    Debug.LogWarning("ZembraHandDriver: no pose from the " + side + " glove for " + reopenAfter +
                                     " s; opening it again", owner);
                    Close(now);
                    idle = "silent; opening again";
                }
            }

            public void Apply()
            {
                if (!havePose || hand == null) return;
                // The hand's T-pose frame as the hand is now.
                Quaternion frame = hand.rotation * Quaternion.Inverse(handInFrame);
                for (int b = 0; b < bones.Length; ++b)
                {
                    if (bones[b] == null) continue;
                    ZembraQuat q = relative[b];
                    bones[b].rotation = frame * new Quaternion(q.x, q.y, q.z, q.w) * boneInFrame[b];
                }
            }

            public bool Calibrate()
            {
                if (!havePose) return false;
                rest = ZembraHandRest.Measured(side, joints);
                ZembraHandFrames.HandRelative(joints, rest, relative);
                return true;
            }

            public void ForgetCalibration()
            {
                rest = new ZembraHandRest(side);
                if (havePose) ZembraHandFrames.HandRelative(joints, rest, relative);
            }

            public void Dispose() { Close(float.MaxValue); }

            void StartOpening(int receiverIndex, bool advanced, int version, float now)
            {
                ZembraGlove g;
                try
                {
                    g = new ZembraGlove(advanced, version);
                }
                catch (Exception e)
                {
                    // Most often the native library is not where Unity looks.
                    Debug.LogWarning("ZembraHandDriver: " + e.Message, owner);
                    retryAt = now + 5f;
                    idle = "no plug-in library; retrying";
                    return;
                }
                glove = g;
                openResult = 0;
                lastPoseTime = markTime = now;
                countAtMark = 0;
                ZembraHand s = side;
                opener = new Thread(() => {
                    try
                    {
                        bool ok = g.Open(receiverIndex, s);
                        if (ok) g.StartStreaming();
                        openResult = ok ? 1 : -1;
                    }
                    catch (ObjectDisposedException)
                    {
                        openResult = -1;   // closed while opening
                    }
                });
                opener.IsBackground = true;
                opener.Name = "ZEMBRA open " + side;
                opener.Start();
            }

            // Disposes the glove (closed at once, or when a running Open
            // returns) and waits until retryAt to open a new one.
            void Close(float retry)
            {
                if (glove != null) glove.Dispose();
                glove = null;
                opener = null;
                havePose = false;
                PacketsPerSecond = 0;
                retryAt = retry;
            }

            // The hand's T-pose frame in the world, from its bones: X along the
            // fingers for the right hand (against them for the left), Z from the
            // little finger towards the index finger (the thumb's side), Y the
            // back of the hand. The avatar's own rotation when the bones do not
            // say.
            Quaternion TPoseFrame(Quaternion fallback)
            {
                Transform middle = bones[6], index = bones[3], little = bones[12] != null ? bones[12] : bones[9];
                if (middle == null || index == null || little == null) return fallback;
                Vector3 along = (middle.position - hand.position).normalized;
                Vector3 x = side == ZembraHand.Left ? -along : along;
                Vector3 across = index.position - little.position;
                Vector3 z = (across - Vector3.Dot(across, x) * x).normalized;
                if (x == Vector3.zero || z == Vector3.zero) return fallback;
                return Quaternion.LookRotation(z, Vector3.Cross(z, x));
            }
        }
    }
}
