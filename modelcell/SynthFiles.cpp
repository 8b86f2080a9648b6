#include "modelcell/SynthFiles.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "recording/TextIO.h"

namespace velmora {

namespace {

// Fixed(x, w, d) straight into the buffer: traces have millions of numbers.
void AppendFixed(std::string& out, double x, int width, int decimals) {
  fmt::format_to(std::back_inserter(out), "{:{}.{}f}", x, width, decimals);
}

// Enough decimals for the time column to carry dt exactly (the reader takes
// dt from the first two times), at least 3.
int TimeDecimals(double dt) {
  for (int d = 3; d <= 6; ++d) {
    const double scaled = dt * std::pow(10.0, d);
    if (std::fabs(scaled - std::round(scaled)) < 1e-6) return d;
  }
  return 6;
}

void AppendLE(std::string& out, std::uint64_t bits, int bytes) {
  for (int b = 0; b < bytes; ++b) out += static_cast<char>((bits >> (8 * b)) & 0xFF);
}
void AppendDouble(std::string& out, double x) { AppendLE(out, std::bit_cast<std::uint64_t>(x), 8); }

struct Channel {
  const std::vector<double>* values;
  const char* label;
};

std::vector<Channel> ChannelsOf(const SweepResult& r, const TraceLayout& layout, bool binary) {
  std::vector<Channel> ch{{&r.V, "V mV"}, {&r.Icom, "Icom pA"}, {&r.Ireal, "Ireal pA"}};
  if (layout.ch4) ch.push_back({&r.Vm, "Vm mV"});
  if (layout.ch56) ch.push_back({&r.GE, "GE nS"}), ch.push_back({&r.GI, "GI nS"});
  if (binary && layout.lfp) ch.push_back({&r.LFP, "LFP mV"});
  return ch;
}

// Offset at the middle of the range and a scale that spreads the range over
// +-32500 codes; a constant channel is carried by its offset alone.
std::pair<double, double> ScaleAndOffset(const std::vector<double>& v) {
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  if (lo == v.end() || *hi == *lo) return {1.0, lo == v.end() ? 0.0 : *lo};
  return {(*hi - *lo) / 65000, (*hi + *lo) / 2};
}

}  // namespace

Status WriteTextTrace(const std::filesystem::path& path, const SweepResult& r, const TraceLayout& layout) {
  const int td = TimeDecimals(r.dt);
  std::string out;
  out.reserve(static_cast<std::size_t>(r.samples()) * (70 + 11 * (layout.ch4 + 2 * layout.ch56)));
  for (int k = 0; k < r.samples(); ++k) {
    AppendFixed(out, k * r.dt, 8 + td, td);
    AppendFixed(out, r.V[k], 10, 4);
    AppendFixed(out, r.Icom[k], 11, 3);
    AppendFixed(out, r.Ireal[k], 11, 3);
    AppendFixed(out, r.G[k], 10, 4);
    AppendFixed(out, r.Meander[k], 10, 3);
    if (layout.ch4) AppendFixed(out, r.Vm[k], 10, 4);
    if (layout.ch56) AppendFixed(out, r.GE[k], 10, 4), AppendFixed(out, r.GI[k], 10, 4);
    out += "\r\n";
  }
  return WriteFileAtomically(path, out);
}

Status WriteBinaryTrace(const std::filesystem::path& path, const SweepResult& r, const TraceLayout& layout) {
  const auto channels = ChannelsOf(r, layout, true);
  std::string names = "Velmora model cell:";
  for (const Channel& c : channels) names += fmt::format(" {};", c.label);
  names.resize(std::min<std::size_t>(names.size(), 255));

  std::string out;
  out.reserve(264 + 16 * channels.size() + 2 * channels.size() * static_cast<std::size_t>(r.samples()));
  AppendDouble(out, r.dt);
  out += static_cast<char>(names.size());
  out += names;
  out.append(255 - names.size(), '\0');

  std::vector<std::pair<double, double>> so;
  for (const Channel& c : channels) so.push_back(ScaleAndOffset(*c.values));
  for (const auto& [scale, offset] : so) AppendDouble(out, scale);
  for (const auto& [scale, offset] : so) AppendDouble(out, offset);
  for (int k = 0; k < r.samples(); ++k) {
    for (std::size_t c = 0; c < channels.size(); ++c) {
      const double code = std::round(((*channels[c].values)[k] - so[c].second) / so[c].first);
      const auto raw = static_cast<std::int16_t>(std::clamp(code, -32767.0, 32767.0));
      AppendLE(out, static_cast<std::uint16_t>(raw), 2);
    }
  }
  return WriteFileAtomically(path, out);
}

Status WriteLfpFile(const std::filesystem::path& path, const SweepResult& r) {
  const int td = TimeDecimals(r.dt);
  std::string out;
  for (int k = 1; k < static_cast<int>(r.LFP.size()); ++k) {
    AppendFixed(out, k * r.dt, 8 + td, td);
    AppendFixed(out, r.LFP[k], 10, 4);
    out += "\r\n";
  }
  return WriteFileAtomically(path, out);
}

Status WriteListOfFiles(const std::filesystem::path& path,
                        std::span<const std::pair<std::string, std::string>> entries) {
  std::string out;
  for (const auto& [trace, par] : entries) out += trace + "\r\n" + par + "\r\n";
  return WriteFileAtomically(path, out);
}

Status WriteColumnFile(const std::filesystem::path& path, std::span<const std::vector<double>* const> columns,
                       int decimals) {
  std::string out;
  const std::size_t lines = columns.empty() ? 0 : columns.front()->size();
  for (std::size_t j = 0; j < lines; ++j) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) out += ' ';
      AppendFixed(out, (*columns[c])[j], 6 + decimals, decimals);
    }
    out += "\r\n";
  }
  return WriteFileAtomically(path, out);
}

Status WriteOldHeader(const std::filesystem::path& path, const ColumnHeader& h) {
  // Lines 1, 2, 7 and 12 are not read.
  const double lines[] = {0, 0, h.Gsweep1, h.dGsweep, h.tOn, h.tStimDur, 0, h.SampleRate,
                          h.Isweep1, h.dIsweep, h.tOn, 0, h.Bridge};
  std::string out;
  for (const double x : lines) out += fmt::format("{}\r\n", x);
  return WriteFileAtomically(path, out);
}

Status WriteNewHeader(const std::filesystem::path& path, const ColumnHeader& h) {
  const double numbers[] = {static_cast<double>(h.nSweeps), h.Gsweep1, h.dGsweep, h.tOn, h.tStimDur, 0,
                            h.SampleRate, h.Isweep1, h.dIsweep, h.tOn, h.tStimDur, h.Bridge, 0, 0, 0, 0, 0,
                            h.Gain, h.Vref, h.gBase, h.Erev, h.gStep};
  std::string out =
      "nSweeps Gsweep1 dGsweep tOn tStimDur - SampleRate Isweep1 dIsweep tIvb tIvbDur Bridge - - - - - "
      "Gain Vref gBase Erev gStep\r\n";
  for (const double x : numbers) out += fmt::format("{}\r\n", x);
  return WriteFileAtomically(path, out);
}

Status WriteGESequence(const std::filesystem::path& path, const ColumnHeader& h) {
  std::string out;
  for (int k = 1; k <= h.nSweeps; ++k)
    out += fmt::format("{} {}\r\n", k, k <= static_cast<int>(h.gSeq.size()) ? h.gSeq[k - 1] : 0.0);
  return WriteFileAtomically(path, out);
}

}  // namespace velmora
