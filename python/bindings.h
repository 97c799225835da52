// What the parts of the Python module share: each part defines its types
// and functions on the module, and the helpers they use from one another.
// Everything here runs with the interpreter's lock held unless it says
// otherwise.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

#include "python/glove_core.h"
#include "zembra/ZEMBRAIMU.h"

namespace ZEMBRA {
namespace python {

namespace py = pybind11;

// A docstring as help() shows it well: every line longer than 76 columns
// wrapped at spaces, its continuation indented as the line is; lines
// indented by four spaces (code) kept as they are.
std::string Doc(const char* text);

// The exception classes, zembra.Error and those derived from it.
void DefineErrors(py::module_& module);
// Raises zembra.<errorClass>(code, message).
[[noreturn]] void Raise(const char* errorClass, int code, const std::string& message);

// "left" or "right"; ValueError for anything else.
HandType HandFromName(const std::string& name);
const char* HandName(HandType hand);

// One pose as Python sees it (zembra.Pose).
struct PoseRecord {
  py::array_t<float> joints;  // (16, 4), float32, x y z w, the driver's joint order
  py::object bends;           // zembra.Bends, thumb to pinky, degrees
  std::string hand;           // "left" or "right"
  double time = 0;            // seconds of time.monotonic()'s clock
  py::object status;          // zembra.Status
  std::string port;           // the port of the glove it came from
};
PoseRecord MakePoseRecord(const DeliveredPose& delivered, const std::string& port);
// The driver's Pose behind a record: its joints, hand and status.
Pose DriverPose(const PoseRecord& record);

void DefinePose(py::module_& module);
void DefineReceivers(py::module_& module);
void DefineGlove(py::module_& module);
void DefineBvh(py::module_& module);

// The skeleton header of recordings (the tool's record/bones.txt), built in.
extern const char* const kSkeleton;

}  // namespace python
}  // namespace ZEMBRA
