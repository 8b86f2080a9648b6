#include "modelcell/AbfWriter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>

#include "recording/TextIO.h"

namespace velmora {

namespace {

constexpr std::size_t kBlock = 512;  // bytes

// The file as it grows, section by section, each on a block of its own.
class Blocks {
 public:
  template <class T>
  void Put(std::size_t off, T value) {
    if (off + sizeof value > bytes_.size()) bytes_.resize(off + sizeof value);
    std::memcpy(bytes_.data() + off, &value, sizeof value);
  }
  // Starts a section on the next block; returns its block number.
  std::uint32_t Begin() {
    bytes_.resize((bytes_.size() + kBlock - 1) / kBlock * kBlock);
    return static_cast<std::uint32_t>(bytes_.size() / kBlock);
  }
  std::size_t size() const { return bytes_.size(); }
  void Append(std::span<const char> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  // The section map entry i: block, bytes per entry, entries.
  void Map(int i, std::uint32_t block, std::uint32_t bytes, std::int64_t count) {
    const std::size_t at = 76 + 16 * static_cast<std::size_t>(i);
    Put(at, block), Put(at + 4, bytes), Put(at + 8, count);
  }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

// value = raw * gain + offset, with gain = 10 V / (32768 * scale): the
// float32 fields the reader sees decide the rounding, not the doubles here.
struct Int16Scale {
  float scale = 1, offset = 0;
  double gain() const { return 10.0 / (32768.0 * scale); }
};

Int16Scale ScaleFor(const AbfWriteChannel& c) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const auto& s : c.sweeps)
    for (const double x : s) lo = std::min(lo, x), hi = std::max(hi, x);
  Int16Scale out;
  out.offset = static_cast<float>((lo + hi) / 2);
  const double gain = hi > lo ? (hi - lo) / 65000 : 1.0;  // a little inside the int16 codes
  out.scale = static_cast<float>(10.0 / (32768.0 * gain));
  return out;
}

}  // namespace

Status WriteAbf2(const std::filesystem::path& path, const AbfContent& content) {
  const std::string file = path.string();
  const auto bad = [&](std::string message) -> Status { return Error{file, 0, "", std::move(message)}; };
  if (content.channels.empty() || content.channels.front().sweeps.empty()) return bad("nothing to write: no channel or no sweep");
  const std::size_t nADC = content.channels.size();
  const std::size_t nSweeps = content.channels.front().sweeps.size();
  const std::size_t n = content.channels.front().sweeps.front().size();
  for (const AbfWriteChannel& c : content.channels) {
    if (c.sweeps.size() != nSweeps) return bad(fmt::format("channel \"{}\" has {} sweeps, not {}", c.name, c.sweeps.size(), nSweeps));
    for (const auto& s : c.sweeps)
      if (s.size() != n) return bad(fmt::format("channel \"{}\" has a sweep of {} samples, not {}", c.name, s.size(), n));
  }
  if (n == 0 || !(content.dt > 0)) return bad("sweeps must hold samples at a positive interval");

  // Strings: index k >= 1 names the k-th.
  std::vector<std::string> strings = {"Velmora model cell"};
  const auto add = [&](const std::string& s) {
    strings.push_back(s);
    return static_cast<std::int32_t>(strings.size());
  };

  Blocks f;
  f.bytes().assign(kBlock, '\0');
  std::memcpy(f.bytes().data(), "ABF2", 4);
  f.Put<std::uint8_t>(4, 0), f.Put<std::uint8_t>(5, 0), f.Put<std::uint8_t>(6, 6), f.Put<std::uint8_t>(7, 2);  // 2.6.0.0
  f.Put<std::uint32_t>(8, kBlock);
  f.Put<std::uint32_t>(12, static_cast<std::uint32_t>(nSweeps));
  f.Put<std::uint16_t>(28, 1);
  f.Put<std::uint16_t>(30, content.float32 ? 1 : 0);
  f.Put<std::uint32_t>(60, 1);  // creator name

  const std::uint32_t protocol = f.Begin();
  const std::size_t p = f.size();
  f.Put<std::int16_t>(p + 0, kAbfEpisodic);
  f.Put<float>(p + 2, static_cast<float>(content.dt * 1000));  // µs
  f.Put<float>(p + 14, 0);  // synch ticks are samples
  f.Put<std::int32_t>(p + 22, static_cast<std::int32_t>(n * nADC));
  f.Put<std::int32_t>(p + 30, static_cast<std::int32_t>(nSweeps));
  f.Put<float>(p + 110, 10);
  f.Put<std::int32_t>(p + 118, 32768);
  f.Put<std::int16_t>(p + 126, 2);
  f.Put<std::int16_t>(p + 142, 0);
  f.Put<std::int8_t>(p + kBlock - 1, 0);
  f.Map(0, protocol, kBlock, 1);

  std::vector<Int16Scale> scales;
  const std::uint32_t adc = f.Begin();
  for (std::size_t c = 0; c < nADC; ++c) {
    const std::size_t a = f.size();
    const Int16Scale sc = content.float32 ? Int16Scale{} : ScaleFor(content.channels[c]);
    scales.push_back(sc);
    f.Put<std::int16_t>(a + 0, static_cast<std::int16_t>(c));
    f.Put<std::int16_t>(a + 2, 0);
    f.Put<float>(a + 6, 1);
    f.Put<float>(a + 28, 1);
    f.Put<float>(a + 40, sc.scale);
    f.Put<float>(a + 44, sc.offset);
    f.Put<float>(a + 48, 1);
    f.Put<float>(a + 52, 0);
    f.Put<std::int32_t>(a + 74, add(content.channels[c].name));
    f.Put<std::int32_t>(a + 78, add(content.channels[c].unit));
    f.Put<std::int8_t>(a + 127, 0);
  }
  f.Map(1, adc, 128, static_cast<std::int64_t>(nADC));

  const std::uint32_t dac = f.Begin();
  const std::size_t d = f.size();
  f.Put<std::int16_t>(d + 0, 0);
  f.Put<float>(d + 8, 1);
  f.Put<float>(d + 12, static_cast<float>(content.dac.holding));
  f.Put<std::int32_t>(d + 24, add(content.dac.name));
  f.Put<std::int32_t>(d + 28, add(content.dac.unit));
  f.Put<std::int16_t>(d + 40, content.dac.epochs.empty() ? 0 : 1);
  f.Put<std::int16_t>(d + 42, 1);
  f.Put<std::int16_t>(d + 44, static_cast<std::int16_t>(content.dac.interEpisodeLevel));
  f.Put<std::int8_t>(d + 255, 0);
  f.Map(2, dac, 256, 1);

  if (!content.dac.epochs.empty()) {
    const std::uint32_t epochs = f.Begin();
    for (std::size_t i = 0; i < content.dac.epochs.size(); ++i) {
      const AbfEpoch& e = content.dac.epochs[i];
      const std::size_t at = f.size();
      f.Put<std::int16_t>(at + 0, static_cast<std::int16_t>(i));
      f.Put<std::int16_t>(at + 2, 0);
      f.Put<std::int16_t>(at + 4, static_cast<std::int16_t>(e.type));
      f.Put<float>(at + 6, static_cast<float>(e.initLevel));
      f.Put<float>(at + 10, static_cast<float>(e.levelInc));
      f.Put<std::int32_t>(at + 14, static_cast<std::int32_t>(e.initDuration));
      f.Put<std::int32_t>(at + 18, static_cast<std::int32_t>(e.durationInc));
      f.Put<std::int32_t>(at + 22, static_cast<std::int32_t>(e.pulsePeriod));
      f.Put<std::int32_t>(at + 26, static_cast<std::int32_t>(e.pulseWidth));
      f.Put<std::int8_t>(at + 47, 0);
    }
    f.Map(5, epochs, 48, static_cast<std::int64_t>(content.dac.epochs.size()));
  }

  const std::uint32_t strs = f.Begin();
  std::string text;
  std::uint32_t longest = 0;
  for (const std::string& s : strings) {
    text += s;
    text += '\0';
    longest = std::max(longest, static_cast<std::uint32_t>(s.size() + 1));
  }
  const std::size_t s0 = f.size();
  f.Append(std::span<const char>("SSCH", 4));
  f.Put<std::uint32_t>(s0 + 4, 1);
  f.Put<std::uint32_t>(s0 + 8, static_cast<std::uint32_t>(strings.size()));
  f.Put<std::uint32_t>(s0 + 12, longest);
  f.Put<std::int32_t>(s0 + 16, static_cast<std::int32_t>(text.size()));
  f.Put<std::int8_t>(s0 + 43, 0);
  f.Append(text);
  f.Map(9, strs, static_cast<std::uint32_t>(44 + text.size()), static_cast<std::int64_t>(strings.size()));

  const std::uint32_t synch = f.Begin();
  for (std::size_t k = 0; k < nSweeps; ++k) {
    const std::size_t at = f.size();
    f.Put<std::int32_t>(at, static_cast<std::int32_t>(k * n * nADC));
    f.Put<std::int32_t>(at + 4, static_cast<std::int32_t>(n * nADC));
  }
  f.Map(15, synch, 8, static_cast<std::int64_t>(nSweeps));

  const std::uint32_t data = f.Begin();
  const std::size_t valueBytes = content.float32 ? 4 : 2;
  std::string& bytes = f.bytes();
  std::size_t at = bytes.size();
  bytes.resize(at + nSweeps * n * nADC * valueBytes);
  for (std::size_t k = 0; k < nSweeps; ++k)
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t c = 0; c < nADC; ++c, at += valueBytes) {
        const double x = content.channels[c].sweeps[k][i];
        if (content.float32) {
          const auto v = static_cast<float>(x);
          std::memcpy(bytes.data() + at, &v, 4);
        } else {
          const double counts = std::round((x - scales[c].offset) / scales[c].gain());
          const auto v = static_cast<std::int16_t>(std::clamp(counts, -32768.0, 32767.0));
          std::memcpy(bytes.data() + at, &v, 2);
        }
      }
  f.Map(10, data, static_cast<std::uint32_t>(valueBytes), static_cast<std::int64_t>(nSweeps * n * nADC));
  return WriteFileAtomically(path, bytes);
}

Status WriteStepsAbf(const std::filesystem::path& path, const SynthSettings& s, const std::vector<SynthSweep>& sweeps,
                     WarningSink& warnings) {
  const StepsSettings& st = s.steps;
  const double dt = s.recorder.dt;
  AbfContent content;
  content.dt = dt;
  content.channels = {{"Vm", "mV", {}}, {"Imeas", "pA", {}}};
  for (const SynthSweep& sweep : sweeps) {
    if (!sweep.result) return Error{path.string(), 0, "", "the sweeps were simulated without keeping their samples"};
    content.channels[0].sweeps.push_back(sweep.result->V);
    content.channels[1].sweeps.push_back(sweep.result->Ireal);
  }
  if (sweeps.empty()) return Error{path.string(), 0, "", "no sweep to write"};
  if (st.G0 != 0)
    warnings.Warn(fmt::format("{}: the conductance step of {} nS is not part of an ABF file", path.string(), st.G0));
  const auto n = static_cast<long>(content.channels[0].sweeps.front().size());
  const long holding = n / 64, on = std::lround(st.tStimStart / dt), off = std::lround(st.tStimEnd / dt);
  if (on < holding || off < on)
    return Error{path.string(), 0, "", fmt::format("the step ({} to {} ms) must start after the first {} ms", st.tStimStart,
                                                   st.tStimEnd, holding * dt)};
  content.dac.name = "Cmd 0";
  content.dac.unit = "pA";
  const double inc = st.nSteps > 1 ? (st.Ilast - st.Ifirst) / (st.nSteps - 1) : 0;
  content.dac.epochs = {{0, static_cast<int>(EpochType::Step), 0, 0, on - holding, 0, 0, 0},
                     {1, static_cast<int>(EpochType::Step), st.Ifirst, inc, off - on, 0, 0, 0}};
  return WriteAbf2(path, content);
}

}  // namespace velmora
