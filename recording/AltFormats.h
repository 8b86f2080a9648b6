#pragma once
// The two column formats ("Old Varnel's format", "New Varnel's format"): all
// sweeps share one voltage and one current file, column k being sweep k, and
// a header gives the clamped conductance and current of each sweep.

#include <string>
#include <vector>

#include "recording/Recording.h"
#include "base/Errors.h"
#include "base/WarningSink.h"

namespace velmora {

// The format selector, items 0..2.
enum class FileFormat { OldVarnel = 0, NewVarnel = 1, Main = 2 };

// The files the column readers read; set by the file choice or the batch.
struct VarnelFiles {
  std::string VoltFile, CurrFile, HeaderFile, GESeqFile;
  std::string CurDir;
};

struct VarnelHeader {
  double Gsweep1 = 0, dGsweep = 0;  // nS
  double Isweep1 = 0, dIsweep = 0;  // pA
  double tStimDur = 0;              // ms
  double SampleRate = 0;            // Hz
  double tIvb = 0, tIvbDur = 0;     // ms
  double Bridge = 0;
  int nSweepsHdr = 0;
  double gBase = 0, Gain = 0, Vref = 0, Erev = 0, gStep = 0;
  std::vector<double> gSeq;  // gSeq[k] for sweep k = 1..nSweepsHdr; [0] unused
  std::string HdrSubtype;    // "gs1", "gst", "ivb" or empty
};

// What the header step leaves for the window: "g_Clamped" and "Bridge".
struct HeaderShown {
  double gClamped = 15;  // nS
  double Bridge = 0;
};

// The header step of the column formats. Sets nFiles, tOn and tOff of rec
// (and Gain and Vref, which the header shares with the main format) and
// returns what the window shows. A missing voltage file name is an Error: the
// window runs its file choice before calling. A header that cannot be read is
// an Error naming it and leaves header and rec as they were.
//
// Old format: nFiles := 25; "g_Clamped" := Gsweep1. The old header carries
// no gBase, Gain, Vref, Erev, gStep or gSeq; they are set to 0 (and the
// subtype cleared) so that the clamp values of an old-format experiment do
// not depend on what was read before it. Without a header file name the
// values it would give stay as they were and "g_Clamped" := 15.
Result<HeaderShown> ReadOldHeader(const VarnelFiles& files, VarnelHeader& header, Recording& rec);
// New format: nFiles := nSweepsHdr (outside 1..50 an Error naming the
// header); gSeq from GESeqFile for subtype "gs1" (a sweep without a line or
// value there gets 0, with one warning), zeros otherwise; "g_Clamped" :=
// gBase * Gain + Gsweep1. Without a header file name: "g_Clamped" := 15,
// tIvbDur := 0 and no subtype.
Result<HeaderShown> ReadNewHeader(const VarnelFiles& files, VarnelHeader& header, Recording& rec,
                                  WarningSink& warnings);

// Fills plane p (1 = V from VoltFile, 2 = Ireal from CurrFile) of slot k,
// keeping every `skip`-th line (skip < 1 is taken as 1) of the first 900,001
// samples; sets dt, and nFiles := the number of columns of the last line
// read. Lines without a number are no samples (an empty last line would
// otherwise make nFiles 0). A line too short to hold column k gives 0 there,
// with one warning per call.
// Plane 1 is read before plane 2: the slot's nLast is capped by what the
// other plane holds, so that after both it is the shorter file's last sample
// and at no time does it point past either plane.
// Errors, naming the file and line: a missing or empty file, a token that is
// not a number, more than 50 numbers on a line, SampleRate <= 0 (naming the
// header). On an Error the slot is left as it was.
Status ReadColumnFile(const VarnelFiles& files, const VarnelHeader& header, int p, int k, int skip,
                      Recording& rec, WarningSink& warnings);

struct ClampIG {
  double G = 0;  // nS
  double I = 0;  // pA
};
// The clamped conductance and current of sweep k: from the header in the
// column formats (a sweep outside gSeq takes gSeq as 0), Gfile[k] and
// Ifile[k] in the main format (0 outside the slots).
ClampIG SweepIG(FileFormat format, const VarnelHeader& header, const Recording& rec, int k);

}  // namespace velmora
