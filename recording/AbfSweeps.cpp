#include "recording/AbfSweeps.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <limits>

#include "recording/TextIO.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSweepMark = " #";

bool EndsWithNoCase(std::string_view s, std::string_view end) {
  return s.size() >= end.size() &&
         std::equal(end.begin(), end.end(), s.end() - static_cast<std::ptrdiff_t>(end.size()),
                    [](char want, char c) { return std::tolower(static_cast<unsigned char>(c)) == want; });
}

// Appends `count` values of `value(k)` to a raw channel emptied first.
template <class F>
void Fill(std::vector<double>& v, std::size_t count, F value) {
  v.clear();
  v.reserve(count);
  for (std::size_t k = 0; k < count; ++k) v.push_back(value(k));
}

}  // namespace

bool IsAbfFileName(std::string_view name) { return EndsWithNoCase(name, ".abf") || EndsWithNoCase(name, ".atf"); }

std::string AbfSweepName(std::string_view file, int sweep) {
  return fmt::format("{}{}{}", file, kSweepMark, sweep + 1);
}

std::optional<AbfSweepRef> ParseAbfSweepName(std::string_view name) {
  const std::size_t mark = name.rfind(kSweepMark);
  if (mark == std::string_view::npos) return std::nullopt;
  const std::string_view file = name.substr(0, mark), number = name.substr(mark + kSweepMark.size());
  if (!IsAbfFileName(file) || number.empty() ||
      !std::ranges::all_of(number, [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const auto k = ParseInteger(number);
  if (!k || *k < 1 || *k > kMaxRawSamples) return std::nullopt;
  return AbfSweepRef{std::string(file), static_cast<int>(*k - 1)};
}

Result<std::shared_ptr<const AbfFile>> KeptAbf(Recording& rec, const fs::path& file, WarningSink& warnings) {
  RawRecording& raw = rec.raw;
  std::error_code sizeError, timeError;
  const std::uintmax_t size = fs::file_size(file, sizeError);
  const fs::file_time_type time = fs::last_write_time(file, timeError);
  if (raw.abf && !sizeError && !timeError && raw.abf->file == file.string() && raw.abfSize == size &&
      raw.abfTime == time)
    return raw.abf;
  raw.abf.reset();  // its memory is free before the next file is read
  auto read = ReadAbf(file, warnings);
  if (!read) return read.error();
  ++raw.tracesParsed;
  raw.abf = std::make_shared<const AbfFile>(std::move(*read));
  raw.abfSize = size;
  raw.abfTime = time;
  return raw.abf;
}

RecordingParameters AbfSweepParameters(const AbfFile& abf, int sweep) {
  const AbfStimulus stim = StimulusOfSweep(abf, sweep);
  RecordingParameters p;
  const std::size_t n = abf.sweeps.at(static_cast<std::size_t>(sweep)).length;
  p.nPar = static_cast<int>(std::min<std::size_t>(n, std::numeric_limits<int>::max()));
  p.dtPar = abf.dt;
  p.TimeFactor = 1;
  p.Duration = static_cast<double>(n) * abf.dt;
  p.ProtocolKind = stim.ProtocolKind;
  p.tStimStart = stim.tStimStart;
  p.tStimEnd = stim.tStimEnd;
  p.ClampWave.I0 = stim.I0;
  p.StepPars.Ifirst = stim.Ifirst;
  p.StepPars.Ilast = stim.Ilast;
  p.StepPars.nSteps = stim.nSteps;
  p.StepPars.CmdScale = 1;
  return p;
}

Status ReadAbfSweep(Recording& rec, const AbfSweepRef& ref, const LoadSettings& settings, WarningSink& warnings) {
  const long readsBefore = rec.raw.tracesParsed;
  auto kept = KeptAbf(rec, ref.file, warnings);
  if (!kept) return kept.error();
  const AbfFile& abf = **kept;
  const bool fresh = rec.raw.tracesParsed != readsBefore;
  const int nSweeps = static_cast<int>(abf.sweeps.size());
  if (ref.sweep < 0 || ref.sweep >= nSweeps)
    return Error{ref.file, 0, "", fmt::format("there is no sweep {}: the file has {}", ref.sweep + 1, nSweeps)};
  auto channels = ChosenChannels(abf, settings);
  if (!channels) return channels.error();
  const int dac = CommandDac(abf);
  const AbfCommand command = RebuildCommand(abf, dac, ref.sweep);
  const bool commandInPA = command.rebuilt && (abf.dacs[dac].unit == "pA" || abf.dacs[dac].unit == "nA");
  if (fresh) {
    if (!channels->note.empty()) warnings.Warn(fmt::format("{}: {}", abf.file, channels->note));
    if (!command.rebuilt)
      warnings.Warn(fmt::format("{}: {}; the command current is taken as 0 and the stimulus window as the whole sweep",
                                abf.file, command.why));
    else if (!commandInPA && dac >= 0)
      warnings.Warn(
          fmt::format("{}: the command (DAC {}) is in \"{}\", not a current; the command current is taken as 0",
                      abf.file, dac, abf.dacs[dac].unit));
  }

  RecordingParameters par = AbfSweepParameters(abf, ref.sweep);
  RawRecording& raw = rec.raw;
  const std::span<const float> V = abf.Sweep(channels->voltage, ref.sweep);
  std::size_t n = V.size();
  if (n > static_cast<std::size_t>(kMaxRawSamples)) {
    warnings.Warn(SampleCapMessage(AbfSweepName(abf.file, ref.sweep)));
    n = kMaxRawSamples;
  }
  const double dt = abf.dt, vScale = channels->voltageScale;
  const double toPA = commandInPA && abf.dacs[dac].unit == "nA" ? 1000 : 1;
  Fill(raw.tRaw, n, [&](std::size_t k) { return static_cast<double>(k + 1) * dt; });
  Fill(raw.VRaw, n, [&](std::size_t k) { return V[k] * vScale; });
  Fill(raw.IcomRaw, n, [&](std::size_t k) { return commandInPA ? command.level[k] * toPA : 0.0; });
  if (channels->current >= 0) {
    const std::span<const float> I = abf.Sweep(channels->current, ref.sweep);
    const double iScale = channels->currentScale;
    Fill(raw.IrealRaw, n, [&](std::size_t k) { return I[k] * iScale; });
  } else {
    raw.IrealRaw = raw.IcomRaw;
  }
  // Nothing of the recording read before may pass for this one's.
  for (std::vector<double>* v :
       {&raw.LFPRaw, &raw.Ch4Raw, &raw.Ch5Raw, &raw.Ch6Raw, &raw.VCcol1, &raw.VCcol2, &raw.VCcol3})
    v->clear();
  raw.nRaw = static_cast<int>(n) - 1;
  par.Duration = static_cast<double>(n) * dt;
  par.DynVC.VCmismatch = par.nPar != par.DynVC.VCcount ? 1 : 0;
  rec.par = std::move(par);
  return Ok();
}

std::string EpochTypeName(int type) {
  switch (static_cast<EpochType>(type)) {
    case EpochType::Step:
      return "step";
    case EpochType::Ramp:
      return "ramp";
    case EpochType::PulseTrain:
      return "pulse train";
    case EpochType::TriangleTrain:
      return "triangle train";
    case EpochType::CosineTrain:
      return "cosine train";
    case EpochType::Biphasic:
      return "biphasic train";
    default:
      return fmt::format("type {}", type);
  }
}

Result<AbfChannelChoice> ChosenChannels(const AbfFile& abf, const LoadSettings& settings) {
  const auto given = [](int channel) { return channel >= 0 ? std::optional<int>(channel) : std::nullopt; };
  return ChooseChannels(abf, given(settings.voltageChannel), given(settings.currentChannel));
}

const char* ReplacedName(AbfUserList::Replaces what) {
  switch (what) {
    case AbfUserList::Replaces::Level:
      return "level";
    case AbfUserList::Replaces::Duration:
      return "duration";
    case AbfUserList::Replaces::PulsePeriod:
      return "pulse period";
    case AbfUserList::Replaces::PulseWidth:
      return "pulse width";
  }
  return "";
}

}  // namespace velmora
