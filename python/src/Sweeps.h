#pragma once
// The sweeps Python sees: each one the core's recording state of one sweep,
// read from a file of any format or built from arrays.

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Bridge.h"
#include "recording/AltFormats.h"
#include "recording/Recording.h"
#include "session/Settings.h"

namespace velmora::python {

// What an ABF or ATF file says about one of its sweeps.
struct AbfHeader {
  std::string file, version;
  int operationMode = 0;
  int sweep = 0;  // 1-based
  std::vector<std::pair<std::string, std::string>> channels;  // name, unit
  int voltage = 0, current = -1, dac = -1;  // the channels and the command output used
  std::string note;  // what stood in for what, or why the sweep has no step
};

// One sweep as the core holds it: a recording of its own with the sweep in
// slot 1, its state as the sweep's read left it (parameters, dt, t0, the
// stimulus window, the step values) and kept with the slot (SweepReading),
// so that an analysis runs on it as on a sweep the program has just read,
// and a session can take it over. Its samples never change once it is
// made: the arrays Python sees point into them, and the analyses read them
// with the interpreter lock released.
struct SweepData {
  Recording rec;
  std::string kind;  // "main", "old columns", "new columns", "ABF1", "ABF2", "ATF" or "arrays"
  std::optional<VarnelHeader> columns;
  std::optional<AbfHeader> abf;
  bool protocolCommand = false;                 // g_command comes from the protocol's parameters
  std::optional<std::vector<double>> gCommand;  // nS per sample: given, or the protocol's once asked for

  const SweepSlot& slot() const { return rec.traces[1]; }
  const std::string& name() const { return rec.FileNames[1]; }
  std::size_t samples() const;
};

using SweepPtr = std::shared_ptr<SweepData>;

// Slot 1 of `from`, just loaded, as a sweep of its own with the state its load kept.
SweepPtr TakeLoaded(Recording& from, const LoadSettings& load);

// The class velmora.Sweep and the readers behind velmora.open.
void AddSweeps(py::module_& m);

}  // namespace velmora::python
