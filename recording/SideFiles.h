#pragma once
// The small files that accompany a trace: ".lfp", the voltage-clamp side file
// and ".stim".

#include <filesystem>
#include <span>
#include <vector>

#include "recording/Recording.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

inline constexpr int kMaxStimuli = 200;

// Column 2 of each line into raw.LFPRaw from index 0 (column 1, the time, is skipped).
Status ReadLfpFile(const std::filesystem::path& path, RawRecording& raw, WarningSink& warnings);

// Three reals per line into raw.VCcol1..3; the result is the last index (lines - 1).
Result<int> ReadVCFile(const std::filesystem::path& path, RawRecording& raw, WarningSink& warnings);

// Stimulus times, ms, one per line; element 0 is the first stimulus.
// Blank lines hold no stimulus. At most kMaxStimuli are read.
Result<std::vector<double>> ReadStimFile(const std::filesystem::path& path, WarningSink& warnings);
// One time per line, width 9, 3 decimals, CR LF; replaces the file whole.
Status WriteStimFile(const std::filesystem::path& path, std::span<const double> times);

}  // namespace velmora
