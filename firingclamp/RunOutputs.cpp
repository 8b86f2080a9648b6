#include "firingclamp/RunOutputs.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "recording/Stimulus.h"
#include "recording/TextIO.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

// The boxes of "Which to plot" in the order of the group; the last two sit
// on the right axis of the chart against I but on the left one against G.
struct CorrelationBox {
  std::string_view title;
  std::vector<double> Pulses::*z;
  AxisSide axisOnI, axisOnG;
  Color color;
};

constexpr AxisSide kL = AxisSide::Left, kR = AxisSide::Right;
const std::array<CorrelationBox, 9> kBoxes = {{
    {"subV", &Pulses::subV, kL, kL, kTeal},
    {"NegPulseD", &Pulses::NegPulseDur, kR, kR, kGray},
    {"VT", &Pulses::VT, kL, kL, kRed},
    {"PulseV-VT", &Pulses::PulseV_VT, kL, kL, kGreen},
    {"PulseV", &Pulses::PulseV, kL, kL, kMagenta},
    {"dVdt", &Pulses::dVdt, kR, kR, kCyan},
    {"VHalfPulse", &Pulses::VHalfPulse, kL, kL, kBlack},
    {"dVdt_V1", &Pulses::dVdt_V1, kR, kL, kYellow},
    {"dVdt_V2", &Pulses::dVdt_V2, kR, kL, kBrown},
}};
constexpr int kClearedBoxes = 7;  // "Erase calibration" keeps dVdt_V1 and dVdt_V2

Series& CorrelationSeries(Chart& chart, const CorrelationBox& box, bool againstI) {
  return EnsureSeries(chart, box.title, SeriesKind::Point, box.color, againstI ? box.axisOnI : box.axisOnG);
}

void SetCorrelationAxes(Chart& vsI, Chart& vsG) {
  // Assigned as strings: GCC 12 warns falsely (-Wrestrict) on one-letter literals.
  vsI.bottom.title = std::string("I");
  vsG.bottom.title = std::string("G");
  vsI.left.title = vsG.left.title = "mV";
  vsI.right.title = vsG.right.title = "ms, mV/ms";
}

}  // namespace

void DrawCorrelations(const Pulses& p, const WhichToPlot& boxes, bool NegPulseD, Chart& vsI, Chart& vsG) {
  SetCorrelationAxes(vsI, vsG);
  const std::array<bool, 9> ticked = {boxes.subV, NegPulseD,        boxes.VT,      boxes.PulseV_VT, boxes.PulseV,
                                      boxes.dVdt, boxes.VHalfPulse, boxes.dVdt_V1, boxes.dVdt_V2};
  for (std::size_t b = 0; b < kBoxes.size(); ++b) {
    if (!ticked[b]) continue;
    Series& onI = CorrelationSeries(vsI, kBoxes[b], true);
    Series& onG = CorrelationSeries(vsG, kBoxes[b], false);
    const std::vector<double>& z = p.*kBoxes[b].z;
    for (int j = 1; j <= p.nPulses; ++j) {
      onI.AddPoint(p.I[j], z[j]);
      onG.AddPoint(p.G[j], z[j]);
    }
  }
}

void ClearCorrelationPlots(Chart& vsI, Chart& vsG) {
  for (int b = 0; b < kClearedBoxes; ++b) {
    CorrelationSeries(vsI, kBoxes[b], true).Clear();
    CorrelationSeries(vsG, kBoxes[b], false).Clear();
  }
}

namespace {

std::string PulseLines(const Pulses& p) {
  std::string text;
  for (int j = 1; j <= p.nPulses; ++j) {
    const double columns[kCalibColumns] = {p.I[j],      p.G[j],           p.VT[j],     p.PulseV_VT[j],  p.subV[j],
                                           p.PulseV[j], p.NegPulseDur[j], p.dVdt[j],   p.VHalfPulse[j], p.tPulse[j],
                                           p.gNMDA[j],  p.dVdt_V1[j],     p.dVdt_V2[j]};
    for (int c = 0; c < kCalibColumns; ++c) {
      if (c > 0) text += ' ';
      text += Fixed(columns[c], 8, 3);
    }
    text += "\r\n";
  }
  return text;
}

}  // namespace

Status WritePulseFile(const fs::path& dir, const Pulses& p, PulseFileMode mode) {
  const fs::path path = dir / kCalibrationFileName;
  std::error_code ec;
  if (mode == PulseFileMode::Clean) {
    fs::remove(path, ec);
    if (ec) return Error{path.string(), 0, "", "cannot be erased: " + ec.message()};
    return Ok();
  }
  if (Status appended = AppendWhole(path, PulseLines(p), false); !appended) return appended;
  // A calibration file without a single pulse would only make the next
  // approximation fail on it.
  if (fs::file_size(path, ec) == 0 && !ec) fs::remove(path, ec);
  return Ok();
}

Result<bool> AppendNewPulses(const fs::path& dir, const Pulses& p) {
  const std::string lines = PulseLines(p);
  const fs::path path = dir / kCalibrationFileName;
  std::error_code ec;
  if (!lines.empty() && fs::exists(path, ec)) {
    auto held = ReadWholeFile(path);
    if (!held) return held.error();
    // The lines must stand whole and one after another: at the start of the
    // file or right after a line end.
    for (std::size_t at = held->find(lines); at != std::string::npos; at = held->find(lines, at + 1))
      if (at == 0 || (*held)[at - 1] == '\n') return false;
  }
  if (Status written = WritePulseFile(dir, p, PulseFileMode::Append); !written) return written.error();
  return true;
}

Status WriteTrueIG(const Recording& rec, int k, const fs::path& dir) {
  const int nLast = rec.traces.nLast(k);
  std::string text;
  if (nLast >= 0) text.reserve(static_cast<std::size_t>(nLast / 10 + 1) * 36);
  for (long i = 0; i <= nLast; i += 10) {
    const Stimulus c = StimulusAt(rec.par, rec.FileNo, ((i - 2) * rec.dt + rec.t0) * 1000);
    text += fmt::format("{} {} {} {}\r\n", Fixed(i * rec.dt * 1000, 8, 3), Fixed(c.Icom, 8, 3), Fixed(c.Gcom, 8, 3),
                        Fixed(c.gNMDAcom, 8, 3));
  }
  return WriteFileAtomically(dir / kTrueIGFileName, text);
}

EstimateSummary SummarizeEstimates(const Pulses& p, ApproxKind kind) {
  EstimateSummary s;
  s.first = IsRegressionKind(kind) ? 2 : 1;
  s.last = p.nPulses;
  const int n = s.last - s.first + 1;
  if (n < 1) return s;
  for (int j = s.first; j <= s.last; ++j) {
    s.meanIest += p.Iest[j], s.meanGest += p.Gest[j];
    s.meanI += p.I[j], s.meanG += p.G[j];
    s.rmsI += (p.Iest[j] - p.I[j]) * (p.Iest[j] - p.I[j]);
    s.rmsG += (p.Gest[j] - p.G[j]) * (p.Gest[j] - p.G[j]);
  }
  for (double* x : {&s.meanIest, &s.meanGest, &s.meanI, &s.meanG, &s.rmsI, &s.rmsG}) *x /= n;
  s.rmsI = std::sqrt(s.rmsI), s.rmsG = std::sqrt(s.rmsG);
  return s;
}

}  // namespace velmora
