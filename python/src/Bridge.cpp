#include "Bridge.h"

#include <cmath>
#include <limits>
#include <string>

namespace velmora::python {

namespace {

// Created once with the module and kept for its life.
PyObject* gError = nullptr;
PyObject* gWarning = nullptr;

}  // namespace

void AddExceptions(py::module_& m) {
  gError = PyErr_NewExceptionWithDoc(
      "velmora.Error",
      "A recording, setting or file that Velmora cannot use, or a write that failed. str() is the message as "
      "velmora-cli prints it; the attributes say where: file (as named), line (1-based, 0 when the fault is not on "
      "one line), field (e.g. \"column 3\" or \"field 12\", may be empty) and message.",
      PyExc_Exception, nullptr);
  // Class defaults, so that an Error made in Python has them too.
  for (const char* text : {"file", "field", "message"}) PyObject_SetAttrString(gError, text, py::str("").ptr());
  PyObject_SetAttrString(gError, "line", py::int_(0).ptr());
  gWarning = PyErr_NewExceptionWithDoc("velmora.VelmoraWarning",
                                       "What Velmora's warnings window or velmora-cli's \"warning:\" lines say.",
                                       PyExc_UserWarning, nullptr);
  m.add_object("Error", py::handle(gError));
  m.add_object("VelmoraWarning", py::handle(gWarning));
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Failed& failed) {
      const Error& error = failed.error;
      py::object e = py::reinterpret_borrow<py::object>(gError)(error.What());
      e.attr("file") = error.file;
      e.attr("line") = error.line;
      e.attr("field") = error.field;
      e.attr("message") = error.message;
      PyErr_SetObject(gError, e.ptr());
    }
  });
}

void CheckInterrupt() {
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

void PythonSink::Warn(std::string_view message) {
  py::gil_scoped_acquire gil;
  if (PyErr_WarnEx(gWarning, Printable(message).c_str(), stackLevel_) != 0) throw py::error_already_set();
}

void PythonSink::Progress(int, int, std::string_view) { CheckInterrupt(); }

std::unique_lock<std::mutex> HoldActions() {
  static std::mutex actions;
  return std::unique_lock(actions);
}

double Ms(double seconds) {
  double ms = seconds * 1000;
  // The product is within an ulp or two of the value sought.
  for (int i = 0; i < 4 && ms / 1000 != seconds; ++i)
    ms = std::nextafter(ms, ms / 1000 < seconds ? std::numeric_limits<double>::infinity()
                                                : -std::numeric_limits<double>::infinity());
  return ms;
}

}  // namespace velmora::python
