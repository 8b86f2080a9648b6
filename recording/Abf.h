#pragma once
// Recordings saved by the acquisition software of other labs: the binary
// ABF (versions 1 and 2) and its text form ATF. They are read into a plain
// structure; the command each sweep played is rebuilt from the epoch table,
// and a sweep is mapped onto this program's stimulus description.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

enum class AbfFormat { Abf1, Abf2, Atf };
const char* FormatName(AbfFormat format);  // "ABF1", "ABF2", "ATF"

// nOperationMode
inline constexpr int kAbfVariableLength = 1;
inline constexpr int kAbfFixedLength = 2;
inline constexpr int kAbfGapFree = 3;
inline constexpr int kAbfEpisodic = 5;

// nEpochType
enum class EpochType { Disabled = 0, Step = 1, Ramp = 2, PulseTrain = 3, TriangleTrain = 4, CosineTrain = 5, Biphasic = 7 };

// One enabled epoch of a DAC's table. Levels are in the DAC's unit, durations
// in samples of one channel.
struct AbfEpoch {
  int number = 0;  // 0 = epoch A, 1 = B, ...
  int type = 0;    // EpochType as stored; other codes are kept and reported
  double initLevel = 0, levelInc = 0;  // level in sweep 0, added per sweep
  long initDuration = 0, durationInc = 0;
  long pulsePeriod = 0, pulseWidth = 0;  // trains only
};

// Epochs are lettered from A; the 50-epoch tables run past Z ("#27").
std::string EpochName(int number);

struct AbfDac {
  int number = 0;
  std::string name, unit;  // the unit applies to the holding level and every epoch level
  double holding = 0;
  bool waveformEnabled = false;
  int waveformSource = 0;      // 0 none, 1 epoch table, 2 waveform file
  int interEpisodeLevel = 0;   // 1: the last level is kept, into the next sweep too
  std::string waveformFile;    // source 2
  std::vector<AbfEpoch> epochs;  // enabled epochs in epoch order
};

// A list of values that replaces one epoch parameter per sweep; sweep k takes
// value k, or the last one when the list is shorter.
struct AbfUserList {
  enum class Replaces { Level, Duration, PulsePeriod, PulseWidth };
  int parameterCode = 0;  // as stored
  int dac = 0;
  int epoch = 0;  // epoch number the list applies to
  Replaces replaces = Replaces::Level;
  std::vector<double> values;
};

struct AbfChannel {
  std::string name, unit;  // as stored (Latin-1 turned into UTF-8)
  int physical = 0;        // the input's number: need not be the channel's position
  double gain = 1;         // user units per int16 count (1 for float32 data)
  double offset = 0;       // user units
  std::vector<float> samples;  // every sweep, one after another
};

struct AbfSweep {
  std::size_t first = 0;   // index of its first sample in each channel's samples
  std::size_t length = 0;  // samples per channel
  double start = 0;        // ms from the start of the recording
};

struct AbfFile {
  std::string file;
  AbfFormat format = AbfFormat::Abf2;
  std::string version;     // "1.83", "2.6.0.0", "1.0"
  int operationMode = 0;   // kAbfEpisodic, ...; 0 when an ATF does not say
  double dt = 0;           // ms between two samples of one channel
  std::vector<AbfChannel> channels;
  std::vector<AbfSweep> sweeps;
  std::vector<AbfDac> dacs;  // empty for ATF
  int activeDac = 0;         // nActiveDACChannel
  std::optional<AbfUserList> userList;

  std::span<const float> Sweep(int channel, int sweep) const;
};

// Reads an ABF 1, ABF 2 or ATF file, told apart by its first bytes. Every
// fault (a truncated file, an unknown signature or version, a section outside
// the file, a sample interval of 0 or less, a sample count that does not
// match the header) is an Error that names the file; no half-read file is
// returned. What the file holds but cannot be used (an unknown user-list
// code) goes to `warnings`.
Result<AbfFile> ReadAbf(const std::filesystem::path& path, WarningSink& warnings);

// The same without the samples of an ABF file (every channel's samples stay
// empty; the sweeps are laid out): what listing a directory needs. An ATF
// file is read whole, since its rows give the sweep length.
Result<AbfFile> ReadAbfHeader(const std::filesystem::path& path, WarningSink& warnings);

// The command a DAC played in one sweep, sample by sample, in the DAC's unit.
struct AbfCommand {
  std::vector<double> level;  // empty when not rebuilt
  bool rebuilt = false;
  std::string why;  // when not rebuilt: what stood in the way
};

// Sample k of the sweep (0-based) is at k * dt: the first floor(N / 64)
// samples hold the start level, then the enabled epochs follow. The recorded
// response lags the rebuilt edges by one sample.
AbfCommand RebuildCommand(const AbfFile& abf, int dac, int sweep);

// The DAC whose command drives the cell in current clamp: waveform enabled
// from a source, current unit; ties go to the active DAC, then to the lowest
// number. -1 when the file has no DAC.
int CommandDac(const AbfFile& abf);

// A sweep as this program's stimulus description.
struct AbfStimulus {
  int ProtocolKind = 0;   // 2: current steps; 0: no stimulus model
  double tStimStart = 0, tStimEnd = 0;  // ms from the sweep start
  double I0 = 0;          // pA, this sweep's step
  double Ifirst = 0, Ilast = 0;  // pA, the steps of the first and last sweep
  int nSteps = 0;
  int epoch = -1;         // the step epoch, -1 when none
  std::string why;        // when no step: why not
};

// A step is the first step epoch of the DAC (CommandDac when none is given)
// whose level changes from sweep to sweep while its start and end do not,
// on a DAC in pA or nA (nA is turned into pA). Anything else stimulates over
// the whole sweep with ProtocolKind 0.
AbfStimulus StimulusOfSweep(const AbfFile& abf, int sweep, std::optional<int> dac = std::nullopt);

// Which channels hold the membrane voltage and the measured current.
struct AbfChannelChoice {
  int voltage = 0;
  double voltageScale = 1;  // to mV
  int current = -1;         // -1: none; the command current must stand in
  double currentScale = 1;  // to pA
  std::string note;         // says when the command stands in
};

// By unit: "mV" before "V" for the voltage, "pA" before "nA" for the
// current, the first channel among equals; a given index overrides. No
// voltage channel is an Error that lists the channels the file has.
Result<AbfChannelChoice> ChooseChannels(const AbfFile& abf, std::optional<int> voltage = std::nullopt,
                                        std::optional<int> current = std::nullopt);

}  // namespace velmora
