#pragma once
// Where the core meets the interpreter: its Errors become velmora.Error with
// file, line and field, its warnings Python warnings, and long work runs
// without the interpreter lock, interruptible between its items.

#include <pybind11/pybind11.h>

#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora::python {

namespace py = pybind11;

// Adds velmora.Error and velmora.VelmoraWarning to the module, and the
// translation of Failed into velmora.Error.
void AddExceptions(py::module_& m);

// Thrown with or without the interpreter lock; leaves the module as
// velmora.Error carrying the error's file, line, field and message.
struct Failed {
  Error error;
};

template <class T>
T Take(Result<T> result) {
  if (!result) throw Failed{result.error()};
  return std::move(*result);
}
inline void Take(const Status& status) {
  if (!status) throw Failed{status.error()};
}

// Raises the pending Ctrl-C (KeyboardInterrupt, or whatever the SIGINT
// handler raises). Takes the interpreter lock for the check.
void CheckInterrupt();

// The core's messages during one call. Warnings go to Python's warnings
// module as VelmoraWarning; the start of each item of a longer run (a sweep,
// a recording) is where a Ctrl-C pressed meanwhile ends the call. Either
// raises through the core when Python says so (a Ctrl-C, a warnings filter
// set to "error"): every item done before stays done. Usable with the
// interpreter lock released.
class PythonSink : public WarningSink {
 public:
  // Warnings point at the caller `stackLevel` frames up: 2 is the caller of
  // the package's function that called in here.
  explicit PythonSink(int stackLevel = 2) : stackLevel_(stackLevel) {}
  void Warn(std::string_view message) override;
  void Progress(int item, int total, std::string_view text) override;

 private:
  int stackLevel_;
};

// Runs `work` with the interpreter lock released, so that other threads run
// meanwhile; `work` must not touch Python objects.
template <class F>
auto Unlocked(F&& work) {
  py::gil_scoped_release release;
  return work();
}

// One writing action at a time, as in the program: the directories an
// action holds (DataDirLock) are the process's, and a write is refused
// outside the held ones. Taken with the interpreter lock released.
std::unique_lock<std::mutex> HoldActions();

// A time or step kept in s by the core, in ms: the value that gives back
// exactly the same seconds when divided by 1000, so that a sweep built from
// another's dt is sampled as that one.
double Ms(double seconds);

}  // namespace velmora::python
