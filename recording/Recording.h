#pragma once
// The recording state: the raw channels of the file read last, the loaded
// sweeps, and the recorder's parameters. Arrays grow to what is read; the
// caps below are limits, not allocations.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velmora {

struct AbfFile;

inline constexpr int kMaxRawSamples = 9'000'001;    // raw read stops here
inline constexpr int kMaxSweepSamples = 900'001;    // a sweep is cut here
inline constexpr int kMaxSweeps = 50;               // slots 1..50
inline constexpr int kMaxTableEntries = 100;        // ITable, GTable
inline constexpr int kMaxVCSamples = 560'001;       // voltage-clamp side file

// The raw channels of the trace file read last; samples 0..nRaw. A loaded
// sweep shown again is not read again: of these it brings back only its LFP.
struct RawRecording {
  std::vector<double> tRaw;      // ms
  std::vector<double> VRaw;      // mV
  std::vector<double> IcomRaw;   // pA
  std::vector<double> IrealRaw;  // pA
  std::vector<double> LFPRaw;    // as recorded; may be longer or shorter than the others
  std::vector<double> Ch4Raw, Ch5Raw, Ch6Raw;
  int nRaw = -1;
  long tracesParsed = 0;  // trace files read into these channels, for proving that none is read twice
  std::vector<double> VCcol1, VCcol2, VCcol3;  // voltage-clamp side file
  // The ABF or ATF file read last, whole, with the size and time of change
  // it had: its other sweeps load from here while the file is unchanged.
  std::shared_ptr<const AbfFile> abf;
  std::uintmax_t abfSize = 0;
  std::filesystem::file_time_type abfTime{};
};

struct ClampWaveRec {
  double I0 = 0, G0 = 0, E0 = 0;  // pA, nS, third output
  double TI = 0, TG = 0;          // ms
  double GEamp = 0, GIamp = 0, gNMDAamp = 0;  // nS
  double TGE = 0, TGI = 0, TgNMDA = 0;        // ms; <= 0 means constant
  double EI = 0;                               // mV
  int WaveKind = 0;    // 0..5; below 0 when the file did not record it
  int WaveAlways = 0;  // 1: the waveform is not limited to the stimulation window
};

struct StepParsRec {
  double Ifirst = 0, Ilast = 0;  // pA
  double CmdScale = 0;
  int nSteps = 0;
};

struct GridParsRec {
  double IgFirst = 0, IgLast = 0, GgFirst = 0, GgLast = 0;
  double tIOn = 0, tIOff = 0, tGOn = 0, tGOff = 0;  // ms
  int nI = 0, nG = 0;
  int GridKind = 0;  // 1, 2: evenly spaced; 3: from the tables
  std::vector<double> ITable, GTable;  // at most kMaxTableEntries each
};

struct FCParsRec {
  int nPeriod = 0;  // samples per meander period
  int nPulse = 0;   // samples of the positive pulse
  int nStop = 0;    // last sample that the pulse analysis uses
  double Freq = 0;     // Hz
  double Vswitch = 0;  // mV
  double Ipos = 0;     // pA
  double Ineg = 0;     // pA
  double Tpulse = 0;   // ms
};

struct LfpParsRec {
  double p0 = 0, p1 = 0;
  bool LfpPresent = false;
};

struct DynVCRec {
  int VCcount = 0;     // last index of the voltage-clamp side file
  int VCmismatch = 0;  // 1 when nPar differs from VCcount
};

// A field of the parameter file as read: a number, a text or a list.
using ParamValue = std::variant<std::monostate, double, long, std::string, std::vector<double>>;

struct RecordingParameters {
  double Duration = 0;  // ms
  int nPar = 0;
  double dtPar = 0;     // ms
  double tStimStart = 0, tStimEnd = 0;  // ms
  double Vus = 0;       // mV
  int ProtocolKind = 0;
  int FiringClampOn = 0;
  int HasCh4 = 0;
  int HasCh56 = 0;
  int TimeFactor = 0;
  int SpikesOff = 0;
  ClampWaveRec ClampWave;
  StepParsRec StepPars;
  GridParsRec GridPars;
  FCParsRec FCPars;
  LfpParsRec LfpPars;
  DynVCRec DynVC;
  // Every field read, by position 1..248: the recorder's own settings that no
  // analysis reads live only here, and a writer can reproduce the file.
  std::map<int, ParamValue> stored;
};

// The "Lost parameters" choice: items 0..4 name waveform kinds 0..4.
enum class LostParameters {
  Constant = 0,
  ISinGConst = 1,
  IConstGCos = 2,
  ISinGCos = 3,
  IStepsGConst = 4,
  IrealAbsent = 5,  // "Ireal is absent, Icom=Ireal"
};

// What the load of a main-format sweep left in the recording state besides
// the samples. Showing the slot again restores it from here: the parameters
// then match the sweep shown without its files being read again.
struct SweepReading {
  std::string trace;         // the trace file read
  double t0Setting = 0;      // ms, the "Analyze since t0" the samples start at
  int voltageChannel = -1, currentChannel = -1;  // of an ABF or ATF file, as chosen for the load
  bool IrealAbsent = false;  // loaded with "Ireal is absent, Icom=Ireal": Ireal is Icom
  int fileWaveKind = 0;      // as the parameter file gave it, before "Lost parameters" reconciled it
  RecordingParameters par;   // as the load left them
  double dt = 0, t0 = 0;     // s
  int FileNo = 0;
  double tOn = 0, tOff = 0;  // ms
  double Vref = 0, Gain = 0;
  double Ifile = 0, Gfile = 0;  // pA, nS; the meander pass corrects the slot's own values at every read
  bool lfpKept = false;         // the recording has an LFP; LFP holds its samples 0..nLast
  std::vector<double> LFP;
};

// One loaded sweep. Samples 0..nLast are valid; below 0 the slot is empty.
struct SweepSlot {
  std::vector<double> V;      // mV
  std::vector<double> Ireal;  // pA
  std::vector<double> Icom;   // pA
  int nLast = -1;
  // The smoothing V went through since it was read: the filter works in
  // place, so V as read can be had back only by reading the files again.
  // 0 iterations: V is as read.
  double filteredTauF = 0;  // ms
  int filteredIterations = 0;
  std::optional<SweepReading> reading{};  // empty unless loaded from a main-format trace
};

// The loaded sweeps, addressed by slot 1..kMaxSweeps.
class Traces {
 public:
  SweepSlot& operator[](int slot);              // grows the table to the slot
  const SweepSlot& operator[](int slot) const;  // an empty slot when never loaded
  int nLast(int slot) const { return (*this)[slot].nLast; }
  // Every slot empty again; the arrays keep their capacity for the next load.
  void Empty();

 private:
  std::vector<SweepSlot> slots_;  // slots_[k - 1] is slot k
};

struct Recording {
  RawRecording raw;
  RecordingParameters par;
  Traces traces;
  double dt = 0;  // s, sampling step of the loaded sweeps
  double t0 = 0;  // s, time of sample 0 of every slot
  int nFiles = 0;
  int iFile = 1;
  std::vector<std::string> FileNames;  // FileNames[k] belongs to slot k; [0] unused
  int nListed = 0;
  int FileNo = 0;
  std::array<double, kMaxSweeps + 1> Ifile{};  // pA, per slot
  std::array<double, kMaxSweeps + 1> Gfile{};  // nS, per slot
  double tOn = 0, tOff = 0;  // ms, stimulus window of the sweep loaded last
  double Vref = 0;           // mV
  double Gain = 0;
  std::string currentFile;   // the trace read last ("File  name:")
};

}  // namespace velmora
