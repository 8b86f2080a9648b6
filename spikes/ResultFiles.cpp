#include "spikes/ResultFiles.h"

#include <fmt/format.h>

#include <algorithm>
#include <variant>
#include <vector>

#include "spikes/FICurves.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

enum File { Nu, Vav, WidthAP, Vpeak, All, VAHP, VT, AdaptRatio, Rate, VAHPfast, Rheobase };

constexpr std::string_view kPerSweep = "% For each trace: 1-Gclamp, 2-Iclamp, 3-Gclamp/tau_m, 4-Iclamp/tau_m, ";
constexpr std::string_view kPerSpike = "% For each spike: 1-Gclamp, 2-Iclamp, 3-Gclamp/tau_m, 4-Iclamp/tau_m, ";
constexpr std::string_view kFirstSpike =
    "% For the first spike: 1-Gclamp, 2-Iclamp, 3-Gclamp/tau_m, 4-Iclamp/tau_m, ";

constexpr std::array<std::string_view, kResultFiles> kColumns = {
    "5-TotalNumberOfSpikes, 6-Latency since start of stimulus and AP, 7-..-Reverse interspike intervals",
    "5-TotalNumberOfSpikes, 6-..-Average voltage",
    "5-TotalNumberOfSpikes, 6-..-HalfWidthOfAP",
    "5-TotalNumberOfSpikes, 6-..-Peak voltage(Vpeak)",
    "5-SpikeNumber, 6-nu, 7-Threshold voltage(VT), 8-SpikeAmplitude(Vpeak-VT), 9-(VT-VAHP), 10-HalfWidthOfAP, "
    "11-Afterhyperpolarization(VAHP), 12-fastAfterhyperpolarization determined by AHPfast.dVdt_min (VAHPfast), "
    "13-time of AP",
    "5-TotalNumberOfSpikes, 6-..-Afterhyperpolarization(VAHP)",
    "5-TotalNumberOfSpikes, 6-..-Threshold voltage(VT)",
    "5-TotalNumberofSpikes, 6-Last ISI relative to first ISI (ISI[IIspike]/ISI[2])",
    "5-TotalNumberOfSpikes, 6-Rate based on TotalNumberOfSpikes per stimulus duration ,7-Rate based on "
    "NumberOfSpikesInLastOneThirdOfStimulationInterval (nuLast)",
    "5-TotalNumberOfSpikes, 6-..-fastAfterhyperpolarization determined by AHPfast.dVdt_min (VAHPfast)",
    "5-Nothing(Zero), 6-rate (nu), 7-Threshold(VT), 8-SpikeAmplitude(Vpeak-VT), 9-(VT-VAHP), 10-HalfWidthOfAP, "
    "11-Afterhyperpolarization(VAHP), 12-fastAfterhyperpolarization determined by AHPfast.dVdt_min (VAHPfast), "
    "13-time of AP"};

constexpr std::string_view kEol = "\r\n";

// A value and the blank that follows it.
std::string Field(double x, int width, int decimals) { return Fixed(x, width, decimals) + ' '; }
std::string Count(int n) { return fmt::format("{:3} ", n); }

std::string Prefix(const SweepResults& r) {
  const double G = r.tau_m > 0 ? r.Gclamp / r.tau_m : 0;
  const double I = r.tau_m > 0 ? r.Iclamp / r.tau_m : 0;
  return Field(r.Gclamp, 7, 2) + Field(r.Iclamp, 7, 2) + Field(G, 7, 4) + Field(I, 7, 4);
}

// One line of a per-sweep table: P, the count, then value(k) for each spike.
template <class Value>
std::string PerSweepLine(const std::string& P, int nSpikes, int width, int decimals, Value value) {
  std::string line = P + Count(nSpikes);
  for (int k = 1; k <= std::min(nSpikes, kMaxSpikes); ++k) line += Field(value(k), width, decimals);
  return line += kEol;
}

// The spike parameters of the per-spike and rheobase lines, after their
// first two columns.
std::string SpikeParameters(const SpikeList& s, int k) {
  return Field(s.VT[k], 6, 3) + Field(s.Vpeak[k] - s.VT[k], 6, 3) + Field(s.VT[k] - s.VAHP[k], 6, 3) +
         Field(s.WidthAP[k], 6, 3) + Field(s.VAHP[k], 6, 3) + Field(s.VAHPfast[k], 6, 3) +
         Fixed(s.tAP[k] * 1000, 7, 2);
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// Appending to a file that is not there would start it without its header.
Result<AppendFile> OpenForAppend(const fs::path& path) {
  if (!Exists(path))
    return Error{path.string(), 0, "",
                 "is missing while \"out_nu.dat\" is there; rewrite the result files or restore it"};
  return AppendFile::Open(path, false);
}

}  // namespace

std::string ResultHeader(int file) {
  const std::string_view prefix = file == All ? kPerSpike : file == Rheobase ? kFirstSpike : kPerSweep;
  return std::string(prefix) + std::string(kColumns[file]) + std::string(kEol);
}

double StoredTauM(const RecordingParameters& par) {
  constexpr int kTauMField = 57;  // parameter-file field of tau_m
  const auto it = par.stored.find(kTauMField);
  if (it == par.stored.end()) return 0;
  if (const double* x = std::get_if<double>(&it->second)) return *x;
  if (const long* n = std::get_if<long>(&it->second)) return static_cast<double>(*n);
  return 0;
}

SweepLines SweepResultLines(const SweepResults& r, const SpikeList& s) {
  const std::string P = Prefix(r);
  const int n = s.nSpikes;
  SweepLines lines;
  const auto table = [&](File file, int width, int decimals, const std::vector<double>& v) {
    lines[file] = PerSweepLine(P, n, width, decimals, [&](int k) { return v[k]; });
  };
  lines[Nu] = PerSweepLine(P, n, 6, 1, [&](int k) { return InverseInterval(s.ISI[k]); });
  table(Vav, 6, 1, s.Vav);
  table(WidthAP, 6, 3, s.WidthAP);
  table(Vpeak, 6, 3, s.Vpeak);
  for (int k = 1; k <= n; ++k)
    lines[All] += P + Count(k) + Field(InverseInterval(s.tAP[k] - s.tAP[k - 1]), 6, 1) + SpikeParameters(s, k) +
                  std::string(kEol);
  table(VAHP, 6, 3, s.VAHP);
  table(VT, 6, 3, s.VT);
  // With fewer than two spikes there is no ratio, whatever an interval limit
  // left behind in ISI[2].
  lines[AdaptRatio] = P + Count(n);
  if (n >= 2 && s.ISI[2] > 0) lines[AdaptRatio] += Field(s.ISI[n] / s.ISI[2], 6, 3);
  lines[AdaptRatio] += kEol;
  const double T = r.tOff - r.tOn;  // ms
  lines[Rate] = P + Count(n) + (T > 0 ? Field(n / T * 1000, 9, 1) : std::string(" 0 ")) + Fixed(r.nuLast, 9, 1) +
                std::string(kEol);
  table(VAHPfast, 6, 3, s.VAHPfast);
  if (n == 1) lines[Rheobase] = P + "0 " + Field(r.nuLast, 6, 1) + SpikeParameters(s, 1) + std::string(kEol);
  return lines;
}

Result<ResultFileSet> ResultFileSet::Open(const fs::path& dir, bool append, WarningSink& warnings) {
  auto lock = DataDirLock::Acquire(dir, warnings);
  if (!lock) return lock.error();
  ResultFileSet set(std::move(*lock));
  if (!append || !Exists(dir / kResultFileNames[Nu])) {
    // All eleven written before any replaces its old self: a failure leaves the old set whole.
    std::vector<PendingFile> fresh;
    for (int file = 0; file < kResultFiles; ++file) {
      auto pending = PendingFile::Create(dir / kResultFileNames[file]);
      if (!pending) return pending.error();
      if (Status s = pending->Write(ResultHeader(file)); !s) return s.error();
      fresh.push_back(std::move(*pending));
    }
    for (PendingFile& f : fresh)
      if (Status s = f.Commit(); !s) return s.error();
  }
  for (std::string_view name : kResultFileNames) {
    auto file = OpenForAppend(dir / name);
    if (!file) return file.error();
    set.files_.push_back(std::move(*file));
  }
  return set;
}

Status ResultFileSet::Append(const SweepResults& sweep, const SpikeList& spikes) {
  return Append(SweepResultLines(sweep, spikes));
}

Status ResultFileSet::Append(const SweepLines& lines) {
  for (int file = 0; file < kResultFiles; ++file) {
    if (Status s = files_[file].Append(lines[file]); !s) {
      for (AppendFile& f : files_) (void)f.CutBack();
      Error e = s.error();
      e.message += "; the eleven result files are cut back to where this run started";
      return e;
    }
  }
  return Ok();
}

}  // namespace velmora
