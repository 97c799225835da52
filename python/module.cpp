// The Python extension module zembra: the gloves' poses as numpy arrays.
// Each part (errors, poses, receivers, gloves, recordings) defines its
// names on the module; this file holds the module's own documentation.
#include "bindings.h"

namespace {

constexpr const char* kModuleDoc = R"(The ZEMBRA data gloves in Python: live hand poses as numpy arrays.

Each glove talks by radio to its own USB receiver. zembra.receivers() lists
the receivers plugged in; zembra.Glove(hand) opens one hand's receiver and
streams its poses until it is closed:

    import zembra

    with zembra.Glove("left") as glove:
        for pose in glove.poses():
            print(pose.bends.index, pose.joints[zembra.JOINTS.index("wrist")])

A zembra.Pose holds the sixteen joint rotations of the hand as a float32
array of shape (16, 4), each row a unit quaternion x, y, z, w in the
driver's joint order (zembra.JOINTS names the rows, zembra.JOINT_PARENTS
gives each joint's parent), the five finger bends in degrees (thumb to
pinky, zembra.FINGERS), the hand, the time the driver delivered it (the
clock of time.monotonic()) and the glove's status fields.

Threads: poses arrive on the driver's own thread, which only copies each
into the glove's bounded queue; Python code never runs there. poses()
waits with the interpreter's lock let go, so other threads run, and
Ctrl+C interrupts it. Each glove may be used from any thread, and many
gloves (two pairs, say) may be open in one process.

Errors raise zembra.Error or a class derived from it, each with the
driver's error code in .code: NoReceiverError, PortBusyError,
PortPermissionError (see the Linux set-up page, docs/linux-setup.md),
ChannelSetupError, CommandError, FingerIndexError.

zembra.write_bvh() writes a take of both hands as the configuration tool's
BVH recordings. Without gloves, simulated receivers stand in for them
(zembra-receiver-sim; see the project's docs/python.md).)";

}  // namespace

PYBIND11_MODULE(zembra, module) {
  using namespace ZEMBRA::python;
  module.doc() = kModuleDoc;
  DefineErrors(module);
  DefinePose(module);
  DefineReceivers(module);
  DefineGlove(module);
  DefineBvh(module);
}
