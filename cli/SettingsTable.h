#pragma once
// Settings the command line can change, named after the captions of their
// fields: the caption's words joined by '_', without unit, '=' and '>'; a box
// takes 1 (ticked) or 0, a list its item number.

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "base/Errors.h"
#include "session/Settings.h"

namespace velmora::cli {

using FieldRef = std::variant<double*, bool*, int*, LostParameters*, CompensationMode*>;

struct SettingField {
  const char* name;
  const char* caption;
  FieldRef (*at)(Settings&);
  double scale = 1;              // value given = value stored * scale (seconds given in ms)
  const char* clears = nullptr;  // a box of the same table that ticking this one unticks
};

// "NAME=VALUE" into the settings (names matched without regard to case); the
// error says what was wrong with the assignment.
Status ApplySetting(Settings& settings, std::span<const SettingField> table, std::string_view assignment);

// One line per field: name, value in `defaults`, caption.
std::string SettingsList(std::span<const SettingField> table, const Settings& defaults);

}  // namespace velmora::cli
