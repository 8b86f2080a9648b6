#pragma once
// The two column formats ("Old Varnel's format", "New Varnel's format"): all
// sweeps share one voltage and one current file, column k being sweep k, and
// a header gives the clamped conductance and current of each sweep.

#include <string>
#include <vector>

#include "recording/Recording.h"
#include "session/Errors.h"
#include "session/WarningSink.h"

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

// Old format: hides nothing here (the window does), nFiles := 25, tOn and
// tOff of rec from the header. A missing voltage file name is an Error (the
// window runs its file choice before calling).
Result<HeaderShown> ReadOldHeader(const VarnelFiles& files, VarnelHeader& header, Recording& rec);
Result<HeaderShown> ReadNewHeader(const VarnelFiles& files, VarnelHeader& header, Recording& rec);

// Fills plane p (1 = V from VoltFile, 2 = Ireal from CurrFile) of slot k,
// keeping every `skip`-th line (skip < 1 is taken as 1); sets nLast[k], dt,
// and nFiles := the number of columns of the last line read.
Status ReadColumnFile(const VarnelFiles& files, const VarnelHeader& header, int p, int k, int skip,
                      Recording& rec, WarningSink& warnings);

struct ClampIG {
  double G = 0;  // nS
  double I = 0;  // pA
};
// The clamped conductance and current of sweep k: from the header in the
// column formats, Gfile[k] and Ifile[k] in the main format.
ClampIG SweepIG(FileFormat format, const VarnelHeader& header, const Recording& rec, int k);

}  // namespace velmora
