// velmora._core: the compiled half of the package velmora; the Python half
// (velmora/__init__.py) gives it its public names.

#include <pybind11/pybind11.h>

#include "Bridge.h"
#include "Sweeps.h"

namespace velmora::python {
void AddSettings(py::module_& m);  // SettingsBinding.cpp
void AddAnalyses(py::module_& m);  // Analyses.cpp
}  // namespace velmora::python

PYBIND11_MODULE(_core, m) {
  using namespace velmora::python;
  m.doc() = "Velmora's core: readers and analyses of intracellular recordings";
  m.attr("__version__") = VELMORA_VERSION;
  AddExceptions(m);
  AddSweeps(m);
  AddSettings(m);
  AddAnalyses(m);
}
