#include "session/SettingFields.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <type_traits>
#include <vector>

#include "recording/TextIO.h"

namespace velmora {

namespace {

constexpr unsigned kFI = kFITag, kFC = kFCTag, kBoth = kFITag | kFCTag;

constexpr std::string_view kLostItems[] = {
    "Icom: 0: 'Constant'",       "Icom: 1: 'I-sin, g-const'",   "Icom: 2: 'I-const, g-cos'",
    "Icom: 3: 'I-sin, g-cos'",   "Icom: 4: 'I-steps, g-const'", "Ireal is absent, Icom=Ireal"};
constexpr std::string_view kCompensationItems[] = {"Don't use Ireal and FC.Meander",
                                                   "Use Ireal delayed or filtered",
                                                   "Use FC.Meander",
                                                   "C&G compensation after Estimation",
                                                   "C&G compensation after Estimation w/o Meander",
                                                   "tau&G compens. after Estimation w/o Meander",
                                                   "tau&G compens. after Estimation"};
constexpr std::string_view kLatticeItems[] = {"z1", "z2", "z3"};

SettingField Integer(SettingField f) {
  f.kind = SettingKind::Integer;
  return f;
}

SettingField Box(SettingField f) {
  f.kind = SettingKind::Box;
  f.min = 0, f.max = 1;
  return f;
}

// The items take the values first, first + 1, ...
SettingField List(SettingField f, std::span<const std::string_view> items, int first = 0) {
  f.kind = SettingKind::Item;
  f.items = items;
  f.min = first, f.max = first + static_cast<int>(items.size()) - 1;
  return f;
}

#define AT(member) [](Settings& s) -> FieldRef { return &s.member; }

// In the order of the windows: the main window's bar and pages, its
// "Firing-Clamp" and "Approximate_FC" tabs, then the secondary windows.
const std::vector<SettingField>& Table() {
  static const std::vector<SettingField> table = {
      {.name = "Analyze_since_t0", .caption = "Analyze since t0=                           ms",
       .at = AT(load.t0), .unit = "ms", .increment = 10000, .min = 0, .tags = kBoth},
      // Plots page, under the current chart.
      Box({.name = "Show_command_I_and_G", .caption = "Show command I and G", .at = AT(draw.showCommandIG)}),
      Box({.name = "Plots.Align_to_stimuli", .caption = "Align to stimuli", .note = "current chart",
           .at = AT(draw.alignCurrent)}),

      // "Options" page.
      Integer({.name = "n_Draw", .caption = "n_Draw", .at = AT(nDraw), .min = 0}),
      Integer({.name = "n_Pointer", .caption = "n_Pointer", .at = AT(nPointer), .increment = 20, .min = 0}),
      // Column files are read every Skip-th line: below 1 there is no step.
      Integer({.name = "Skip", .caption = "Skip", .at = AT(Skip), .min = 1, .tags = kFI}),
      {.name = "to_be", .caption = "to be > ", .note = "least bridge value", .at = AT(fi.ToBeAbove),
       .tags = kFI},
      {.name = "Points_size_increase", .caption = "Points' size increase", .at = AT(PointsSizeIncrease),
       .min = -100, .max = 100},
      {.name = "V_min", .caption = "V_min=                                     mV", .box = "Spike criteria",
       .at = AT(spikes.SpikeCriteria.V_min), .unit = "mV", .tags = kFI},
      {.name = "dVdt_min", .caption = "dVdt_min=                               mV/ms", .box = "Spike criteria",
       .at = AT(spikes.SpikeCriteria.dVdt_min), .unit = "mV/ms", .tags = kFI},
      {.name = "d2Vdt2_min", .caption = "d2Vdt2_min=                          mV/ms^2", .box = "Spike criteria",
       .at = AT(spikes.SpikeCriteria.d2Vdt2_min), .unit = "mV/ms^2", .tags = kFI},
      // A window is not negative, and one of 1000 s is longer than any sweep.
      {.name = "TimeWindow", .caption = "TimeWindow                          ms", .box = "Spike criteria",
       .at = AT(spikes.SpikeCriteria.TimeWindow), .unit = "ms", .scale = 1000, .decimals = 2, .increment = 10,
       .min = 0, .max = 1e6, .tags = kFI},
      {.name = "AHP_fast.dVdt_min", .caption = "dVdt_min=                                     mV/ms", .box = "AHP fast",
       .at = AT(spikes.AHPfast.dVdt_min), .unit = "mV/ms", .tags = kFI},
      {.name = "TimeSincePeak", .caption = "TimeSincePeak                          ms", .box = "AHP fast",
       .at = AT(spikes.AHPfast.TimeSincePeak), .unit = "ms", .scale = 1000, .decimals = 2, .increment = 10,
       .min = 0, .max = 1e6, .tags = kFI},
      // Which channels of an ABF or ATF file are read; a loaded sweep is read again with another choice.
      Integer({.name = "Voltage_channel", .caption = "Voltage channel", .box = "ABF and ATF channels",
               .note = "-1: the first in mV, else in V", .at = AT(load.voltageChannel), .min = -1, .max = 63,
               .tags = kBoth}),
      Integer({.name = "Current_channel", .caption = "Current channel", .box = "ABF and ATF channels",
               .note = "-1: the first in pA, else in nA", .at = AT(load.currentChannel),
               .min = -1, .max = 63, .tags = kBoth}),
      Box({.name = "Filter", .caption = "Filter", .box = "Filtering", .at = AT(filter.on), .tags = kFI}),
      {.name = "Filter_scale", .caption = "Filter scale                          ms", .box = "Filtering",
       .at = AT(filter.tauF), .unit = "ms", .decimals = 2, .increment = 0.05, .min = 0, .max = 1e6, .tags = kFI},
      // Every pass runs twice over up to 900,001 samples: the filter's own
      // limit, above which a read would only stall.
      Integer({.name = "Iterations", .caption = "Iterations", .box = "Filtering", .at = AT(filter.iterations),
               .min = 0, .max = kMaxFilterIterations, .tags = kFI}),
      {.name = "Scale_of_curvature", .caption = "Scale of curvature, mV/ms", .box = "Threshold",
       .at = AT(spikes.ThresholdScale), .unit = "mV/ms", .decimals = 2, .increment = 0.1, .tags = kFI},
      {.name = "Limit_interval_for_analysis_by",
       .caption = "Limit interval for analysis by                            ms", .box = "F-I-curves ",
       .at = AT(fi.LimitInterval), .unit = "ms", .decimals = 2, .increment = 500, .min = 0, .max = 1e12,
       .tags = kFI},
      Box({.name = "Cut_spike_train", .caption = "Cut spike train if ISI changes in                     times",
           .box = "F-I-curves ", .at = AT(fi.CutTrain), .tags = kFI}),
      {.name = "ISI_changes_in_times", .caption = "", .box = "F-I-curves ",
       .note = "the factor of \"Cut spike train if ISI changes in ... times\"", .at = AT(fi.CutFactor),
       .decimals = 1, .increment = 0.1, .min = 0, .max = 1e6, .tags = kFI},
      // A sweep counts at most 4100 spikes.
      Integer({.name = "nu_Last_if_number_of_spikes", .caption = "Calculate  nu_Last  if number of spikes >",
               .box = "F-I-curves ", .at = AT(fi.nuLastMinSpikes), .min = 0, .max = kMaxSpikes, .tags = kFI}),
      Box({.name = "nu_Last_on_last_1/3", .caption = "Calculate nu_Last  on last 1/3 of stim. period",
           .box = "F-I-curves ", .at = AT(fi.nuLastLastThird), .tags = kFI, .unticks = "nu_Last_on_last_2/3"}),
      Box({.name = "nu_Last_on_last_2/3", .caption = "Calculate nu_Last  on last 2/3 of stim. period",
           .box = "F-I-curves ", .at = AT(fi.nuLastLastTwoThirds), .tags = kFI, .unticks = "nu_Last_on_last_1/3"}),
      Box({.name = "nu_Last_0_if_a_break", .caption = "nu_Last=0 if a break in spike train occurs",
           .box = "F-I-curves ", .at = AT(fi.nuLastZeroOnBreak), .tags = kFI}),
      Box({.name = "VT_etc_0_if_a_break", .caption = "VT etc. = 0  if a break occurs", .box = "F-I-curves ",
           .at = AT(fi.ZeroOnBreak), .tags = kFI}),

      // "Sample" page: the window itself keeps "Smpl" within the loaded sweeps.
      Integer({.name = "Smpl", .caption = "Smpl", .note = "sweep shown", .at = AT(Smpl)}),

      // "Compensation" page.
      {.name = "G1", .caption = "G1,nS", .box = "Offline electrode compensation", .at = AT(compensation.G1),
       .unit = "nS", .tags = kFC},
      {.name = "C1/C", .caption = "C1/C", .box = "Offline electrode compensation", .at = AT(compensation.C1C),
       .decimals = 2, .increment = 0.1, .tags = kFC},
      List({.name = "compensation_mode", .caption = "", .box = "Offline electrode compensation",
            .note = "the mode list", .at = AT(compensation.mode), .tags = kFC},
           kCompensationItems),
      Integer({.name = "delay_I", .caption = "", .box = "Offline electrode compensation",
               .note = "first of the \"delays\"", .at = AT(compensation.DelayI), .unit = "samples", .min = 0,
               .max = 1e6, .tags = kFC}),
      Integer({.name = "delay_T", .caption = "", .box = "Offline electrode compensation",
               .note = "second of the \"delays\"", .at = AT(compensation.DelayT), .unit = "samples", .min = 0,
               .max = 1e6, .tags = kFC}),
      Integer({.name = "delay_V", .caption = "", .box = "Offline electrode compensation",
               .note = "third of the \"delays\"", .at = AT(compensation.DelayV), .unit = "samples", .min = 0,
               .max = 1e6, .tags = kFC}),
      {.name = "tau_Ifilt", .caption = "tau_Ifilt, mus", .box = "Offline electrode compensation",
       .at = AT(compensation.tauIfilt), .unit = "us", .increment = 30, .min = 0, .tags = kFC},

      // "Saturation" page.
      {.name = "Meander_pos_pulse_understimation", .caption = "Meander pos. pulse understimation, pA ",
       .at = AT(approx.U), .unit = "pA", .increment = 10, .tags = kFC},
      {.name = "G_scale", .caption = "G_scale, nS", .at = AT(approx.Gs), .unit = "nS", .decimals = 1,
       .increment = 0.2, .tags = kFC},

      // "Firing-Clamp" tab.
      Box({.name = "Write_in_file", .caption = "Write in file", .at = AT(fc.writeInFile)}),
      Box({.name = "Approximate", .caption = "Approximate", .at = AT(fc.approximate)}),
      List({.name = "Lost_parameters", .caption = "", .box = "Lost parameters", .at = AT(load.lost), .tags = kBoth},
           kLostItems),
      Box({.name = "correct_Vus", .caption = "correct Vus=-70mV, not 0", .box = "Lost parameters",
           .at = AT(fc.correctVus70), .tags = kFC}),
      // Above 1 the inputs move by whole pulses, as the analysis of the pulses allows.
      {.name = "Shift_input_vs_output", .caption = "Shift input vs output, [0,1]", .at = AT(fc.Shift),
       .decimals = 2, .increment = 0.1, .tags = kFC},
      {.name = "if_V_discontinuity", .caption = "if V discontinuity >", .box = "Mark a pulse as a flaw",
       .at = AT(fc.FlawThreshold), .unit = "mV", .min = 0, .max = 1e6, .tags = kFC},
      {.name = "Exclude_initial", .caption = "Exclude initial", .at = AT(fc.ExcludeInitial), .unit = "ms",
       .increment = 10, .min = 0, .tags = kFC},
      Box({.name = "Align_to_stimuli", .caption = "Align to stimuli", .note = "firing-clamp chart",
           .at = AT(draw.alignFC), .tags = kFC}),
      Box({.name = "subV", .caption = "subV", .box = "Which to plot", .at = AT(whichToPlot.subV)}),
      Box({.name = "NegPulseD", .caption = "NegPulseD", .box = "Which to plot", .at = AT(NegPulseD)}),
      Box({.name = "VT", .caption = "VT", .box = "Which to plot", .at = AT(whichToPlot.VT)}),
      Box({.name = "PulseV-VT", .caption = "PulseV-VT", .box = "Which to plot", .at = AT(whichToPlot.PulseV_VT)}),
      Box({.name = "PulseV", .caption = "PulseV", .box = "Which to plot", .at = AT(whichToPlot.PulseV)}),
      Box({.name = "dVdt", .caption = "dVdt", .box = "Which to plot", .at = AT(whichToPlot.dVdt)}),
      Box({.name = "VHalfPulse", .caption = "VHalfPulse", .box = "Which to plot", .at = AT(whichToPlot.VHalfPulse)}),
      Box({.name = "dVdt_V1", .caption = "dVdt_V1", .box = "Which to plot", .at = AT(whichToPlot.dVdt_V1)}),
      Box({.name = "dVdt_V2", .caption = "dVdt_V2", .box = "Which to plot", .at = AT(whichToPlot.dVdt_V2)}),

      // "Approximate_FC" tab; z numbers 3..11 as the label beside them lists.
      Integer({.name = "z1", .caption = "z1=V", .note = "z number", .at = AT(approx.iz1), .min = 0,
               .max = 11, .tags = kFC}),
      Integer({.name = "z2", .caption = "z2=V", .note = "z number", .at = AT(approx.iz2), .min = 0,
               .max = 11, .tags = kFC}),
      Box({.name = "If_use_3", .caption = "If use 3", .at = AT(approx.Use3), .tags = kFC}),
      Integer({.name = "z3", .caption = "z3=V", .note = "z number", .at = AT(approx.iz3), .min = 0,
               .max = 11, .tags = kFC}),
      {.name = "eps", .caption = "eps", .box = "Precision and tolerance", .at = AT(precision.Eps), .decimals = 4,
       .increment = 0.01, .min = 0, .max = 1e6, .tags = kFC},
      // A sine.
      {.name = "min_angle_between_gradients", .caption = "min angle between gradients",
       .box = "Precision and tolerance", .at = AT(precision.MinAngle), .decimals = 3, .increment = 0.01, .min = 0,
       .max = 1, .tags = kFC},
      // Newton steps for each of up to 10,000 pulses: beyond 10,000 a run
      // that does not converge would take hours.
      Integer({.name = "max_iteration_number", .caption = "max iteration number", .box = "Precision and tolerance",
               .at = AT(precision.MaxIter), .increment = 10, .min = 0, .max = 10000, .tags = kFC}),
      {.name = "V1", .caption = "V1, mV", .box = "Analytic estimation from dV/dt at V1, V2", .at = AT(fc.V1),
       .unit = "mV", .decimals = 1, .tags = kFC},
      {.name = "V2", .caption = "V2, mV", .box = "Analytic estimation from dV/dt at V1, V2", .at = AT(fc.V2),
       .unit = "mV", .decimals = 1, .tags = kFC},
      Integer({.name = "nV1_max", .caption = "nV1_max", .box = "Analytic estimation from dV/dt at V1, V2",
               .at = AT(fc.nV1max), .min = 0, .max = 1e6, .tags = kFC}),
      Integer({.name = "nV2_max", .caption = "nV2_max", .box = "Analytic estimation from dV/dt at V1, V2",
               .at = AT(fc.nV2max), .min = 0, .max = 1e6, .tags = kFC}),
      {.name = "C", .caption = "C, nF", .box = "Analytic estimation from dV/dt at V1, V2", .at = AT(fc.C),
       .unit = "nF", .decimals = 3, .increment = 0.01, .tags = kFC},
      {.name = "VL", .caption = "VL, mV", .box = "Analytic estimation from dV/dt at V1, V2", .at = AT(fc.VL),
       .unit = "mV", .decimals = 1, .tags = kFC},
      {.name = "GL", .caption = "GL, nS", .box = "Analytic estimation from dV/dt at V1, V2", .at = AT(fc.GL),
       .unit = "nS", .decimals = 1, .tags = kFC},
      List({.name = "lattice1", .caption = "", .note = "surface of the first lattice frame",
            .at = AT(latticeSurface1), .tags = kFC},
           kLatticeItems, 1),
      List({.name = "lattice2", .caption = "", .note = "surface of the second lattice frame",
            .at = AT(latticeSurface2), .tags = kFC},
           kLatticeItems, 1),

      // "Form5: Estimations_FC". Averaging bins need a width: 0.1 ms is the
      // least the field's one decimal shows.
      {.name = "dt_av", .caption = "dt_av ,ms=", .at = AT(estimations.dt_av), .unit = "ms",
       .decimals = 1, .increment = 25, .min = 0.1, .tags = kFC},
      {.name = "Junction_potential", .caption = "Junction potential", .box = "Corrections",
       .at = AT(estimations.corrections.Vjunction), .unit = "mV", .decimals = 1, .tags = kFC},
      {.name = "VE", .caption = "VE", .box = "Corrections", .at = AT(estimations.corrections.VE), .unit = "mV",
       .tags = kFC},
      {.name = "VI", .caption = "VI", .box = "Corrections", .at = AT(estimations.corrections.VI), .unit = "mV",
       .tags = kFC},
      {.name = "Offset_current", .caption = "Offset current", .box = "Corrections",
       .at = AT(estimations.corrections.Ioffset), .unit = "pA", .decimals = 2, .increment = 5, .tags = kFC},
      {.name = "Offset_cond", .caption = "Offset cond.", .box = "Corrections",
       .at = AT(estimations.corrections.Goffset), .unit = "nS", .decimals = 2, .increment = 0.5, .tags = kFC},
      {.name = "w_to_filter_z1_z2", .caption = "w to filter z1,z2", .box = "Corrections",
       .at = AT(estimations.corrections.wFilter), .decimals = 2, .increment = 0.1, .tags = kFC},
      Box({.name = "show_lines", .caption = "show lines", .at = AT(estimations.showLines)}),
      Box({.name = "V_from_GE_GI", .caption = "V from GE,GI", .at = AT(estimations.VfromGEGI)}),
      Box({.name = "V_syn", .caption = "V_syn", .box = "Reversal ", .at = AT(estimations.reversal.VsynOn),
           .tags = kFC}),
      // Time constants: below 0 the chloride dynamics grow without bound.
      {.name = "tau1", .caption = "tau1,      tau2, ms", .box = "Reversal ", .at = AT(estimations.reversal.Tau1),
       .unit = "ms", .increment = 50, .min = 0, .tags = kFC},
      {.name = "tau2", .caption = "", .box = "Reversal ", .note = "tau2", .at = AT(estimations.reversal.Tau2),
       .unit = "ms", .increment = 50, .min = 0, .tags = kFC},
      {.name = "k", .caption = "k, mM/s/nS", .box = "Reversal ", .at = AT(estimations.reversal.Kcl),
       .unit = "mM/s/nS", .decimals = 3, .increment = 0.01, .tags = kFC},
      Box({.name = "NMDA", .caption = "", .box = "NMDA", .note = "the group's box", .at = AT(estimations.nmda.NMDAon),
           .tags = kFC}),
      // A concentration; below 0 the magnesium block can divide by zero.
      {.name = "Mg", .caption = "Mg", .box = "NMDA", .at = AT(estimations.nmda.Mg), .unit = "mM", .decimals = 2,
       .increment = 0.05, .min = 0, .tags = kFC},
      {.name = "Veff", .caption = "Veff, mV", .box = "NMDA", .at = AT(estimations.nmda.Veff), .unit = "mV",
       .increment = 5, .tags = kFC},
      {.name = "V_from_GE_GI_VL", .caption = "VL=", .note = "of the voltage from GE, GI",
       .at = AT(estimations.VLss), .unit = "mV", .tags = kFC},

      // "Form6: current".
      {.name = "ddI_limit", .caption = "ddI_limit", .at = AT(stim.ddI_limit), .decimals = 2},
      // What the artefact search accepts, to the field's two decimals.
      {.name = "Stimulation_frequency", .caption = "Stimulation frequency, Hz", .at = AT(stim.frequency),
       .unit = "Hz", .decimals = 2, .min = 0.01, .max = 1000},

      // "Form10: LFP".
      {.name = "Filter_time_constant", .caption = "Filter time constant, ms", .at = AT(draw.lfpTau),
       .unit = "ms", .decimals = 2, .increment = 0.1, .min = 0, .max = 1e6},
  };
  return table;
}

#undef AT

bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::string Range(const SettingField& f) {
  return fmt::format("{}..{}{}{}", f.min, f.max, f.unit.empty() ? "" : " ", f.unit);
}

// Runs of blanks that make room for a field in the window mean nothing in a listing.
std::string Collapsed(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out += c;
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Where(const SettingField& f) {
  std::string text = Collapsed(f.box);
  if (!f.caption.empty()) text = fmt::format("{}{}\"{}\"", text, text.empty() ? "" : ": ", Collapsed(f.caption));
  if (!f.note.empty()) text = fmt::format("{}{}({})", text, text.empty() ? "" : " ", f.note);
  return text;
}

}  // namespace

std::span<const SettingField> SettingFields() { return Table(); }

const SettingField* FindSettingField(std::string_view name) {
  for (const SettingField& f : Table())
    if (SameName(f.name, name)) return &f;
  return nullptr;
}

double ShownValue(const SettingField& field, const Settings& settings) {
  // The accessor is not const only because the same one also writes.
  const FieldRef ref = field.at(const_cast<Settings&>(settings));
  return std::visit(
      [&](auto* p) -> double {
        using T = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<T, double> || std::is_same_v<T, int>) return *p * field.scale;
        else if constexpr (std::is_same_v<T, bool>) return *p ? 1 : 0;
        else return static_cast<int>(*p);
      },
      ref);
}

Status SetShownValue(const SettingField& field, Settings& settings, double shown) {
  const bool whole = field.kind != SettingKind::Number;
  if (!(shown >= field.min && shown <= field.max) || (whole && shown != std::trunc(shown))) {
    std::string message;
    switch (field.kind) {
      case SettingKind::Number: message = fmt::format("{} must lie within {}", field.name, Range(field)); break;
      case SettingKind::Integer: message = fmt::format("{} takes whole numbers {}", field.name, Range(field)); break;
      case SettingKind::Box: message = fmt::format("{} takes 1 (ticked) or 0", field.name); break;
      case SettingKind::Item: message = fmt::format("{} takes an item {}", field.name, Range(field)); break;
    }
    return Error{"", 0, "", fmt::format("{}, not {}", message, shown)};
  }
  std::visit(
      [&](auto* p) {
        using T = std::remove_pointer_t<decltype(p)>;
        if constexpr (std::is_same_v<T, double>) *p = shown / field.scale;
        else if constexpr (std::is_same_v<T, bool>) *p = shown == 1;
        else *p = static_cast<T>(static_cast<int>(shown / field.scale));
      },
      field.at(settings));
  if (field.kind == SettingKind::Box && shown == 1 && !field.unticks.empty())
    if (const SettingField* other = FindSettingField(field.unticks)) *std::get<bool*>(other->at(settings)) = false;
  return Ok();
}

Status ApplySetting(Settings& settings, std::string_view assignment, unsigned tags) {
  const auto bad = [&](std::string message) { return Error{"--set", 0, std::string(assignment), message}; };
  const auto eq = assignment.find('=');
  if (eq == std::string_view::npos) return bad("expected NAME=VALUE");
  const std::string_view name = assignment.substr(0, eq);
  const SettingField* field = FindSettingField(name);
  if (!field || !(field->tags & tags)) return bad(fmt::format("no setting \"{}\" for this command (see --help)", name));
  const std::string_view text = assignment.substr(eq + 1);
  const auto value = ParseReal(text);
  if (!value) return bad(fmt::format("\"{}\" is not a number", text));
  if (Status st = SetShownValue(*field, settings, *value); !st) return bad(st.error().message);
  return Ok();
}

std::string SettingsList(unsigned tags, const Settings& values) {
  std::string text;
  for (const SettingField& f : Table()) {
    if (!(f.tags & tags)) continue;
    const bool limited = f.kind != SettingKind::Box && (f.min > -kNoLimit || f.max < kNoLimit);
    text += fmt::format("  {:<33} {:>8} {:<8} {}{}\n", f.name, ShownValue(f, values), f.unit, Where(f),
                        limited ? fmt::format(", {}..{}", f.min, f.max) : "");
    for (std::size_t k = 0; k < f.items.size(); ++k)
      text += fmt::format("  {:>42} {}\n", static_cast<int>(f.min + k), f.items[k]);
  }
  return text;
}

}  // namespace velmora
