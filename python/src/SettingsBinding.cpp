// The settings: the core's Settings, read and set field by field through the
// one table of fields (session/SettingFields) that the program's windows
// and velmora-cli's --set use, values as the fields show them.

#include <fmt/format.h>
#include <pybind11/pybind11.h>

#include "Bridge.h"
#include "session/SettingFields.h"
#include "session/Settings.h"

namespace velmora::python {

namespace {

using namespace py::literals;

const SettingField& FieldNamed(std::string_view name) {
  const SettingField* field = FindSettingField(name);
  if (!field) throw py::key_error(fmt::format("no setting \"{}\"", name));
  return *field;
}

const char* KindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::Number: return "number";
    case SettingKind::Integer: return "integer";
    case SettingKind::Box: return "box";
    case SettingKind::Item: return "item";
  }
  return "";
}

py::object Get(const Settings& s, std::string_view name) {
  const SettingField& f = FieldNamed(name);
  const double shown = ShownValue(f, s);
  switch (f.kind) {
    case SettingKind::Number: return py::float_(shown);
    case SettingKind::Box: return py::bool_(shown == 1);
    default: return py::int_(static_cast<long>(shown));
  }
}

void Set(Settings& s, std::string_view name, double shown) {
  if (Status st = SetShownValue(FieldNamed(name), s, shown); !st) throw py::value_error(st.error().message);
}

py::list Fields() {
  py::list fields;
  for (const SettingField& f : SettingFields()) {
    py::list groups;
    if (f.tags & kFITag) groups.append("fi");
    if (f.tags & kFCTag) groups.append("fc");
    py::list items;
    for (std::string_view item : f.items) items.append(item);
    fields.append(py::dict("name"_a = f.name, "kind"_a = KindName(f.kind), "unit"_a = f.unit, "min"_a = f.min,
                           "max"_a = f.max, "groups"_a = groups, "caption"_a = f.caption, "box"_a = f.box,
                           "note"_a = f.note, "items"_a = items));
  }
  return fields;
}

}  // namespace

void AddSettings(py::module_& m) {
  py::class_<Settings>(m, "_Settings")
      .def(py::init(&StartupSettings))
      .def("_apply_preset", &ApplyParameterSet, "item"_a)
      .def("_get", &Get, "name"_a)
      .def("_set", &Set, "name"_a, "value"_a)
      .def("_copy_from", [](Settings& s, const Settings& other) { s = other; }, "other"_a);
  m.def("_setting_fields", &Fields);
}

}  // namespace velmora::python
