// The module's exceptions. Each carries the driver's error code in .code
// and a message that says what to do; the classes are plain Python classes
// so that they pickle and read like any other exception.
#include <pybind11/eval.h>

#include "bindings.h"

namespace ZEMBRA {
namespace python {

namespace {

constexpr const char* kErrorClasses = R"(
class Error(Exception):
    """A glove operation failed.

    code is the driver's error code: 4 the port was refused, 5 the glove is
    closed, 6 a command or the channel set-up failed, 7 no receiver serves
    the hand, 9 a finger index outside 0 to 4. str(error) says what
    happened and what to do.
    """

    def __init__(self, code, message):
        super().__init__(code, message)
        self.code = code
        self.message = message

    def __str__(self):
        return self.message


class NoReceiverError(Error, LookupError):
    """No receiver was found: none serves the hand (code 7), or the port
    given does not exist (code 4). zembra.receivers() lists those present."""


class PortBusyError(Error):
    """The receiver's port is open already, in another program or another
    zembra.Glove (code 4). A port is opened by one owner at a time."""


class PortPermissionError(Error, PermissionError):
    """This user may not open the receiver's port (code 4); the Linux
    set-up page, docs/linux-setup.md, says how to grant access."""


class ChannelSetupError(Error):
    """The receiver did not report its radio channels in time, so no
    channel could be chosen (code 6): is it a glove receiver?"""


class CommandError(Error):
    """A command did not reach the receiver completely (code 6)."""


class FingerIndexError(Error, IndexError):
    """A finger index outside 0 to 4 (code 9)."""
)";

}  // namespace

void DefineErrors(py::module_& module) { py::exec(kErrorClasses, module.attr("__dict__")); }

void Raise(const char* errorClass, int code, const std::string& message) {
  py::object type = py::module_::import("zembra").attr(errorClass);
  py::object error = type(code, message);
  PyErr_SetObject(type.ptr(), error.ptr());
  throw py::error_already_set();
}

}  // namespace python
}  // namespace ZEMBRA
