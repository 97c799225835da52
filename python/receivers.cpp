// zembra.receivers() and zembra.Receiver: the glove receivers plugged in.
#include "driver/client/receivers.h"

#include <pybind11/stl.h>

#include "bindings.h"

namespace ZEMBRA {
namespace python {

namespace {

struct ReceiverRecord {
  std::string port;
  std::string hand;
  int performer = 0;
  std::string serial;
  std::string name;
  std::string instance_id;
};

std::vector<ReceiverRecord> ListAll() {
  std::vector<client::Receiver> found;
  {
    py::gil_scoped_release release;
    found = client::ListReceivers();
  }
  std::vector<ReceiverRecord> records;
  for (const client::Receiver& r : found)
    records.push_back(
        {r.port.port_name, HandName(r.hand), r.performer, r.serial, r.port.description, r.port.instance_id});
  return records;
}

std::string ReceiverRepr(const ReceiverRecord& r) {
  return "Receiver(port='" + r.port + "', hand='" + r.hand + "', performer=" + std::to_string(r.performer) +
         ", serial='" + r.serial + "', name='" + r.name + "')";
}

}  // namespace

void DefineReceivers(py::module_& module) {
  py::class_<ReceiverRecord>(module, "Receiver",
                             Doc("One glove receiver plugged in: the serial port it shows up as and the hand it "
                                 "serves. Pass it (or its port) to zembra.Glove to open that very receiver, for "
                                 "example one of a second pair.")
                                 .c_str())
      .def_readonly("port", &ReceiverRecord::port, "the serial port to open, e.g. \"/dev/ttyUSB0\"")
      .def_readonly("hand", &ReceiverRecord::hand, "the hand it serves, \"left\" or \"right\"")
      .def_readonly("performer", &ReceiverRecord::performer,
                    "which pair it belongs to where several share the machine (the digits after its tag: LH1 "
                    "and RH1 are performer 1's); 0 for a single pair")
      .def_readonly("serial", &ReceiverRecord::serial, "its USB serial number, which carries the tag LH or RH")
      .def_readonly("name", &ReceiverRecord::name, "its friendly name (the USB product string)")
      .def_readonly("instance_id", &ReceiverRecord::instance_id, "its device instance identifier")
      .def("__repr__", &ReceiverRepr);

  module.def("receivers", &ListAll,
             Doc("A list of zembra.Receiver: every glove receiver plugged in, both hands and every pair, in the "
                 "order discovery takes them (the first of a hand is the one zembra.Glove(hand) opens). The "
                 "device tree read is /sys and /dev, or those named by ZEMBRA_SYSFS_ROOT and ZEMBRA_DEV_ROOT.")
                 .c_str());
}

}  // namespace python
}  // namespace ZEMBRA
