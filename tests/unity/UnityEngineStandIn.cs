// A compile check only: the few UnityEngine members ZembraHandDriver.cs and
// the package's runtime use, declared with Unity's names and signatures so
// that mcs type-checks the component without Unity. Nothing here runs and
// nothing behaves like Unity: the bodies are placeholders. A member the
// component starts to use must be added here with Unity's own signature.
using System;

namespace UnityEngine
{
    public class Object
    {
        public static bool operator ==(Object a, Object b) { return ReferenceEquals(a, b); }
        public static bool operator !=(Object a, Object b) { return !ReferenceEquals(a, b); }
        public override bool Equals(object other) { return ReferenceEquals(this, other); }
        public override int GetHashCode() { return 0; }
    }

    public class Component : Object
    {
        public Transform transform { get { return null; } }
        public T GetComponent<T>() { return default(T); }
    }

    public class Behaviour : Component
    {
        public bool enabled { get; set; }
    }

    public class MonoBehaviour : Behaviour
    {
    }

    public class Transform : Component
    {
        public Vector3 position { get; set; }
        public Quaternion rotation { get; set; }
        public Quaternion localRotation { get; set; }
    }

    public enum HumanBodyBones
    {
        LeftHand = 17,
        RightHand = 18,
        LeftThumbProximal = 24,
        LeftThumbIntermediate,
        LeftThumbDistal,
        LeftIndexProximal,
        LeftIndexIntermediate,
        LeftIndexDistal,
        LeftMiddleProximal,
        LeftMiddleIntermediate,
        LeftMiddleDistal,
        LeftRingProximal,
        LeftRingIntermediate,
        LeftRingDistal,
        LeftLittleProximal,
        LeftLittleIntermediate,
        LeftLittleDistal,
        RightThumbProximal,
        RightThumbIntermediate,
        RightThumbDistal,
        RightIndexProximal,
        RightIndexIntermediate,
        RightIndexDistal,
        RightMiddleProximal,
        RightMiddleIntermediate,
        RightMiddleDistal,
        RightRingProximal,
        RightRingIntermediate,
        RightRingDistal,
        RightLittleProximal,
        RightLittleIntermediate,
        RightLittleDistal,
    }

    public class Animator : Behaviour
    {
        public bool isHuman { get { return false; } }
        public Transform GetBoneTransform(HumanBodyBones humanBoneId) { return null; }
    }

    public struct Vector3
    {
        public float x, y, z;
        public Vector3(float x, float y, float z)
        {
            this.x = x;
            this.y = y;
            this.z = z;
        }
        public static Vector3 zero { get { return new Vector3(); } }
        public Vector3 normalized { get { return this; } }
        public static Vector3 operator -(Vector3 a, Vector3 b) { return a; }
        public static Vector3 operator -(Vector3 a) { return a; }
        public static Vector3 operator *(float d, Vector3 a) { return a; }
        public static bool operator ==(Vector3 a, Vector3 b) { return false; }
        public static bool operator !=(Vector3 a, Vector3 b) { return true; }
        public override bool Equals(object other) { return false; }
        public override int GetHashCode() { return 0; }
        public static float Dot(Vector3 a, Vector3 b) { return 0; }
        public static Vector3 Cross(Vector3 a, Vector3 b) { return a; }
    }

    public struct Quaternion
    {
        public float x, y, z, w;
        public Quaternion(float x, float y, float z, float w)
        {
            this.x = x;
            this.y = y;
            this.z = z;
            this.w = w;
        }
        public static Quaternion operator *(Quaternion a, Quaternion b) { return a; }
        public static Quaternion Inverse(Quaternion rotation) { return rotation; }
        public static Quaternion LookRotation(Vector3 forward, Vector3 upwards) { return new Quaternion(); }
    }

    public static class Time
    {
        public static float unscaledTime { get { return 0; } }
    }

    public static class Debug
    {
        public static void LogWarning(object message, Object context) {}
    }

    [AttributeUsage(AttributeTargets.Field)]
    public sealed class SerializeField : Attribute
    {
    }

    [AttributeUsage(AttributeTargets.Field)]
    public sealed class TooltipAttribute : Attribute
    {
        public TooltipAttribute(string tooltip) {}
    }

    [AttributeUsage(AttributeTargets.Field)]
    public sealed class HeaderAttribute : Attribute
    {
        public HeaderAttribute(string header) {}
    }

    [AttributeUsage(AttributeTargets.Method)]
    public sealed class ContextMenu : Attribute
    {
        public ContextMenu(string itemName) {}
    }

    [AttributeUsage(AttributeTargets.Class)]
    public sealed class AddComponentMenu : Attribute
    {
        public AddComponentMenu(string menuName) {}
    }
}

namespace AOT
{
    // Unity's marking of a static method that native code calls back.
    [AttributeUsage(AttributeTargets.Method)]
    public sealed class MonoPInvokeCallbackAttribute : Attribute
    {
        public MonoPInvokeCallbackAttribute(Type type) {}
    }
}
