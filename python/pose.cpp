// zembra.Pose and the names that go with it: the joints (zembra.JOINTS),
// their parents, the fingers, and the Bends and Status records.
#include <pybind11/stl.h>

#include <cstring>

#include "bindings.h"
#include "protocol/hand_model.h"

namespace ZEMBRA {
namespace python {

namespace {

// The driver's joint order (its JointIndex).
constexpr const char* kJointNames[Joint_Count] = {
    "pinky_intermediate", "ring_intermediate",  "middle_intermediate",
    "index_intermediate", "thumb_distal",       "wrist",
    "pinky_proximal",     "ring_proximal",      "middle_proximal",
    "index_proximal",     "thumb_intermediate", "pinky_distal",
    "ring_distal",        "middle_distal",      "index_distal",
    "thumb_proximal",
};

// Bends run thumb to pinky; the driver numbers its fingers pinky to thumb.
constexpr const char* kFingerNames[kFingerCount] = {"thumb", "index", "middle", "ring", "pinky"};
constexpr int DriverFinger(int bendIndex) { return kFingerCount - 1 - bendIndex; }

py::array_t<float> JointArray() { return py::array_t<float>(std::vector<py::ssize_t>{Joint_Count, 4}); }

py::object ModuleAttr(const char* name) { return py::module_::import("zembra").attr(name); }

py::object MakeBends(const double (&thumbToPinky)[kFingerCount]) {
  return ModuleAttr("Bends")(thumbToPinky[0], thumbToPinky[1], thumbToPinky[2], thumbToPinky[3], thumbToPinky[4]);
}

py::object MakeStatus(const Pose& pose) {
  py::tuple table(6);
  for (size_t k = 0; k < 6; ++k) table[k] = py::int_(pose.statusTable[k]);
  return ModuleAttr("Status")(table, pose.statusByte, pose.statusValue);
}

py::object DefineRecord(py::module_& module, const char* name, std::vector<std::string> fields, const char* doc,
                        const std::vector<const char*>& fieldDocs) {
  py::object type = py::module_::import("collections").attr("namedtuple")(name, fields, py::arg("module") = "zembra");
  type.attr("__doc__") = Doc(doc);
  for (size_t i = 0; i < fields.size(); ++i) type.attr(fields[i].c_str()).attr("__doc__") = fieldDocs[i];
  module.attr(name) = type;
  return type;
}

PoseRecord NewPose(py::object joints, const std::string& hand, double time, py::object bends, py::object status,
                   const std::string& port) {
  PoseRecord record;
  HandFromName(hand);
  record.hand = hand;
  record.time = time;
  record.port = port;
  auto given = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(joints);
  if (!given || given.ndim() != 2 || given.shape(0) != Joint_Count || given.shape(1) != 4)
    throw py::value_error("joints must be an array of shape (16, 4): x, y, z, w of each joint");
  record.joints = JointArray();
  std::memcpy(record.joints.mutable_data(), given.data(), sizeof(float) * Joint_Count * 4);
  if (bends.is_none()) {
    const double zero[kFingerCount] = {};
    record.bends = MakeBends(zero);
  } else {
    const auto values = bends.cast<std::vector<double>>();
    if (values.size() != kFingerCount) throw py::value_error("bends must be five angles, thumb to pinky");
    record.bends = MakeBends({values[0], values[1], values[2], values[3], values[4]});
  }
  if (status.is_none()) {
    record.status = MakeStatus(Pose{});
  } else {
    const py::tuple fields(status);
    if (fields.size() != 3 || py::len(fields[0]) != 6)
      throw py::value_error("status must be (table of six ints, byte, value)");
    record.status = ModuleAttr("Status")(py::tuple(fields[0]), fields[1].cast<int>(), fields[2].cast<double>());
  }
  return record;
}

std::string PoseRepr(const PoseRecord& pose) {
  return "Pose(hand='" + pose.hand + "', time=" + py::repr(py::float_(pose.time)).cast<std::string>() +
         ", bends=" + py::repr(pose.bends).cast<std::string>() + ")";
}

}  // namespace

HandType HandFromName(const std::string& name) {
  if (name == "left") return Hand_Left;
  if (name == "right") return Hand_Right;
  throw py::value_error("hand must be \"left\" or \"right\", not \"" + name + "\"");
}

const char* HandName(HandType hand) { return hand == Hand_Right ? "right" : "left"; }

PoseRecord MakePoseRecord(const DeliveredPose& delivered, const std::string& port) {
  PoseRecord record;
  record.port = port;
  static_assert(sizeof(delivered.pose.joints) == sizeof(float) * Joint_Count * 4, "joints are packed floats");
  record.joints = JointArray();
  std::memcpy(record.joints.mutable_data(), delivered.pose.joints, sizeof delivered.pose.joints);
  double bends[kFingerCount];
  for (int i = 0; i < kFingerCount; ++i) bends[i] = delivered.fingers[size_t(DriverFinger(i))];
  record.bends = MakeBends(bends);
  record.hand = HandName(delivered.pose.type);
  record.time = delivered.time;
  record.status = MakeStatus(delivered.pose);
  return record;
}

Pose DriverPose(const PoseRecord& record) {
  Pose pose{};
  auto joints = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(record.joints);
  if (!joints || joints.size() != Joint_Count * 4) throw py::value_error("a pose's joints must be of shape (16, 4)");
  std::memcpy(pose.joints, joints.data(), sizeof pose.joints);
  pose.type = HandFromName(record.hand);
  const py::tuple status(record.status);
  const py::tuple table(status[0]);
  for (size_t k = 0; k < 6 && k < table.size(); ++k) pose.statusTable[k] = table[k].cast<int32_t>();
  pose.statusByte = status[1].cast<int32_t>();
  pose.statusValue = status[2].cast<double>();
  return pose;
}

void DefinePose(py::module_& module) {
  // pybind11 finds numpy's API on the first array it makes, in a static that
  // two threads making their first poses at once would deadlock on (one
  // holds the interpreter's lock waiting for the other's import). Found
  // here, while the module is imported.
  JointArray();
  py::tuple joints{size_t{Joint_Count}}, parents{size_t{Joint_Count}}, fingers{size_t{kFingerCount}};
  for (size_t j = 0; j < size_t(Joint_Count); ++j) {
    joints[j] = py::str(kJointNames[j]);
    parents[j] = py::int_(protocol::kJointParent[j]);
  }
  for (size_t f = 0; f < size_t(kFingerCount); ++f) fingers[f] = py::str(kFingerNames[f]);
  module.attr("JOINTS") = joints;
  module.attr("JOINT_PARENTS") = parents;
  module.attr("FINGERS") = fingers;

  DefineRecord(module, "Bends", {"thumb", "index", "middle", "ring", "pinky"},
               "The bend of each finger in degrees, thumb to pinky, as the driver measures it: a finger's middle "
               "joint against the back of the hand (the thumb against its rest position); a curl reads "
               "negative (a fist about -90 for a long finger), a finger bent back positive.",
               {"thumb, degrees", "index finger, degrees", "middle finger, degrees", "ring finger, degrees",
                "little finger, degrees"});
  DefineRecord(module, "Status", {"table", "byte", "value"},
               "The glove's status fields as it sent them, uninterpreted: the driver carries them unchanged. All "
               "are 0 until the glove has sent them.",
               {"six status slots (ints): slot k holds the last value of status selector 3, 2, 4, 5, 1, 0",
                "the last status byte (int)", "the last status value (float)"});

  py::class_<PoseRecord>(
      module, "Pose",
      Doc("Pose(joints, hand, time=0.0, bends=None, status=None, port=\"\")\n\n"
          "One hand pose as the driver computed it from one packet of the glove.\n\n"
          "joints  numpy float32 array of shape (16, 4): each joint's rotation as a unit quaternion x, y, z, w, "
          "absolute (in the sensors' common world frame, not relative to the parent joint), rows in the "
          "driver's joint order, named by zembra.JOINTS. A joint's rotation relative to its parent (zembra."
          "JOINT_PARENTS) is conj(parent) * joint.\n"
          "bends   zembra.Bends: the five finger bends in degrees, thumb to pinky.\n"
          "hand    \"left\" or \"right\".\n"
          "time    seconds on the clock of time.monotonic(), taken when the driver delivered the pose.\n"
          "status  zembra.Status: the glove's status fields, uninterpreted.\n"
          "port    the port of the glove it came from (Glove.port).\n\n"
          "Poses come from Glove.poses() and Glove.latest(). One may also be made, for example to write a "
          "recording with zembra.write_bvh(): joints is copied as float32, bends are five angles thumb to pinky "
          "(all 0 by default), status is (table of six ints, byte, value) (all 0 by default), port a text.")
          .c_str())
      .def(py::init(&NewPose), py::arg("joints"), py::arg("hand"), py::arg("time") = 0.0, py::arg("bends") = py::none(),
           py::arg("status") = py::none(), py::arg("port") = "", "Makes a pose (see the class).")
      .def_readonly("joints", &PoseRecord::joints,
                    "numpy float32 array (16, 4): x, y, z, w of each joint, rows named by zembra.JOINTS")
      .def_readonly("bends", &PoseRecord::bends, "zembra.Bends: finger bends in degrees, thumb to pinky")
      .def_readonly("hand", &PoseRecord::hand, "\"left\" or \"right\"")
      .def_readonly("time", &PoseRecord::time,
                    "seconds on the clock of time.monotonic(), when the driver delivered the pose")
      .def_readonly("status", &PoseRecord::status, "zembra.Status: the glove's status fields, uninterpreted")
      .def_readonly("port", &PoseRecord::port, "the port of the glove it came from (Glove.port)")
      .def("__repr__", &PoseRepr);
}

}  // namespace python
}  // namespace ZEMBRA
