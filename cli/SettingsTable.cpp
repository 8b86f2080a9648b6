#include "cli/SettingsTable.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <type_traits>

#include "recording/TextIO.h"

namespace velmora::cli {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

const SettingField* Find(std::span<const SettingField> table, std::string_view name) {
  for (const SettingField& s : table)
    if (SameName(s.name, name)) return &s;
  return nullptr;
}

std::string ValueText(const SettingField& entry, Settings& settings) {
  return std::visit(
      [&](auto* p) -> std::string {
        using T = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<T, double>) return fmt::format("{}", *p * entry.scale);
        else if constexpr (std::is_same_v<T, bool>) return *p ? "1" : "0";
        else return fmt::format("{}", static_cast<int>(*p));
      },
      entry.at(settings));
}

}  // namespace

Status ApplySetting(Settings& settings, std::span<const SettingField> table, std::string_view assignment) {
  const auto bad = [&](std::string message) { return Error{"--set", 0, std::string(assignment), message}; };
  const auto eq = assignment.find('=');
  if (eq == std::string_view::npos) return bad("expected NAME=VALUE");
  const SettingField* entry = Find(table, assignment.substr(0, eq));
  if (!entry) return bad(fmt::format("no setting \"{}\" (see --help)", assignment.substr(0, eq)));
  const std::string_view text = assignment.substr(eq + 1);
  const auto value = ParseReal(text);
  if (!value) return bad(fmt::format("\"{}\" is not a number", text));
  const double x = *value;
  const auto whole = [&](double lo, double hi) { return x == std::trunc(x) && x >= lo && x <= hi; };
  FieldRef ref = entry->at(settings);
  if (auto* d = std::get_if<double*>(&ref)) {
    **d = x / entry->scale;
  } else if (auto* b = std::get_if<bool*>(&ref)) {
    if (x != 0 && x != 1) return bad("a box takes 1 (ticked) or 0");
    **b = x == 1;
    if (**b && entry->clears)
      if (const SettingField* other = Find(table, entry->clears)) *std::get<bool*>(other->at(settings)) = false;
  } else if (auto* i = std::get_if<int*>(&ref)) {
    if (!whole(-1e9, 1e9)) return bad("expected a whole number");
    **i = static_cast<int>(x);
  } else if (auto* lost = std::get_if<LostParameters*>(&ref)) {
    if (!whole(0, 5)) return bad("expected an item 0..5");
    **lost = static_cast<LostParameters>(static_cast<int>(x));
  } else {
    if (!whole(0, 6)) return bad("expected an item 0..6");
    *std::get<CompensationMode*>(ref) = static_cast<CompensationMode>(static_cast<int>(x));
  }
  return Ok();
}

std::string SettingsList(std::span<const SettingField> table, const Settings& defaults) {
  Settings copy = defaults;
  std::string text;
  for (const SettingField& s : table)
    text += fmt::format("  {:<33} {:>8}  \"{}\"\n", s.name, ValueText(s, copy), s.caption);
  return text;
}

}  // namespace velmora::cli
