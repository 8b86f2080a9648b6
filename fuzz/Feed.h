#pragma once
// What each fuzz target does with one input, shared with the regression test
// so that a kept input runs through exactly the path that found it. Every
// reader is fed as the program feeds it: a file under its usual name in
// `dir`, read by path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "firingclamp/ApproximateFC.h"
#include "firingclamp/EstimateFC.h"
#include "firingclamp/Pulses.h"
#include "recording/Abf.h"
#include "recording/AbfSweeps.h"
#include "recording/AltFormats.h"
#include "recording/ListOfFiles.h"
#include "recording/ParameterFile.h"
#include "recording/Recording.h"
#include "recording/SideFiles.h"
#include "recording/TraceFile.h"
#include "base/WarningSink.h"

namespace velmora::fuzz {

namespace fs = std::filesystem;

inline fs::path WriteInput(const fs::path& path, std::string_view data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(data.data(), static_cast<std::streamsize>(data.size()));
  return path;
}

// A file left by the input before must not stand in for one this input lacks.
inline void Remove(const fs::path& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

inline void FeedParameterFile(const fs::path& dir, std::string_view data) {
  RecordingParameters par;
  (void)ReadParameterFile(WriteInput(dir / "cell.par", data), par);
}

// The sweep load as the program runs it: parameter file, trace, side files,
// then the copy into slot 1, where a wrong nRaw or dt would show.
inline void FeedTrace(const fs::path& dir, std::string_view data, std::string_view traceName, bool binary) {
  (void)WriteParameterFile(dir / "cell.par", RecordingParameters{});
  const fs::path trace = dir / traceName;
  Remove(trace);
  Remove(fs::path(trace) += "_b");
  WriteInput(binary ? fs::path(trace) += "_b" : trace, data);
  Recording rec;
  NullSink warnings;
  if (!LoadSweepFiles(rec, trace, warnings)) return;
  LoadSettings settings;
  (void)LoadSweep(rec, 1, settings, warnings);
}

inline void FeedTraceText(const fs::path& dir, std::string_view data) {
  FeedTrace(dir, data, "cell_trace1_Err.cc", false);
}

inline void FeedTraceBinary(const fs::path& dir, std::string_view data) {
  FeedTrace(dir, data, "cell_trace1_Err.us", true);
}

inline void FeedLfp(const fs::path& dir, std::string_view data) {
  RawRecording raw;
  NullSink warnings;
  (void)ReadLfpFile(WriteInput(dir / "cell.lfp", data), raw, warnings);
}

inline void FeedVC(const fs::path& dir, std::string_view data) {
  RawRecording raw;
  NullSink warnings;
  (void)ReadVCFile(WriteInput(dir / "cell_trace1_Err.VCe", data), raw, warnings);
}

inline void FeedStim(const fs::path& dir, std::string_view data) {
  NullSink warnings;
  (void)ReadStimFile(WriteInput(dir / "cell.stim", data), warnings);
}

// The list also names a parameter file, which is read; the home directory
// gets "PreviousDir.txt".
inline void FeedListOfFiles(const fs::path& dir, std::string_view data) {
  const fs::path dataDir = dir / "data", homeDir = dir / "home";
  fs::create_directories(dataDir);
  fs::create_directories(homeDir);
  WriteInput(dataDir / "ListOfFiles", data);
  Recording rec;
  NullSink warnings;
  (void)ReadListOfFiles(dataDir, homeDir, rec, warnings);
}

inline VarnelFiles ColumnFiles(const fs::path& dir) {
  VarnelFiles files;
  files.CurDir = dir.string();
  files.VoltFile = (dir / "voltage.txt").string();
  files.CurrFile = (dir / "current.txt").string();
  files.HeaderFile = (dir / "parameters.txt").string();
  files.GESeqFile = (dir / "GE_sequence.txt").string();
  return files;
}

inline void FeedOldHeader(const fs::path& dir, std::string_view data) {
  const VarnelFiles files = ColumnFiles(dir);
  WriteInput(files.HeaderFile, data);
  VarnelHeader header;
  Recording rec;
  (void)ReadOldHeader(files, header, rec);
}

// The header, then after the first NUL byte (if any) "GE_sequence.txt".
inline void FeedNewHeader(const fs::path& dir, std::string_view data) {
  const VarnelFiles files = ColumnFiles(dir);
  const auto nul = data.find('\0');
  WriteInput(files.HeaderFile, data.substr(0, nul));
  if (nul == std::string_view::npos)
    Remove(files.GESeqFile);
  else
    WriteInput(files.GESeqFile, data.substr(nul + 1));
  VarnelHeader header;
  Recording rec;
  NullSink warnings;
  (void)ReadNewHeader(files, header, rec, warnings);
}

// The first byte picks the column (1..50) and the line step (1..4); the rest
// is both the voltage and the current file, read as the two planes of a sweep.
inline void FeedColumnFile(const fs::path& dir, std::string_view data) {
  if (data.empty()) return;
  const auto pick = static_cast<unsigned char>(data[0]);
  data.remove_prefix(1);
  const VarnelFiles files = ColumnFiles(dir);
  WriteInput(files.VoltFile, data);
  WriteInput(files.CurrFile, data);
  VarnelHeader header;
  header.SampleRate = 10000;  // Hz
  Recording rec;
  NullSink warnings;
  const int k = 1 + pick % kMaxSweeps, skip = 1 + pick / 64;
  if (ReadColumnFile(files, header, 1, k, skip, rec, warnings))
    (void)ReadColumnFile(files, header, 2, k, skip, rec, warnings);
}

inline void FeedCalibration(const fs::path& dir, std::string_view data) {
  WriteInput(dir / kCalibrationFileName, data);
  (void)ReadCalibration(dir);
}

inline void FeedEstimates(const fs::path& dir, std::string_view data) {
  WriteInput(dir / kEstimatesFileName, data);
  const std::vector<double> StimTimes = {10, 250.5, 400};  // ms
  Pulses p;
  (void)ReadEstimates(dir, &StimTimes, p);
}

// An ABF or ATF file read as a recording, then what is made of its first
// sweeps: the command of every DAC, the step mapping and the channel choice.
// The whole file, the header alone as the list of files reads it, and the
// first sweeps loaded into a slot as a selection loads them.
inline void FeedAbfFile(const fs::path& path, std::string_view data) {
  NullSink warnings;
  WriteInput(path, data);
  (void)ReadAbfHeader(path, warnings);
  const auto abf = ReadAbf(path, warnings);
  if (!abf) return;
  for (int k = 0; k < static_cast<int>(abf->sweeps.size()) && k < 3; ++k) {
    for (int d = 0; d < static_cast<int>(abf->dacs.size()) && d < 8; ++d) (void)RebuildCommand(*abf, d, k);
    (void)StimulusOfSweep(*abf, k);
  }
  (void)ChooseChannels(*abf);
  Recording rec;
  for (int k = 0; k < static_cast<int>(abf->sweeps.size()) && k < 2; ++k)
    if (LoadSweepFiles(rec, AbfSweepName(path.string(), k), warnings)) (void)LoadSweep(rec, 1, LoadSettings{}, warnings);
}

inline void FeedAbf(const fs::path& dir, std::string_view data) { FeedAbfFile(dir / "cell.abf", data); }
inline void FeedAtf(const fs::path& dir, std::string_view data) { FeedAbfFile(dir / "cell.atf", data); }

struct Target {
  std::string_view name;  // the fuzz target fuzz_<name> and tests/regressions/<name>/
  void (*feed)(const fs::path& dir, std::string_view data);
};

inline constexpr Target kTargets[] = {
    {"parameter_file", FeedParameterFile}, {"trace_text", FeedTraceText},
    {"trace_binary", FeedTraceBinary},     {"lfp", FeedLfp},
    {"vc", FeedVC},                        {"stim", FeedStim},
    {"list_of_files", FeedListOfFiles},    {"old_header", FeedOldHeader},
    {"new_header", FeedNewHeader},         {"column_file", FeedColumnFile},
    {"calibration", FeedCalibration},      {"estimates", FeedEstimates},
    {"abf", FeedAbf},                      {"atf", FeedAtf},
};

// One directory per fuzzing process, reused by every input.
inline const fs::path& ProcessDir() {
  static const fs::path dir = [] {
    std::string name = (fs::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
    if (!mkdtemp(name.data())) std::abort();
    return fs::path(name);
  }();
  return dir;
}

inline int Run(void (*feed)(const fs::path&, std::string_view), const std::uint8_t* data, std::size_t size) {
  feed(ProcessDir(), std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}

}  // namespace velmora::fuzz

// Each target file defines its entry point with this.
#define VELMORA_FUZZ_TARGET(feed)                                                         \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {     \
    return velmora::fuzz::Run(velmora::fuzz::feed, data, size);                          \
  }
