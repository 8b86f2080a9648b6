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

#include "base/Errors.h"
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
};

// The header line of file `file` (index into kResultFileNames), CR LF included.
std::string ResultHeader(int file);

// What one sweep adds to each file, in file order: whole lines ending in
// CR LF, or nothing (the per-spike table without spikes, the rheobase table
// unless there is exactly one spike).
std::array<std::string, kResultFiles> SweepResultLines(const SweepResults& sweep, const SpikeList& spikes);

// Before the first sweep of a run, in `dir`: appending to files that exist
// ("out_nu.dat" present) checks that each can be opened; otherwise each file
// is created anew with its header.
Status PrepareResultFiles(const std::filesystem::path& dir, bool append);

// Appends the sweep's lines, opening and closing each file once. Every open,
// write and close is checked; the first failure ends it with an Error that
// names the file, the files before it keeping the sweep's lines.
Status AppendSweepResults(const std::filesystem::path& dir, const SweepResults& sweep, const SpikeList& spikes);

}  // namespace velmora
