#pragma once
// The eleven F-I result files: seven per-sweep tables of one spike parameter
// each, a per-spike table, the adaptation ratio, the rates and the rheobase.
// Other programs of the lab read them, so their layout is kept to the
// character: fixed w:d fields that widen when a number does not fit, one
// header line per new file, CR LF.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "recording/Recording.h"
#include "recording/TextIO.h"
#include "base/Errors.h"
#include "base/WarningSink.h"
#include "spikes/Spikes.h"

namespace velmora {

inline constexpr int kResultFiles = 11;

// In the order in which they are created, opened and written.
inline constexpr std::array<std::string_view, kResultFiles> kResultFileNames = {
    "out_nu.dat",   "out_Vav.dat",        "out_WidthAP.dat",   "out_Vpeak.dat",
    "out_g_I_i_all.dat", "out_VAHP.dat",  "out_VT.dat",        "out_AdaptRatio.dat",
    "out_Rate.dat", "out_VAHPfast.dat",   "out_all_Rheobase.dat"};

// The quantities of one sweep besides its spike list.
struct SweepResults {
  double Gclamp = 0;  // nS
  double Iclamp = 0;  // pA
  double tau_m = 0;   // as the parameter file stores it; the ratios are 0 when tau_m <= 0
  double tOn = 0;     // ms
  double tOff = 0;    // ms, after the interval limit
  double nuLast = 0;  // Hz
  friend bool operator==(const SweepResults&, const SweepResults&) = default;
};

// tau_m of the current-step protocol, as a main-format parameter file stores
// it; 0 without one.
double StoredTauM(const RecordingParameters& par);

// The header line of file `file` (index into kResultFileNames), CR LF included.
std::string ResultHeader(int file);

// What one sweep adds to each file, in file order: whole lines ending in
// CR LF, or nothing (the per-spike table without spikes, the rheobase table
// unless there is exactly one spike).
using SweepLines = std::array<std::string, kResultFiles>;
SweepLines SweepResultLines(const SweepResults& sweep, const SpikeList& spikes);

// The eleven files of one F-I run, kept in step: line k of every per-sweep
// file describes the same sweep. The run holds the directory (DataDirLock)
// from Open to the end, so that a second run waits instead of interleaving
// its sweeps; and a sweep whose lines cannot all be written takes back what
// the run appended, leaving the eleven files as the run found them.
class ResultFileSet {
 public:
  // Before the first sweep, in `dir`: appending to files that exist
  // ("out_nu.dat" present) opens each, all having to be there; otherwise the
  // eleven are replaced together by files holding only their headers.
  // Waiting for another action on `dir` is reported through `warnings`.
  static Result<ResultFileSet> Open(const std::filesystem::path& dir, bool append, WarningSink& warnings);

  // Appends the sweep's lines to the eleven files. On a failure (a full
  // disk, a file-size limit) every file is cut back to its size at Open, and
  // the Error names the file that failed.
  Status Append(const SweepResults& sweep, const SpikeList& spikes);
  Status Append(const SweepLines& lines);  // as SweepResultLines formed them

 private:
  explicit ResultFileSet(DataDirLock lock) : lock_(std::move(lock)) {}

  DataDirLock lock_;
  std::vector<AppendFile> files_;  // in kResultFileNames order
};

}  // namespace velmora
