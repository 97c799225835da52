// zembra.write_bvh: a take of both hands as the configuration tool writes
// it, through the same recording code: the frames on the file's grid of
// 1/30 s, the built-in skeleton header, the same numbers.
#include <algorithm>
#include <cmath>
#include <vector>

#include "bindings.h"
#include "tool/recording/bvh_writer.h"
#include "tool/recording/frame_grid.h"

namespace ZEMBRA {
namespace python {

namespace {

struct TimedPose {
  int64_t nanoseconds = 0;
  Pose pose{};
};

std::vector<TimedPose> ReadPoses(py::handle poses, const char* which) {
  std::vector<TimedPose> read;
  for (py::handle item : poses) {
    if (!py::isinstance<PoseRecord>(item))
      throw py::type_error(std::string(which) + " must hold zembra.Pose objects, not " +
                           py::str(py::type::of(item)).cast<std::string>());
    const PoseRecord& record = item.cast<const PoseRecord&>();
    if (!std::isfinite(record.time)) throw py::value_error(std::string("a pose in ") + which + " has no finite time");
    read.push_back({std::llround(record.time * 1e9), DriverPose(record)});
  }
  if (read.empty())
    throw py::value_error(std::string("no pose in ") + which + ": a recording holds both hands, as the tool's");
  return read;
}

// Frame k is the first pose at or after start + k/30 s, as the tool records.
std::vector<Pose> OnGrid(std::vector<TimedPose> poses, int64_t start, int64_t stop) {
  std::stable_sort(poses.begin(), poses.end(),
                   [](const TimedPose& a, const TimedPose& b) { return a.nanoseconds < b.nanoseconds; });
  recording::FrameGrid grid;
  grid.Reset(start);
  for (const TimedPose& timed : poses) grid.Add(timed.nanoseconds, timed.pose);
  grid.Finish(stop);
  return grid.Take();
}

std::vector<Pose> AsFrames(const std::vector<TimedPose>& poses) {
  std::vector<Pose> frames;
  for (const TimedPose& timed : poses) frames.push_back(timed.pose);
  return frames;
}

size_t WriteBvh(py::object path, py::iterable leftPoses, py::iterable rightPoses, bool resample) {
  const std::string file = py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
  const std::vector<TimedPose> left = ReadPoses(leftPoses, "left_poses");
  const std::vector<TimedPose> right = ReadPoses(rightPoses, "right_poses");
  std::string error;
  size_t frames = 0;
  {
    py::gil_scoped_release release;
    std::vector<Pose> leftFrames, rightFrames;
    if (resample) {
      const auto earliest = [](const std::vector<TimedPose>& p) {
        return std::min_element(p.begin(), p.end(), [](auto& a, auto& b) { return a.nanoseconds < b.nanoseconds; })
            ->nanoseconds;
      };
      const auto latest = [](const std::vector<TimedPose>& p) {
        return std::max_element(p.begin(), p.end(), [](auto& a, auto& b) { return a.nanoseconds < b.nanoseconds; })
            ->nanoseconds;
      };
      const int64_t start = std::min(earliest(left), earliest(right));
      const int64_t stop = std::max(latest(left), latest(right));
      leftFrames = OnGrid(left, start, stop);
      rightFrames = OnGrid(right, start, stop);
    } else {
      leftFrames = AsFrames(left);
      rightFrames = AsFrames(right);
    }
    frames = std::min(leftFrames.size(), rightFrames.size());
    error = recording::WriteTextFile(file, recording::BuildBvhText(kSkeleton, leftFrames, rightFrames));
  }
  if (!error.empty()) {
    PyErr_SetString(PyExc_OSError, error.c_str());
    throw py::error_already_set();
  }
  return frames;
}

}  // namespace

void DefineBvh(py::module_& module) {
  module.def("write_bvh", &WriteBvh, py::arg("path"), py::arg("left_poses"), py::arg("right_poses"), py::kw_only(),
             py::arg("resample") = true,
             Doc("Writes a take of both hands as a BVH motion file, the same format the configuration tool records "
                 "(its skeleton header, 30 frames a second, each joint as Z, Y, X angles relative to its parent) and "
                 "returns the number of frames written.\n\n"
                 "left_poses and right_poses are iterables of zembra.Pose (as Glove.poses() gives them); the left "
                 "list drives the skeleton's left hand whatever hand its poses carry. With resample the poses are "
                 "put on the file's grid of 1/30 s by their time, as the tool does: frame k is the first pose at or "
                 "after the take's start plus k/30 s, from the earliest pose of either hand to the latest. Without "
                 "it every pose is one frame, as given. The file holds as many frames as the shorter hand has. "
                 "Raises ValueError when a hand has no pose, OSError when the file cannot be written.")
                 .c_str());
}

}  // namespace python
}  // namespace ZEMBRA
