#pragma once
// Writers of simulated sweeps in the formats the program reads: trace files
// (text and "_b" binary), ".lfp", "ListOfFiles", and the two column formats.

#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "modelcell/Recorder.h"
#include "base/Errors.h"

namespace velmora {

// The channels a trace carries besides V, Icom and Ireal.
struct TraceLayout {
  bool ch4 = false;   // channel 4: membrane potential Vm, mV
  bool ch56 = false;  // channels 5, 6: GE and GI, nS
  bool lfp = false;   // binary only: an LFP channel (text traces put it in ".lfp")
};

// Text trace, one sample per line from time 0: time (ms), V, Icom, Ireal, G
// (nS), meander current (pA), then Vm and GE, GI as the layout says. CR LF.
Status WriteTextTrace(const std::filesystem::path& path, const SweepResult& r, const TraceLayout& layout);

// Binary trace: dt, a 256-byte short string naming the channels (with "LFP"
// exactly when the LFP channel is present), a scale and an offset per channel,
// then int16 samples, little-endian. Each channel gets its own scale so that
// its range spans the int16 codes; values come back within half a step.
Status WriteBinaryTrace(const std::filesystem::path& path, const SweepResult& r, const TraceLayout& layout);

// The ".lfp" side file: "time LFP" per line for samples 1 .. n-1, so that its
// first line lines up with the first sample the trace reader keeps.
Status WriteLfpFile(const std::filesystem::path& path, const SweepResult& r);

// Pairs of lines: trace name, parameter file name.
Status WriteListOfFiles(const std::filesystem::path& path,
                        std::span<const std::pair<std::string, std::string>> entries);

// A column file: line j holds sample j of every sweep, one column per sweep.
Status WriteColumnFile(const std::filesystem::path& path, std::span<const std::vector<double>* const> columns,
                       int decimals);

// The per-sweep description of the column formats, in header units.
struct ColumnHeader {
  int nSweeps = 0;
  double Gsweep1 = 0, dGsweep = 0;  // nS
  double Isweep1 = 0, dIsweep = 0;  // pA
  double tOn = 0, tStimDur = 0;     // ms
  double SampleRate = 0;            // Hz
  double Bridge = 0;                // MOhm
  double Gain = 1;
  double Vref = 0, Erev = 0;        // mV
  double gBase = 0, gStep = 0;      // nS
  std::vector<double> gSeq;         // nS, per sweep 1..nSweeps (element 0 is sweep 1)
};

// The old header: 13 lines of one value each.
Status WriteOldHeader(const std::filesystem::path& path, const ColumnHeader& h);
// "parameters.txt": a title line, then the 22 numbers one per line.
Status WriteNewHeader(const std::filesystem::path& path, const ColumnHeader& h);
// "GE_sequence.txt": "k gSeq" per sweep.
Status WriteGESequence(const std::filesystem::path& path, const ColumnHeader& h);

}  // namespace velmora
