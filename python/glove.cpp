// zembra.Glove: one glove opened by its hand or port, with its poses and
// events as iterators, its commands, and the optional on_event callback,
// which runs on a thread of the module's own, never on the driver's.
//
// Every wait lets the interpreter's lock go and looks for a signal every
// kSignalCheck, so Ctrl+C ends a waiting iterator at once.
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "bindings.h"
#include "driver/client/receivers.h"

namespace ZEMBRA {
namespace python {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSignalCheck = std::chrono::milliseconds(20);
constexpr Clock::time_point kNoWait = Clock::time_point::min();

py::object ModuleAttr(const char* name) { return py::module_::import("zembra").attr(name); }

// Waits longer than this are as good as endless (and stay within the clock's range).
constexpr double kLongestWait = 1e9;

Clock::duration Seconds(double seconds) {
  const double bounded = std::isnan(seconds) ? 0.0 : std::min(std::max(0.0, seconds), kLongestWait);
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bounded));
}

// The next value of queue: false when the timeout passed first (None waits
// until the glove is closed) or the glove was closed. A signal's Python
// handler runs while waiting; its exception (KeyboardInterrupt) ends the
// wait.
template <typename T>
bool TakeWaiting(DeliveryQueue<T>& queue, const std::optional<double>& timeout, T& out) {
  using Taken = typename DeliveryQueue<T>::Taken;
  const auto start = Clock::now();
  Taken taken = queue.Take(out, kNoWait);  // a value waiting needs no wait
  if (taken != Taken::TimedOut) return taken == Taken::Value;
  const auto deadline = timeout ? start + Seconds(*timeout) : Clock::time_point::max();
  for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
    {
      py::gil_scoped_release release;
      taken = queue.Take(out, deadline - now < kSignalCheck ? deadline : now + kSignalCheck);
    }
    if (taken != Taken::TimedOut) return taken == Taken::Value;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
  return false;
}

const char* EventName(int32_t type) {
  switch (type) {
    case IMUEvent_LowBattery:
      return "low_battery";
    case IMUEvent_BatteryFull:
      return "battery_full";
    case IMUEvent_Paired:
      return "paired";
    case IMUEvent_MagneticAbnormal:
      return "magnetic_abnormal";
    case IMUEvent_TrackerConnected:
      return "tracker_connected";
    case IMUEvent_TrackerDisconnected:
      return "tracker_disconnected";
    default:
      return "unknown";
  }
}

py::object MakeEvent(const DeliveredEvent& delivered) {
  return ModuleAttr("Event")(EventName(delivered.event.type), delivered.event.type, HandName(delivered.event.hand),
                             delivered.time);
}

// What a Glove and its event thread share. callback is touched with the
// interpreter's lock only, and emptied before the Glove lets go of it, so
// that whichever thread drops the last reference needs no lock.
struct Dispatch {
  std::atomic<bool> stop{false};
  py::object callback;
};

void RunDispatch(std::shared_ptr<GloveCore> core, std::shared_ptr<Dispatch> dispatch) {
  DeliveredEvent event;
  while (!dispatch->stop.load()) {
    const auto taken = core->events().Take(event, Clock::now() + kSignalCheck);
    if (taken == DeliveryQueue<DeliveredEvent>::Taken::Closed) return;
    if (taken != DeliveryQueue<DeliveredEvent>::Taken::Value) continue;
    py::gil_scoped_acquire gil;
    if (dispatch->stop.load()) return;
    py::object callback = dispatch->callback;
    try {
      callback(MakeEvent(event));
    } catch (py::error_already_set& error) {
      error.discard_as_unraisable("zembra.Glove.on_event callback");
    }
  }
}

class Glove;
using OpenGloves = std::vector<std::weak_ptr<Glove>>;

// The gloves made in this process, for the exit handler: they are closed
// before the interpreter ends, so that no driver thread outlives it.
OpenGloves& Registry() { return *ModuleAttr("_open_gloves").cast<py::capsule>().get_pointer<OpenGloves>(); }

template <typename T>
struct Iterator {
  std::shared_ptr<GloveCore> core;
  std::optional<double> timeout;
  bool done = false;

  bool Next(T& out) {
    if (!done) done = !TakeWaiting(queue(), timeout, out);
    return !done;
  }
  DeliveryQueue<T>& queue();
};
template <>
DeliveryQueue<DeliveredPose>& Iterator<DeliveredPose>::queue() {
  return core->poses();
}
template <>
DeliveryQueue<DeliveredEvent>& Iterator<DeliveredEvent>::queue() {
  return core->events();
}
using PoseIterator = Iterator<DeliveredPose>;
using EventIterator = Iterator<DeliveredEvent>;

class Glove {
 public:
  Glove(const std::string& hand, py::object port, size_t queueSize, bool advanced) : hand_(HandFromName(hand)) {
    if (queueSize < 1) throw py::value_error("queue_size must be 1 or more");
    PortInfo info;
    info.hand = hand_;
    if (!port.is_none()) info = GivenPort(port);
    GloveOptions options;
    options.queueSize = queueSize;
    options.advanced = advanced;
    core_ = std::make_shared<GloveCore>(options);
    EIMUError err;
    {
      py::gil_scoped_release release;
      err = core_->Open(info);
    }
    if (err != IMUError_None) {
      const std::string name = core_->port().port_name;
      core_->Close();
      RaiseOpenError(err, name);
    }
  }
  ~Glove() { Close(); }
  Glove(const Glove&) = delete;
  Glove& operator=(const Glove&) = delete;

  void Close() {
    StopDispatch();
    if (core_->closed()) return;
    py::gil_scoped_release release;
    core_->Close();
  }

  PoseIterator Poses(std::optional<double> timeout) { return {core_, timeout}; }
  EventIterator Events(std::optional<double> timeout) { return {core_, timeout}; }

  py::object Latest() {
    DeliveredPose newest;
    if (!core_->poses().Newest(newest)) return py::none();
    return py::cast(MakePoseRecord(newest, core_->port().port_name));
  }

  py::object onEvent() const { return dispatch_ ? dispatch_->callback : py::none(); }
  void setOnEvent(py::object callback) {
    if (callback.is_none()) {
      StopDispatch();
      return;
    }
    if (!PyCallable_Check(callback.ptr())) throw py::type_error("on_event takes a callable or None");
    if (dispatch_) {
      dispatch_->callback = callback;
      return;
    }
    dispatch_ = std::make_shared<Dispatch>();
    dispatch_->callback = callback;
    dispatcher_ = std::thread(RunDispatch, core_, dispatch_);
  }

  void Vibrate(double seconds) {
    const auto period = std::chrono::duration_cast<std::chrono::milliseconds>(Seconds(seconds));
    Check(Released([&] { return core_->Vibrate(period); }), "the vibration command");
  }
  void SaveCalibration() {
    Check(Released([&] { return core_->SaveCalibration(); }), "the save-calibration command");
  }
  void AlignFingers() {
    Check(Released([&] { return core_->AlignFingers(); }), "the alignment");
  }
  double FingerValue(py::object finger) {
    int index = -1;
    if (py::isinstance<py::str>(finger)) {
      static constexpr const char* kDriverFingers[kFingerCount] = {"pinky", "ring", "middle", "index", "thumb"};
      const std::string name = finger.cast<std::string>();
      for (int i = 0; i < kFingerCount; ++i)
        if (name == kDriverFingers[i]) index = i;
      if (index < 0) throw py::value_error("finger must be 0 to 4 or one of zembra.FINGERS, not \"" + name + "\"");
    } else {
      index = finger.cast<int>();
    }
    double degrees = 0;
    const EIMUError err = Released([&] { return core_->FingerValue(index, degrees); });
    if (err == IMUError_IndexOutOfRange)
      Raise("FingerIndexError", err, "finger index " + std::to_string(index) + " is outside 0 to 4");
    Check(err, "the finger value");
    return degrees;
  }
  void Pair(std::optional<int> channel) {
    // The configuration tool's channels.
    const int chosen = channel.value_or(hand_ == Hand_Left ? 80 : 90);
    const EIMUError err = Released([&] { return core_->Pair(chosen); });
    if (err == IMUError_PortAccessDenied) RaiseOpenError(err, core_->port().port_name);
    Check(err, "the pairing request");
  }

  const std::shared_ptr<GloveCore>& core() const { return core_; }
  const char* hand() const { return HandName(hand_); }
  std::string port() const { return core_->port().port_name; }
  bool closed() const { return core_->closed(); }
  uint64_t received() const { return core_->poses().received(); }
  uint64_t dropped() const { return core_->poses().dropped(); }
  size_t pending() const { return core_->poses().size(); }
  size_t queueSize() const { return core_->poses().capacity(); }
  std::string Repr() const {
    return std::string("<zembra.Glove ") + hand() + " on " + port() + (closed() ? ", closed>" : ", open>");
  }

 private:
  // A port name, path or zembra.Receiver, with the strings discovery has
  // for it when it is a receiver plugged in.
  PortInfo GivenPort(py::object port) {
    if (!py::isinstance<py::str>(port) && py::hasattr(port, "port")) port = port.attr("port");
    PortInfo info;
    info.hand = hand_;
    info.port_name = py::str(py::module_::import("os").attr("fspath")(port)).cast<std::string>();
    for (const client::Receiver& receiver : client::ListReceivers()) {
      if (receiver.port.port_name != info.port_name) continue;
      if (receiver.hand != hand_)
        throw py::value_error(info.port_name + " serves the " + HandName(receiver.hand) + " hand, not the " +
                              HandName(hand_));
      info = receiver.port;
    }
    return info;
  }

  [[noreturn]] void RaiseOpenError(EIMUError err, const std::string& port) {
    const std::string hand = HandName(hand_);
    if (err == IMUError_PortNotFound)
      Raise("NoReceiverError", err,
            "no " + hand +
                "-hand glove receiver was found; zembra.receivers() lists those plugged in, and "
                "docs/linux-setup.md says how they are found");
    if (err == IMUError_OperationFailed)
      Raise("ChannelSetupError", err, "the receiver at " + port + " did not report its radio channels");
    if (err != IMUError_PortAccessDenied) Raise("Error", err, "opening " + port + " failed");
    // The driver says only that the port was refused; the system tells why.
    py::object os = py::module_::import("os");
    if (!os.attr("path").attr("exists")(port).cast<bool>()) Raise("NoReceiverError", err, "there is no port " + port);
    if (!os.attr("access")(port, os.attr("R_OK").cast<int>() | os.attr("W_OK").cast<int>()).cast<bool>())
      Raise("PortPermissionError", err,
            "this user may not open " + port + "; docs/linux-setup.md says how to grant access");
    Raise("PortBusyError", err, port + " is in use by another program or another zembra.Glove");
  }

  void Check(EIMUError err, const std::string& what) {
    if (err == IMUError_None) return;
    if (err == IMUError_PortNotOpen) Raise("Error", err, std::string("the ") + hand() + " glove is closed");
    Raise("CommandError", err, what + " did not reach the receiver at " + port());
  }

  template <typename Call>
  EIMUError Released(Call call) {
    py::gil_scoped_release release;
    return call();
  }

  void StopDispatch() {
    if (!dispatch_) return;
    dispatch_->stop.store(true);
    dispatch_->callback = py::object();
    dispatch_.reset();
    if (dispatcher_.get_id() == std::this_thread::get_id()) {
      dispatcher_.detach();  // the callback itself let go: its thread ends when it returns
    } else {
      py::gil_scoped_release release;
      dispatcher_.join();
    }
  }

  const HandType hand_;
  std::shared_ptr<GloveCore> core_;
  std::shared_ptr<Dispatch> dispatch_;  // while on_event is set
  std::thread dispatcher_;
};

std::shared_ptr<Glove> MakeGlove(const std::string& hand, py::object port, size_t queueSize, bool advanced) {
  auto glove = std::make_shared<Glove>(hand, port, queueSize, advanced);
  OpenGloves& open = Registry();
  open.erase(std::remove_if(open.begin(), open.end(), [](const auto& weak) { return weak.expired(); }), open.end());
  open.push_back(glove);
  return glove;
}

// The poses of several gloves through one iterator, each glove's in the
// order they came, the gloves taken in turn; one wait for all of them.
class MergedPoses {
 public:
  MergedPoses(py::args gloves, std::optional<double> timeout) : gloves_(gloves), timeout_(timeout) {
    if (gloves.size() == 0) throw py::type_error("zembra.poses() takes one or more zembra.Glove");
    for (py::handle glove : gloves) {
      if (!py::isinstance<Glove>(glove)) throw py::type_error("zembra.poses() takes zembra.Glove objects");
      cores_.push_back(glove.cast<const Glove&>().core());
    }
    for (const auto& core : cores_) core->poses().Attach(doorbell_);
  }
  ~MergedPoses() {
    for (const auto& core : cores_) core->poses().Detach(doorbell_.get());
  }
  MergedPoses(const MergedPoses&) = delete;
  MergedPoses& operator=(const MergedPoses&) = delete;

  // The glove out came from; null once the timeout passed without a pose
  // or every glove is closed.
  const GloveCore* Next(DeliveredPose& out) {
    if (done_) return nullptr;
    const auto deadline = timeout_ ? Clock::now() + Seconds(*timeout_) : Clock::time_point::max();
    for (;;) {
      // A ring after this look wakes the wait below.
      const uint64_t seen = doorbell_->rings();
      size_t closed = 0;
      for (size_t i = 0; i < cores_.size(); ++i) {
        const size_t at = (next_ + i) % cores_.size();
        const auto taken = cores_[at]->poses().Take(out, kNoWait);
        if (taken == DeliveryQueue<DeliveredPose>::Taken::Value) {
          next_ = (at + 1) % cores_.size();
          return cores_[at].get();
        }
        if (taken == DeliveryQueue<DeliveredPose>::Taken::Closed) ++closed;
      }
      const auto now = Clock::now();
      if (closed == cores_.size() || now >= deadline) break;
      {
        py::gil_scoped_release release;
        doorbell_->WaitPast(seen, deadline - now < kSignalCheck ? deadline : now + kSignalCheck);
      }
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
    done_ = true;
    return nullptr;
  }

 private:
  py::args gloves_;  // kept alive while iterating
  std::vector<std::shared_ptr<GloveCore>> cores_;
  std::shared_ptr<Doorbell> doorbell_ = std::make_shared<Doorbell>();
  std::optional<double> timeout_;
  size_t next_ = 0;  // the glove looked at first
  bool done_ = false;
};

void CloseEveryGlove() {
  const OpenGloves open = Registry();
  for (const auto& weak : open)
    if (const auto glove = weak.lock()) glove->Close();
}

}  // namespace

void DefineGlove(py::module_& module) {
  module.attr("_open_gloves") =
      py::capsule(new OpenGloves, [](void* gloves) { delete static_cast<OpenGloves*>(gloves); });
  py::module_::import("atexit").attr("register")(py::cpp_function(&CloseEveryGlove));

  py::object event = py::module_::import("collections")
                         .attr("namedtuple")("Event", std::vector<std::string>{"type", "code", "hand", "time"},
                                             py::arg("module") = "zembra");
  event.attr("__doc__") =
      Doc("One event of a glove, from Glove.events() or to Glove.on_event.\n\n"
          "type names it: \"paired\" (a pairing was confirmed), \"low_battery\", \"battery_full\" or "
          "\"magnetic_abnormal\"; this driver raises \"paired\" only. code is the driver's event code (5 paired, 3, "
          "4, 6), hand \"left\" or \"right\", time seconds on the clock of time.monotonic() when it arrived.");
  module.attr("Event") = event;

  py::class_<PoseIterator>(module, "PoseIterator", "The poses of one glove as they come, from Glove.poses().")
      .def("__iter__", [](py::object self) { return self; })
      .def(
          "__next__",
          [](PoseIterator& it) {
            DeliveredPose pose;
            if (!it.Next(pose)) throw py::stop_iteration();
            return MakePoseRecord(pose, it.core->port().port_name);
          },
          "The next pose, waited for as Glove.poses() says.");
  py::class_<EventIterator>(module, "EventIterator", "The events of one glove as they come, from Glove.events().")
      .def("__iter__", [](py::object self) { return self; })
      .def(
          "__next__",
          [](EventIterator& it) {
            DeliveredEvent event;
            if (!it.Next(event)) throw py::stop_iteration();
            return MakeEvent(event);
          },
          "The next event, waited for as Glove.events() says.");

  py::class_<MergedPoses>(module, "MergedPoses", "The poses of several gloves, from zembra.poses().")
      .def("__iter__", [](py::object self) { return self; })
      .def(
          "__next__",
          [](MergedPoses& it) {
            DeliveredPose pose;
            const GloveCore* from = it.Next(pose);
            if (!from) throw py::stop_iteration();
            return MakePoseRecord(pose, from->port().port_name);
          },
          "The next pose of any of the gloves, waited for as zembra.poses() says.");
  module.def(
      "poses",
      // The timeout as an object: pybind11 does not convert an int for an
      // argument behind *args.
      [](py::args gloves, py::object timeout) {
        return std::make_unique<MergedPoses>(
            gloves, timeout.is_none() ? std::nullopt : std::optional<double>(timeout.cast<double>()));
      },
      py::arg("timeout") = py::none(),
      Doc("poses(*gloves, timeout=None): an iterator of zembra.Pose from all the gloves given, for one loop over "
          "both hands (or two pairs) without a thread for each: each glove's poses in the order they came, each "
          "once (see Glove.poses()), the gloves taken in turn; pose.hand and pose.port tell them apart.\n\n"
          "It waits for the next pose of any of them. With timeout (seconds) it ends when none came for that long; "
          "it ends when every glove is closed. Ctrl+C interrupts the wait (KeyboardInterrupt).")
          .c_str());

  py::class_<Glove, std::shared_ptr<Glove>>(
      module, "Glove",
      Doc("Glove(hand, port=None, *, queue_size=1000, advanced=False)\n\n"
          "One glove, streaming from its receiver from the moment it is made until it is closed.\n\n"
          "hand is \"left\" or \"right\". Without port the first receiver of that hand is opened (the first "
          "zembra.receivers() lists); port names another one: a port such as \"/dev/ttyUSB2\", or a "
          "zembra.Receiver, say of a second pair of gloves. Opening sets the radio link up, which takes about a "
          "second with a real receiver. It raises NoReceiverError (no receiver serves the hand, or the port does "
          "not exist), PortBusyError (the port is open elsewhere), PortPermissionError (this user may not open "
          "it) or ChannelSetupError (the receiver reported no channels), each with the driver's error code in "
          ".code.\n\n"
          "The driver delivers about 200 poses a second. Each goes into the glove's queue, which holds "
          "queue_size poses and drops the oldest when full (counting them in dropped); poses() takes from it, "
          "latest() gives the newest pose without taking anything. advanced selects the driver's advanced mode, "
          "which measures the fingers' sideways spread instead of fixing it.\n\n"
          "A Glove is a context manager. It is closed on leaving the with block, by close(), when it is garbage "
          "collected, and at the latest when the interpreter exits. Any thread may use it; closing it ends the "
          "iterators of every thread.")
          .c_str())
      .def(py::init(&MakeGlove), py::arg("hand"), py::arg("port") = py::none(), py::kw_only(),
           py::arg("queue_size") = 1000, py::arg("advanced") = false,
           "Opens the receiver of hand, or the one at port (see the class).")
      .def("close", &Glove::Close,
           Doc("Stops streaming, closes the port and ends every iterator of this glove. Closing again does "
               "nothing.")
               .c_str())
      .def(
          "__enter__", [](py::object self) { return self; }, "Returns the glove.")
      .def(
          "__exit__", [](Glove& glove, py::args) { glove.Close(); }, "Closes the glove.")
      .def("poses", &Glove::Poses, py::arg("timeout") = py::none(), py::keep_alive<0, 1>(),
           Doc("An iterator of zembra.Pose: the poses in the order the driver delivered them, each given once "
               "(two threads iterating share them), taken from the glove's queue.\n\n"
               "It waits for each next pose. With timeout (seconds) it ends when none came for that long; it "
               "always ends when the glove is closed. Ctrl+C interrupts the wait (KeyboardInterrupt).")
               .c_str())
      .def("latest", &Glove::Latest,
           Doc("The newest zembra.Pose the driver delivered, whether or not poses() took it, or None before "
               "the first; the queue is left as it is.")
               .c_str())
      .def("events", &Glove::Events, py::arg("timeout") = 0.0, py::keep_alive<0, 1>(),
           Doc("An iterator of zembra.Event, in the order they came.\n\n"
               "With the default timeout it gives the events waiting and ends; with timeout (seconds) it waits "
               "that long for each next one; with None until the glove is closed. While on_event is set, the "
               "events go to it instead.")
               .c_str())
      .def_property("on_event", &Glove::onEvent, &Glove::setOnEvent,
                    Doc("A callable called with each zembra.Event, or None (the default). It runs on a thread of "
                        "the module's own, one event at a time, never on the driver's thread; an exception it "
                        "raises is reported (sys.unraisablehook) and the next event still comes.")
                        .c_str())
      .def("vibrate", &Glove::Vibrate, py::arg("seconds") = 0.0,
           Doc("One vibration pulse, or with seconds a vibration that long (the call returns when it ends). "
               "Raises CommandError when the command did not reach the receiver.")
               .c_str())
      .def("save_calibration", &Glove::SaveCalibration,
           Doc("Asks the glove to store its sensors' calibration as it is now; the glove takes a moment to do "
               "it. Raises CommandError when the command did not reach the receiver.")
               .c_str())
      .def("align_fingers", &Glove::AlignFingers,
           Doc("Takes the sideways angle of each long finger in the newest pose as straight, from the next pose "
               "on: hold the hand flat, fingers together, meanwhile. Each call adds to the ones before.")
               .c_str())
      .def("finger_value", &Glove::FingerValue, py::arg("finger"),
           Doc("The bend of one finger in degrees now, as the driver reads it: finger 0 pinky, 1 ring, 2 "
               "middle, 3 index, 4 thumb (the driver's numbering), or a name of zembra.FINGERS. An index "
               "outside 0 to 4 raises FingerIndexError.")
               .c_str())
      .def("pair", &Glove::Pair, py::arg("channel") = py::none(),
           Doc("Stops streaming and asks the receiver to pair a glove on the radio channel (by default 80 for "
               "the left hand, 90 for the right, as the configuration tool does); switch the glove on in "
               "pairing mode. A \"paired\" event (events(), on_event) says when the receiver has it. To stream "
               "from it, close this glove and open a new one.")
               .c_str())
      .def_property_readonly("hand", &Glove::hand, "\"left\" or \"right\"")
      .def_property_readonly("port", &Glove::port, "the port the receiver was opened on")
      .def_property_readonly("closed", &Glove::closed, "whether the glove is closed")
      .def_property_readonly("received", &Glove::received, "poses the driver delivered since the glove opened")
      .def_property_readonly("dropped", &Glove::dropped,
                             "poses dropped from the full queue before poses() took them (the oldest go)")
      .def_property_readonly("pending", &Glove::pending, "poses waiting in the queue now")
      .def_property_readonly("queue_size", &Glove::queueSize, "the most poses the queue holds")
      .def("__repr__", &Glove::Repr);
}

}  // namespace python
}  // namespace ZEMBRA
