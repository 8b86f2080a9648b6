#pragma once
// The setting fields, described once: the window that shows a field and the
// command line that sets it both take its caption, unit, spin format and
// limits from here. The defaults are those of Settings (StartupSettings()).

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "base/Errors.h"
#include "session/Settings.h"

namespace velmora {

enum class SettingKind {
  Number,   // a real value in a spin field
  Integer,  // a spin field holding a count, taken whole
  Box,      // a check box: 1 ticked, 0 not
  Item,     // a list: the value of the item chosen (min for the first item)
};

// Which command-line analysis lists and sets the field; 0: the window only.
enum SettingTag : unsigned { kFITag = 1, kFCTag = 2 };

// The spin range of a field that needs no limit of its own.
inline constexpr double kNoLimit = 1e9;

using FieldRef = std::variant<double*, int*, bool*, LostParameters*, CompensationMode*>;

struct SettingField {
  std::string_view name;     // the command line's NAME: the caption's words joined by '_'
  std::string_view caption;  // exactly as the window shows it; "" for a field beside another's caption
  std::string_view box = "";   // title of the group box around the field, for listings
  std::string_view note = "";  // listings only: which field, where the caption does not tell
  SettingKind kind = SettingKind::Number;
  FieldRef (*at)(Settings&) = nullptr;
  std::string_view unit = "";  // of the value shown
  double scale = 1;            // value shown = value stored * scale
  int decimals = 0;
  double increment = 1;
  double min = -kNoLimit, max = kNoLimit;  // of the value shown
  unsigned tags = 0;
  std::string_view unticks = "";               // a box that ticking this box unticks
  std::span<const std::string_view> items = {};  // of a list, in order
};

std::span<const SettingField> SettingFields();

// By name, without regard to case; null when there is none.
const SettingField* FindSettingField(std::string_view name);

// The value as the field shows it: stored * scale, a box 1 or 0, a list its item.
double ShownValue(const SettingField& field, const Settings& settings);

// Stores a value given as the field shows it. A value outside the limits, a
// fraction for a count, box or list is refused with a message that names
// the setting and its range, and nothing changes.
Status SetShownValue(const SettingField& field, Settings& settings, double shown);

// "NAME=VALUE" for a field carrying one of `tags`; the error names the assignment.
Status ApplySetting(Settings& settings, std::string_view assignment, unsigned tags);

// One line per field carrying one of `tags`: name, value in `values`, unit,
// where the window shows it and the limits; the items of a list below it.
std::string SettingsList(unsigned tags, const Settings& values);

}  // namespace velmora
