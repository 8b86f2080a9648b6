#include "recording/Abf.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <numbers>
#include <tuple>
#include <type_traits>

#include "recording/TextIO.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace velmora {

namespace {

namespace fs = std::filesystem;
static_assert(std::endian::native == std::endian::little, "ABF files are little-endian");

constexpr std::uint64_t kBlock = 512;  // bytes; sections start on blocks

// Header text is single-byte (0xB5 is µ); the rest of the program speaks UTF-8.
std::string Latin1ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out.push_back(ch);
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// Fixed-width names are padded with blanks or NULs and have no terminator when full.
std::string FixedText(std::string_view s) {
  s = s.substr(0, std::min(s.find('\0'), s.size()));
  while (!s.empty() && (s.back() == ' ' || s.front() == ' '))
    s = s.back() == ' ' ? s.substr(0, s.size() - 1) : s.substr(1);
  return Latin1ToUtf8(s);
}

}  // namespace

std::string EpochName(int number) {
  return number >= 0 && number < 26 ? std::string(1, static_cast<char>('A' + number)) : fmt::format("#{}", number + 1);
}

namespace {

// Little-endian fields of one header or section entry. A field beyond the
// bytes reads as 0: callers check the entry sizes they rely on first.
class Fields {
 public:
  explicit Fields(std::span<const unsigned char> bytes) : b_(bytes) {}
  template <class T>
  T Get(std::size_t off) const {
    T v{};
    if (off + sizeof(T) <= b_.size()) std::memcpy(&v, b_.data() + off, sizeof v);
    return v;
  }
  std::int16_t I16(std::size_t off) const { return Get<std::int16_t>(off); }
  std::int32_t I32(std::size_t off) const { return Get<std::int32_t>(off); }
  std::uint32_t U32(std::size_t off) const { return Get<std::uint32_t>(off); }
  double F32(std::size_t off) const { return Get<float>(off); }
  std::string Text(std::size_t off, std::size_t n) const {
    if (off + n > b_.size()) return {};
    return FixedText(std::string_view(reinterpret_cast<const char*>(b_.data()) + off, n));
  }

 private:
  std::span<const unsigned char> b_;
};

// The open file with its size; every read is checked against it first.
class Source {
 public:
  static Result<Source> Open(const fs::path& path) {
    Source s;
    s.file_ = path.string();
    std::error_code ec;
    if (!fs::exists(path, ec)) return s.Fail("no such file");
    if (!fs::is_regular_file(path, ec)) return s.Fail("not a regular file");
    s.size_ = fs::file_size(path, ec);
    if (ec) return s.Fail("cannot tell its size: " + ec.message());
    s.f_.reset(std::fopen(path.c_str(), "rb"));
    if (!s.f_) return s.Fail("cannot open: " + std::string(std::strerror(errno)));
    return s;
  }

  Error Fail(std::string message, std::string field = {}) const { return Error{file_, 0, std::move(field), std::move(message)}; }

  // Whether `bytes` from `offset` lie inside the file, without overflow.
  bool Inside(std::uint64_t offset, std::uint64_t bytes) const { return offset <= size_ && bytes <= size_ - offset; }

  Result<std::vector<unsigned char>> Read(std::uint64_t offset, std::uint64_t bytes, std::string_view what) const {
    if (!Inside(offset, bytes))
      return Fail(fmt::format("the file is cut short: {} needs bytes {} to {}, the file has {}", what, offset,
                              offset + bytes, size_));
    std::vector<unsigned char> out(static_cast<std::size_t>(bytes));
    if (!Seek(offset) || std::fread(out.data(), 1, out.size(), f_.get()) != out.size())
      return Fail(fmt::format("read error in {}", what));
    return out;
  }

  bool Seek(std::uint64_t offset) const { return fseeko(f_.get(), static_cast<off_t>(offset), SEEK_SET) == 0; }
  std::FILE* get() const { return f_.get(); }
  std::uint64_t size() const { return size_; }
  const std::string& file() const { return file_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> f_;
  std::uint64_t size_ = 0;
  std::string file_;
};

// How the stored samples become values: per channel value = raw * gain + offset.
struct Scaling {
  bool float32 = false;
  std::vector<double> gain, offset;
};

// Most of the time of loading a long recording goes to the first touch of
// the fresh sample arrays, one page fault per 4 KiB. Huge pages, where the
// system offers them on request, make that one fault per 2 MiB.
void PreferHugePages([[maybe_unused]] const void* p, [[maybe_unused]] std::size_t bytes) {
#ifdef __linux__
  constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t from = (at + kHuge - 1) & ~(kHuge - 1), to = (at + bytes) & ~(kHuge - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}

// Every `stride`-th stored value from `in` as a value in user units; float32
// data are stored in them already.
template <std::size_t kStride, class Stored>
void Convert(const Stored* in, std::size_t stride, std::size_t n, double gain, double offset, float* out) {
  const std::size_t step = kStride ? kStride : stride;
  if constexpr (std::is_same_v<Stored, float>) {
    for (std::size_t i = 0; i < n; ++i) out[i] = in[i * step];
  } else {
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(in[i * step] * gain + offset);
  }
}

// Reads `perChannel` samples of every channel, interleaved from `offset`.
// The caller has checked that they lie inside the file.
template <class Stored>
Status ReadSamples(const Source& src, std::uint64_t offset, std::size_t perChannel, const Scaling& s,
                   std::vector<AbfChannel>& channels) {
  const std::size_t nADC = channels.size();
  constexpr std::size_t kChunk = 1 << 14;  // samples per channel per read: the buffers stay in cache
  std::vector<Stored> stored(kChunk * nADC);
  std::vector<float> converted(kChunk);
  for (AbfChannel& c : channels) {
    c.samples.reserve(perChannel);
    PreferHugePages(c.samples.data(), perChannel * sizeof(float));
  }
  if (!src.Seek(offset)) return src.Fail("cannot seek to the samples");
  for (std::size_t done = 0; done < perChannel;) {
    const std::size_t n = std::min(kChunk, perChannel - done);
    if (std::fread(stored.data(), sizeof(Stored) * nADC, n, src.get()) != n)
      return src.Fail(fmt::format("read error at sample {}", done));
    for (std::size_t c = 0; c < nADC; ++c) {
      const Stored* in = stored.data() + c;
      const double gain = s.float32 ? 1 : s.gain[c], off = s.float32 ? 0 : s.offset[c];
      // A stride known when compiling lets the loop run on vectors.
      if (nADC == 1) Convert<1>(in, nADC, n, gain, off, converted.data());
      else if (nADC == 2) Convert<2>(in, nADC, n, gain, off, converted.data());
      else Convert<0>(in, nADC, n, gain, off, converted.data());
      channels[c].samples.insert(channels[c].samples.end(), converted.begin(), converted.begin() + static_cast<long>(n));
    }
    done += n;
  }
  return Ok();
}

Status ReadSamples(const Source& src, std::uint64_t offset, std::size_t perChannel, const Scaling& s,
                   std::vector<AbfChannel>& channels) {
  return s.float32 ? ReadSamples<float>(src, offset, perChannel, s, channels)
                   : ReadSamples<std::int16_t>(src, offset, perChannel, s, channels);
}

// gain = range / (resolution * instrument scale * signal gain * programmable
// gain * telegraph gain); a zero or non-finite product would make every value
// infinite or NaN, so it is refused.
Status SetScaling(const Source& src, int channel, double range, double resolution, double instrumentScale,
                  double signalGain, double programmableGain, double telegraphGain, double instrumentOffset,
                  double signalOffset, Scaling& s) {
  const double gain = range / (resolution * instrumentScale * signalGain * programmableGain * telegraphGain);
  const double offset = instrumentOffset - signalOffset;
  if (!std::isfinite(gain) || gain == 0 || !std::isfinite(offset) || std::fabs(gain) * 32768 + std::fabs(offset) > 3e38)
    return src.Fail(fmt::format("channel {} has no usable scaling (range {}, resolution {}, instrument scale {}, "
                                "signal gain {}, programmable gain {}, telegraph gain {}, offset {})",
                                channel, range, resolution, instrumentScale, signalGain, programmableGain,
                                telegraphGain, offset));
  s.gain.push_back(gain);
  s.offset.push_back(offset);
  return Ok();
}

Status CheckInterval(const Source& src, double dt, std::string_view field) {
  if (!(dt > 0) || !std::isfinite(dt))
    return src.Fail(fmt::format("the sample interval {} µs is not positive", dt * 1000), std::string(field));
  return Ok();
}

// A synch array entry: the sweep's start (ticks) and length (samples of all channels).
struct Synch {
  std::int64_t start = 0, length = 0;
};

// Splits `count` stored values into sweeps by the operation mode. Episodic
// and fixed-length files must hold exactly sweeps * samplesPerEpisode values;
// a variable-length file's synch lengths must add up to them.
Result<std::vector<AbfSweep>> SplitSweeps(const Source& src, int mode, std::uint64_t count, std::size_t nADC,
                                          std::int64_t episodes, std::int64_t samplesPerEpisode,
                                          const std::vector<Synch>& synch, double tick, double dt) {
  std::vector<AbfSweep> sweeps;
  const auto startOf = [&](std::size_t k, std::size_t first) {
    return k < synch.size() ? static_cast<double>(synch[k].start) * tick : static_cast<double>(first) * dt;
  };
  if (count % nADC != 0)
    return src.Fail(fmt::format("{} stored values do not divide into {} channels", count, nADC));
  const std::uint64_t perChannel = count / nADC;
  if (mode == kAbfGapFree) {
    if (perChannel == 0) return src.Fail("the recording holds no sample");
    sweeps.push_back({0, static_cast<std::size_t>(perChannel), startOf(0, 0)});
    return sweeps;
  }
  if (mode == kAbfEpisodic || mode == kAbfFixedLength) {
    if (episodes <= 0) return src.Fail(fmt::format("the file records {} sweeps", episodes), "lActualEpisodes");
    if (samplesPerEpisode <= 0 || samplesPerEpisode % static_cast<std::int64_t>(nADC) != 0)
      return src.Fail(fmt::format("{} samples per sweep do not divide into {} channels", samplesPerEpisode, nADC),
                      "lNumSamplesPerEpisode");
    const auto n = static_cast<std::uint64_t>(samplesPerEpisode) / nADC;
    if (static_cast<std::uint64_t>(episodes) > perChannel / n || static_cast<std::uint64_t>(episodes) * n != perChannel)
      return src.Fail(fmt::format("{} sweeps of {} samples per channel do not match the {} samples stored per channel",
                                  episodes, n, perChannel));
    for (std::int64_t k = 0; k < episodes; ++k) {
      const std::size_t first = static_cast<std::size_t>(k) * n;
      sweeps.push_back({first, static_cast<std::size_t>(n), startOf(static_cast<std::size_t>(k), first)});
    }
    return sweeps;
  }
  if (mode == kAbfVariableLength) {
    if (synch.empty()) return src.Fail("a variable-length recording without a synch array has no sweep lengths");
    std::uint64_t first = 0;
    for (std::size_t k = 0; k < synch.size(); ++k) {
      const std::int64_t length = synch[k].length;
      if (length <= 0 || length % static_cast<std::int64_t>(nADC) != 0 ||
          static_cast<std::uint64_t>(length) / nADC > perChannel - first)
        return src.Fail(fmt::format("sweep {} of {} samples does not fit the {} samples stored", k + 1, length, count),
                        "synch array");
      const auto n = static_cast<std::size_t>(length) / nADC;
      sweeps.push_back({static_cast<std::size_t>(first), n, startOf(k, static_cast<std::size_t>(first))});
      first += n;
    }
    if (first != perChannel)
      return src.Fail(fmt::format("the sweeps hold {} samples per channel, the data {}", first, perChannel),
                      "synch array");
    return sweeps;
  }
  return src.Fail(fmt::format("operation mode {} is not supported (1, 2, 3 and 5 are)", mode), "nOperationMode");
}

// ---- ABF 2 ----------------------------------------------------------------

struct Section {
  std::uint64_t offset = 0;  // bytes
  std::uint64_t bytes = 0;   // per entry
  std::uint64_t count = 0;
  bool present() const { return offset != 0 && count != 0; }
};

constexpr const char* kSectionNames[] = {"Protocol", "ADC", "DAC", "Epoch", "ADCPerDAC", "EpochPerDAC",
                                         "UserList", "StatsRegion", "Math", "Strings", "Data", "Tag",
                                         "Scope", "Delta", "VoiceTag", "SynchArray", "Annotation", "Stats"};
enum : int { kProtocol = 0, kAdc = 1, kDac = 2, kEpochPerDac = 5, kUserList = 6, kStrings = 9, kData = 10, kSynch = 15 };

Result<Section> SectionOf(const Source& src, const Fields& head, int i, std::uint64_t minEntry) {
  const std::size_t at = 76 + 16 * static_cast<std::size_t>(i);
  Section s;
  const std::uint32_t block = head.U32(at);
  s.bytes = head.U32(at + 4);
  const auto count = head.Get<std::int64_t>(at + 8);
  if (block == 0) return s;
  const std::string name = kSectionNames[i];
  if (count < 0) return src.Fail(fmt::format("the {} section has {} entries", name, count), "section map");
  s.offset = block * kBlock;
  s.count = static_cast<std::uint64_t>(count);
  if (s.count == 0) return s;
  if (s.bytes < minEntry)
    return src.Fail(fmt::format("{} entries of {} bytes are shorter than the {} bytes read from each", name, s.bytes,
                                minEntry),
                    "section map");
  if (s.count > src.size() / s.bytes || !src.Inside(s.offset, s.bytes * s.count))
    return src.Fail(fmt::format("the {} section ({} entries of {} bytes at block {}) lies outside the file ({} bytes)",
                                name, s.count, s.bytes, block, src.size()),
                    "section map");
  return s;
}

// Entry j of a section read whole.
Fields Entry(const std::vector<unsigned char>& b, const Section& s, std::size_t j) {
  return Fields(std::span(b).subspan(j * s.bytes, s.bytes));
}

Result<std::vector<unsigned char>> ReadSection(const Source& src, const Section& s, std::string_view name) {
  return src.Read(s.offset, s.bytes * s.count, name);
}

// "SSCH", version, count, longest, total, 24 unused bytes; then the strings,
// each ended by a NUL. Index k >= 1 elsewhere names the k-th.
Result<std::vector<std::string>> ParseStrings(const Source& src, std::span<const unsigned char> b) {
  std::vector<std::string> strings;
  if (b.empty()) return strings;
  constexpr std::size_t kHead = 44;
  if (b.size() < kHead || std::memcmp(b.data(), "SSCH", 4) != 0)
    return src.Fail("the strings section does not start with \"SSCH\"", "Strings");
  const std::uint32_t count = Fields(b).U32(8);
  std::string_view rest(reinterpret_cast<const char*>(b.data()) + kHead, b.size() - kHead);
  while (strings.size() < count && !rest.empty()) {
    const std::size_t nul = std::min(rest.find('\0'), rest.size());
    strings.push_back(Latin1ToUtf8(rest.substr(0, nul)));
    rest.remove_prefix(std::min(nul + 1, rest.size()));
  }
  return strings;
}

// Comma-separated numbers; a trailing comma occurs. Anything else than a
// number makes the list unusable.
std::optional<std::vector<double>> ParseList(std::string_view text) {
  std::vector<double> values;
  while (!text.empty()) {
    const std::size_t comma = std::min(text.find(','), text.size());
    std::string_view item = text.substr(0, comma);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    text.remove_prefix(std::min(comma + 1, text.size()));
    if (item.empty()) continue;
    const auto x = ParseReal(item);
    if (!x) return std::nullopt;
    values.push_back(*x);
  }
  if (values.empty()) return std::nullopt;
  return values;
}

// The code names an epoch parameter: 21 + e (level), 31 + e, 41 + e, 51 + e
// in files numbering 10 epochs, 61 + e, 111 + e, 161 + e, 211 + e in files
// numbering 50. The two ranges do not overlap, so the code alone tells them apart.
std::optional<std::pair<AbfUserList::Replaces, int>> DecodeUserListCode(int code) {
  using R = AbfUserList::Replaces;
  constexpr R kOrder[] = {R::Level, R::Duration, R::PulsePeriod, R::PulseWidth};
  if (code >= 21 && code < 61) return std::pair{kOrder[(code - 21) / 10], (code - 21) % 10};
  if (code >= 61 && code < 261) return std::pair{kOrder[(code - 61) / 50], (code - 61) % 50};
  return std::nullopt;
}

bool HasEpoch(const AbfDac& dac, int epoch) {
  return std::ranges::any_of(dac.epochs, [&](const AbfEpoch& e) { return e.number == epoch; });
}

// Attaches a user list to the DAC whose enabled epoch it names (the active
// DAC first), or warns that it names none.
void AttachUserList(AbfFile& abf, int code, std::string_view text, WarningSink& warnings) {
  const auto decoded = DecodeUserListCode(code);
  const auto values = ParseList(text);
  if (!decoded || !values) {
    warnings.Warn(fmt::format("{}: the user list (parameter code {}, values \"{}\") is not understood; the epoch "
                              "table is used as it stands",
                              abf.file, code, text));
    return;
  }
  int dac = -1;
  for (const AbfDac& d : abf.dacs)
    if (d.waveformEnabled && HasEpoch(d, decoded->second) && (dac < 0 || d.number == abf.activeDac)) dac = d.number;
  if (dac < 0) {
    warnings.Warn(fmt::format("{}: the user list (parameter code {}) names epoch {}, which no DAC has enabled; "
                              "it is not used",
                              abf.file, code, EpochName(decoded->second)));
    return;
  }
  abf.userList = AbfUserList{code, dac, decoded->second, decoded->first, *values};
}

Result<AbfFile> ReadAbf2(const Source& src, bool withSamples, WarningSink& warnings) {
  auto headBytes = src.Read(0, kBlock, "the header");
  if (!headBytes) return headBytes.error();
  const Fields head(*headBytes);
  AbfFile abf;
  abf.file = src.file();
  abf.format = AbfFormat::Abf2;
  abf.version = fmt::format("{}.{}.{}.{}", (*headBytes)[7], (*headBytes)[6], (*headBytes)[5], (*headBytes)[4]);
  if ((*headBytes)[7] != 2)
    return src.Fail(fmt::format("version {} is not an ABF 2 version", abf.version), "version");

  std::array<Section, 18> sec;
  // The bytes each entry must have for the fields read from it.
  const std::array<std::pair<int, std::uint64_t>, 8> needed = {
      {{kProtocol, 146}, {kAdc, 82}, {kDac, 122}, {kEpochPerDac, 30}, {kUserList, 12}, {kStrings, 1}, {kData, 2}, {kSynch, 8}}};
  for (const auto& [i, minEntry] : needed) {
    auto s = SectionOf(src, head, i, minEntry);
    if (!s) return s.error();
    sec[i] = *s;
  }
  if (!sec[kProtocol].present()) return src.Fail("the file has no protocol section", "section map");
  if (!sec[kAdc].present()) return src.Fail("the file has no channel (ADC) section", "section map");
  if (!sec[kData].present()) return src.Fail("the file has no data section", "section map");
  if (sec[kAdc].count > 64)
    return src.Fail(fmt::format("{} channels are more than an ABF file can hold", sec[kAdc].count), "ADC");

  auto protocolBytes = ReadSection(src, sec[kProtocol], "the protocol section");
  if (!protocolBytes) return protocolBytes.error();
  const Fields protocol(*protocolBytes);
  abf.operationMode = protocol.I16(0);
  abf.dt = protocol.F32(2) / 1000;
  if (Status s = CheckInterval(src, abf.dt, "fADCSequenceInterval"); !s) return s.error();
  const double tick = protocol.F32(14) > 0 ? protocol.F32(14) / 1000 : abf.dt / static_cast<double>(sec[kAdc].count);
  abf.activeDac = protocol.I16(142);

  std::vector<std::string> strings;
  if (sec[kStrings].present()) {
    auto b = ReadSection(src, sec[kStrings], "the strings section");
    if (!b) return b.error();
    auto parsed = ParseStrings(src, *b);
    if (!parsed) return parsed.error();
    strings = std::move(*parsed);
  }
  const auto str = [&](std::int32_t k) {
    return k >= 1 && static_cast<std::size_t>(k) <= strings.size() ? strings[k - 1] : std::string();
  };

  const int format = head.Get<std::uint16_t>(30);
  if (format != 0 && format != 1)
    return src.Fail(fmt::format("data format {} is neither int16 (0) nor float32 (1)", format), "nDataFormat");
  Scaling scaling;
  scaling.float32 = format == 1;
  if (sec[kData].bytes != (scaling.float32 ? 4u : 2u))
    return src.Fail(fmt::format("the data section has {}-byte values, the data format {}", sec[kData].bytes,
                                scaling.float32 ? "float32" : "int16"),
                    "section map");

  auto adcBytes = ReadSection(src, sec[kAdc], "the ADC section");
  if (!adcBytes) return adcBytes.error();
  for (std::size_t c = 0; c < sec[kAdc].count; ++c) {
    const Fields adc = Entry(*adcBytes, sec[kAdc], c);
    AbfChannel ch;
    ch.physical = adc.I16(0);
    ch.name = str(adc.I32(74));
    ch.unit = str(adc.I32(78));
    if (!scaling.float32) {
      const double telegraph = adc.I16(2) == 1 ? adc.F32(6) : 1.0;
      if (Status s = SetScaling(src, static_cast<int>(c), protocol.F32(110), protocol.I32(118), adc.F32(40),
                                adc.F32(48), adc.F32(28), telegraph, adc.F32(44), adc.F32(52), scaling);
          !s)
        return s.error();
      ch.gain = scaling.gain.back();
      ch.offset = scaling.offset.back();
    }
    abf.channels.push_back(std::move(ch));
  }

  if (sec[kDac].present()) {
    auto dacBytes = ReadSection(src, sec[kDac], "the DAC section");
    if (!dacBytes) return dacBytes.error();
    for (std::size_t d = 0; d < sec[kDac].count && d < 64; ++d) {
      const Fields f = Entry(*dacBytes, sec[kDac], d);
      AbfDac dac;
      dac.number = static_cast<int>(d);
      dac.holding = f.F32(12);
      dac.name = str(f.I32(24));
      dac.unit = str(f.I32(28));
      dac.waveformEnabled = f.I16(40) != 0;
      dac.waveformSource = f.I16(42);
      dac.interEpisodeLevel = f.I16(44);
      dac.waveformFile = str(f.I32(118));
      abf.dacs.push_back(std::move(dac));
    }
  }
  if (sec[kEpochPerDac].present()) {
    auto b = ReadSection(src, sec[kEpochPerDac], "the epoch section");
    if (!b) return b.error();
    std::size_t strays = 0;
    for (std::size_t j = 0; j < sec[kEpochPerDac].count; ++j) {
      const Fields f = Entry(*b, sec[kEpochPerDac], j);
      const int dac = f.I16(2);
      AbfEpoch e{f.I16(0), f.I16(4), f.F32(6), f.F32(10), f.I32(14), f.I32(18), f.I32(22), f.I32(26)};
      if (e.type == 0) continue;
      if (dac < 0 || dac >= static_cast<int>(abf.dacs.size()) || e.number < 0)
        ++strays;
      else
        abf.dacs[dac].epochs.push_back(e);
    }
    if (strays > 0)
      warnings.Warn(fmt::format("{}: {} epochs name a DAC the file does not have; they are left out", abf.file, strays));
    for (AbfDac& d : abf.dacs)
      std::ranges::stable_sort(d.epochs, {}, &AbfEpoch::number);
  }
  if (sec[kUserList].present()) {
    auto b = ReadSection(src, sec[kUserList], "the user list section");
    if (!b) return b.error();
    for (std::size_t j = 0; j < sec[kUserList].count; ++j) {
      const Fields f = Entry(*b, sec[kUserList], j);
      const std::string text = str(f.I32(8));
      if (text.empty()) continue;
      if (abf.userList) {
        warnings.Warn(fmt::format("{}: only the first user list is used", abf.file));
        break;
      }
      AttachUserList(abf, f.I16(4), text, warnings);
    }
  }

  std::vector<Synch> synch;
  if (sec[kSynch].present()) {
    auto b = ReadSection(src, sec[kSynch], "the synch array");
    if (!b) return b.error();
    for (std::size_t k = 0; k < sec[kSynch].count; ++k) {
      const Fields f = Entry(*b, sec[kSynch], k);
      synch.push_back({f.I32(0), f.I32(4)});
    }
  }
  const std::size_t nADC = abf.channels.size();
  auto sweeps = SplitSweeps(src, abf.operationMode, sec[kData].count, nADC, head.U32(12), protocol.I32(22), synch,
                            tick, abf.dt);
  if (!sweeps) return sweeps.error();
  abf.sweeps = std::move(*sweeps);
  if (!withSamples) return abf;
  if (Status s = ReadSamples(src, sec[kData].offset, sec[kData].count / nADC, scaling, abf.channels); !s)
    return s.error();
  return abf;
}

// ---- ABF 1 ----------------------------------------------------------------

// The epoch table of DAC d (0 or 1) from the extended header (version 1.6 on)
// or, for DAC 0 of older headers, from the legacy table.
void Abf1Epochs(const Fields& h, bool extended, AbfDac& dac) {
  const int d = dac.number;
  if (extended) {
    dac.waveformEnabled = h.I16(2296 + 2 * d) != 0;
    dac.waveformSource = h.I16(2300 + 2 * d);
    dac.interEpisodeLevel = h.I16(2304 + 2 * d);
    dac.waveformFile = h.Text(2736 + 256 * static_cast<std::size_t>(d), 256);
    for (int e = 0; e < 10; ++e) {
      const std::size_t slot = 10 * static_cast<std::size_t>(d) + e;
      AbfEpoch epoch{e,
                     h.I16(2308 + 2 * slot),
                     h.F32(2348 + 4 * slot),
                     h.F32(2428 + 4 * slot),
                     h.I32(2508 + 4 * slot),
                     h.I32(2588 + 4 * slot),
                     h.I32(2136 + 4 * slot),
                     h.I32(2216 + 4 * slot)};
      if (epoch.type != 0) dac.epochs.push_back(epoch);
    }
    return;
  }
  if (d != 0) return;
  dac.waveformSource = h.I16(1438);
  dac.waveformEnabled = dac.waveformSource != 0;
  dac.interEpisodeLevel = h.I16(1442);
  for (int e = 0; e < 10; ++e) {
    AbfEpoch epoch{e, h.I16(1444 + 2 * e), h.F32(1464 + 4 * e), h.F32(1504 + 4 * e), h.I16(1544 + 2 * e),
                   h.I16(1564 + 2 * e), 0, 0};
    if (epoch.type != 0) dac.epochs.push_back(epoch);
  }
}

Result<AbfFile> ReadAbf1(const Source& src, bool withSamples, WarningSink& warnings) {
  constexpr std::uint64_t kOldHeader = 2048, kNewHeader = 6144;
  auto first = src.Read(0, kOldHeader, "the header");
  if (!first) return first.error();
  const double version = Fields(*first).F32(4);
  AbfFile abf;
  abf.file = src.file();
  abf.format = AbfFormat::Abf1;
  if (!(version >= 1.0 && version < 2.0))
    return src.Fail(fmt::format("version {} is not an ABF 1 version", version), "fFileVersionNumber");
  abf.version = fmt::format("{:.2f}", version);
  // Fields from 2048 on exist from 1.6; older files keep samples or junk there.
  const bool extended = version >= 1.6 - 1e-4;
  auto headBytes = extended ? src.Read(0, kNewHeader, "the header") : std::move(first);
  if (!headBytes) return headBytes.error();
  const Fields h(*headBytes);

  if (h.I16(38) == 1) return src.Fail("the samples are in an obsolete floating-point format", "nMSBinFormat");
  abf.operationMode = h.I16(8);
  const int nADC = h.I16(120);
  if (nADC < 1 || nADC > 16) return src.Fail(fmt::format("{} channels (1 to 16 expected)", nADC), "nADCNumChannels");
  // The interval is between successive conversions of all channels.
  abf.dt = h.F32(122) * nADC / 1000;
  if (Status s = CheckInterval(src, abf.dt, "fADCSampleInterval"); !s) return s.error();
  if (const double second = h.F32(126); second != 0)
    return src.Fail(fmt::format("a second sample interval ({} µs) is not supported", second), "fADCSecondSampleInterval");
  const double tick = h.F32(130) > 0 ? h.F32(130) / 1000 : abf.dt / nADC;
  abf.activeDac = h.I16(1440);

  const int format = h.I16(100);
  if (format != 0 && format != 1)
    return src.Fail(fmt::format("data format {} is neither int16 (0) nor float32 (1)", format), "nDataFormat");
  Scaling scaling;
  scaling.float32 = format == 1;
  for (int c = 0; c < nADC; ++c) {
    const int p = h.I16(410 + 2 * c);
    if (p < 0 || p > 15)
      return src.Fail(fmt::format("channel {} names physical input {} (0 to 15 expected)", c, p), "nADCSamplingSeq");
    AbfChannel ch;
    ch.physical = p;
    ch.name = h.Text(442 + 10 * p, 10);
    ch.unit = h.Text(602 + 8 * p, 8);
    if (!scaling.float32) {
      const double telegraph = extended && h.I16(4512 + 2 * p) == 1 ? h.F32(4576 + 4 * p) : 1.0;
      if (Status s = SetScaling(src, c, h.F32(244), h.I32(252), h.F32(922 + 4 * p), h.F32(1050 + 4 * p),
                                h.F32(730 + 4 * p), telegraph, h.F32(986 + 4 * p), h.F32(1114 + 4 * p), scaling);
          !s)
        return s.error();
      ch.gain = scaling.gain.back();
      ch.offset = scaling.offset.back();
    }
    abf.channels.push_back(std::move(ch));
  }

  for (int d = 0; d < 4; ++d) {
    AbfDac dac;
    dac.number = d;
    dac.name = h.Text(1306 + 10 * d, 10);
    dac.unit = h.Text(1346 + 8 * d, 8);
    dac.holding = h.F32(1394 + 4 * d);
    if (d < 2) Abf1Epochs(h, extended, dac);
    abf.dacs.push_back(std::move(dac));
  }

  const std::int32_t count = h.I32(10);
  if (count <= 0) return src.Fail(fmt::format("the file records {} samples", count), "lActualAcqLength");
  const std::uint64_t valueBytes = scaling.float32 ? 4 : 2;
  std::uint64_t dataOffset = static_cast<std::uint64_t>(static_cast<std::uint32_t>(h.I32(40))) * kBlock;
  if (const int ignored = h.I16(14); ignored > 0) {
    warnings.Warn(fmt::format("{}: the first {} stored values are skipped (nNumPointsIgnored)", abf.file, ignored));
    dataOffset += static_cast<std::uint64_t>(ignored) * valueBytes;
  }
  if (dataOffset < (extended ? kNewHeader : kOldHeader) || !src.Inside(dataOffset, valueBytes * static_cast<std::uint64_t>(count)))
    return src.Fail(fmt::format("{} samples of {} bytes from byte {} do not lie between the header and the end of the "
                                "file ({} bytes)",
                                count, valueBytes, dataOffset, src.size()),
                    "lDataSectionPtr");

  std::vector<Synch> synch;
  const std::int32_t synchBlock = h.I32(92), synchCount = h.I32(96);
  if (synchBlock > 0 && synchCount > 0) {
    auto b = src.Read(static_cast<std::uint64_t>(synchBlock) * kBlock, 8 * static_cast<std::uint64_t>(synchCount),
                      "the synch array");
    if (!b) return b.error();
    const Fields f(*b);
    for (std::int32_t k = 0; k < synchCount; ++k) synch.push_back({f.I32(8 * k), f.I32(8 * k + 4)});
  }
  // A gap-free file counts chunks in lActualEpisodes; its samples are the stored count.
  auto sweeps = SplitSweeps(src, abf.operationMode, static_cast<std::uint64_t>(count), static_cast<std::size_t>(nADC),
                            h.I32(16), h.I32(138), synch, tick, abf.dt);
  if (!sweeps) return sweeps.error();
  abf.sweeps = std::move(*sweeps);
  if (!withSamples) return abf;
  if (Status s = ReadSamples(src, dataOffset, static_cast<std::size_t>(count) / nADC, scaling, abf.channels); !s)
    return s.error();
  return abf;
}

// ---- ATF ------------------------------------------------------------------

// Fields of one line: separated by tabs or commas, blanks around them
// ignored, text in double quotes taken as it is.
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  const auto skipBlanks = [&] {
    while (i < line.size() && line[i] == ' ') ++i;
  };
  for (;;) {
    skipBlanks();
    std::string_view field;
    if (i < line.size() && line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      const std::size_t end = close == std::string_view::npos ? line.size() : close;
      field = line.substr(i + 1, end - i - 1);
      i = std::min(end + 1, line.size());
      skipBlanks();
      while (i < line.size() && line[i] != '\t' && line[i] != ',') ++i;  // text after the quote is dropped
    } else {
      const std::size_t start = i;
      while (i < line.size() && line[i] != '\t' && line[i] != ',') ++i;
      field = line.substr(start, i - start);
      while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    }
    fields.push_back(field);
    if (i >= line.size()) break;
    ++i;  // the separator
  }
  return fields;
}

// "Trace #1 (mV)" -> "mV"; "Trace #1" -> "".
std::string UnitOfTitle(std::string_view title) {
  const std::size_t open = title.rfind('(');
  const std::size_t close = title.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) return {};
  return std::string(title.substr(open + 1, close - open - 1));
}

// "Vm (mV)" -> "Vm"; a title that is all unit stays as it is.
std::string_view NameOfTitle(std::string_view title) {
  std::string_view name = title.substr(0, std::min(title.rfind('('), title.size()));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name.empty() ? title : name;
}

class Lines {
 public:
  explicit Lines(std::string_view text) : rest_(text) {}
  bool Next(std::string_view& line) {
    if (rest_.empty()) return false;
    const std::size_t nl = std::min(rest_.find('\n'), rest_.size());
    line = rest_.substr(0, nl);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    rest_.remove_prefix(std::min(nl + 1, rest_.size()));
    ++number_;
    return true;
  }
  long number() const { return number_; }

 private:
  std::string_view rest_;
  long number_ = 0;
};

Result<AbfFile> ReadAtf(const fs::path& path, WarningSink& warnings) {
  const std::string file = path.string();
  auto content = ReadWholeFile(path);
  if (!content) return content.error();
  Lines lines(*content);
  const auto fail = [&](std::string message) { return Error{file, lines.number(), "", std::move(message)}; };
  std::string_view line;
  AbfFile abf;
  abf.file = file;
  abf.format = AbfFormat::Atf;
  lines.Next(line);
  const auto first = SplitFields(line.substr(std::min<std::size_t>(3, line.size())));
  abf.version = first.size() >= 2 ? std::string(first[1]) : std::string();
  if (abf.version.empty()) abf.version = std::string(line.substr(std::min<std::size_t>(3, line.size())));
  while (!abf.version.empty() && (abf.version.front() == ' ' || abf.version.front() == '\t')) abf.version.erase(0, 1);

  if (!lines.Next(line)) return fail("the file ends before the line with the numbers of records and columns");
  std::string countsLine(line);
  std::ranges::replace(countsLine, ',', ' ');
  std::string_view counts = countsLine;
  const std::string_view nText = NextToken(counts), mText = NextToken(counts);
  const auto nRecords = ParseInteger(nText), nColumns = ParseInteger(mText.empty() ? "" : mText);
  if (!nRecords || !nColumns || *nRecords < 0 || *nColumns < 2)
    return fail(fmt::format("\"{}\" does not give the number of records and of columns (at least 2)", line));
  if (static_cast<std::uint64_t>(*nColumns) > content->size())
    return fail(fmt::format("{} columns are more than the file can hold", *nColumns));

  std::vector<std::string> signals;
  std::vector<double> sweepStarts;
  for (long r = 0; r < *nRecords; ++r) {
    if (!lines.Next(line)) return fail(fmt::format("the file ends after {} of {} header records", r, *nRecords));
    const auto fields = SplitFields(line);
    const std::string_view record = fields.front();
    const std::size_t eq = record.find('=');
    const std::string_view key = record.substr(0, eq), value = eq == std::string_view::npos ? "" : record.substr(eq + 1);
    if (key == "Signals") {
      for (std::size_t i = 1; i < fields.size(); ++i) signals.emplace_back(Latin1ToUtf8(fields[i]));
    } else if (key == "SweepStartTimesMS") {
      sweepStarts = ParseList(value).value_or(std::vector<double>{});
    } else if (key == "AcquisitionMode") {
      if (value.starts_with("Episodic")) abf.operationMode = kAbfEpisodic;
      else if (value.starts_with("Fixed-Length")) abf.operationMode = kAbfFixedLength;
      else if (value.starts_with("Gap")) abf.operationMode = kAbfGapFree;
      else if (value.starts_with("Variable")) abf.operationMode = kAbfVariableLength;
    }
  }

  if (!lines.Next(line)) return fail("the file ends before the column titles");
  const auto titles = SplitFields(line);
  if (static_cast<long>(titles.size()) != *nColumns)
    return fail(fmt::format("{} column titles for {} columns", titles.size(), *nColumns));
  const std::string timeUnit = UnitOfTitle(titles[0]);
  const double timeScale = timeUnit == "s" ? 1000 : timeUnit == "ms" ? 1 : 0;
  if (timeScale == 0) return fail(fmt::format("the time column \"{}\" is in neither s nor ms", titles[0]));

  // Columns run sweep-major: column j belongs to signal j and to the sweep
  // that counts how often that signal came before. Without "Signals" every
  // column is a channel of its own.
  const std::size_t dataColumns = static_cast<std::size_t>(*nColumns) - 1;
  if (!signals.empty() && signals.size() != dataColumns)
    return Error{file, 0, "Signals", fmt::format("{} signals named for {} data columns", signals.size(), dataColumns)};
  std::vector<int> channelOf(dataColumns), sweepOf(dataColumns);
  std::vector<int> seen;  // columns so far per channel
  for (std::size_t j = 0; j < dataColumns; ++j) {
    const std::string name = signals.empty() ? std::string(titles[j + 1]) : signals[j];
    auto found = signals.empty() ? abf.channels.end() : std::ranges::find(abf.channels, name, &AbfChannel::name);
    if (found == abf.channels.end()) {
      AbfChannel ch;
      ch.name = signals.empty() ? Latin1ToUtf8(NameOfTitle(name)) : name;
      ch.unit = Latin1ToUtf8(UnitOfTitle(titles[j + 1]));
      ch.physical = static_cast<int>(abf.channels.size());
      abf.channels.push_back(std::move(ch));
      seen.push_back(0);
      found = abf.channels.end() - 1;
    }
    channelOf[j] = static_cast<int>(found - abf.channels.begin());
    sweepOf[j] = seen[channelOf[j]]++;
  }
  const std::size_t nSweeps = dataColumns / abf.channels.size();
  if (std::ranges::any_of(seen, [&](int n) { return static_cast<std::size_t>(n) != nSweeps; }))
    return Error{file, 0, "Signals", "the signals do not have the same number of sweeps"};

  std::vector<std::vector<float>> columns(dataColumns);
  double tFirst = 0, tLast = 0;
  long rows = 0;
  const long titleLine = lines.number();
  while (lines.Next(line)) {
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    const auto fields = SplitFields(line);
    if (static_cast<long>(fields.size()) != *nColumns)
      return fail(fmt::format("{} values for {} columns", fields.size(), *nColumns));
    for (std::size_t j = 0; j < fields.size(); ++j) {
      const auto x = ParseReal(fields[j]);
      if (!x) return Error{file, lines.number(), fmt::format("column {}", j + 1), fmt::format("\"{}\" is not a number", fields[j])};
      if (j == 0) (rows == 0 ? tFirst : tLast) = *x * timeScale;
      else columns[j - 1].push_back(static_cast<float>(*x));
    }
    ++rows;
  }
  if (rows < 2) return Error{file, titleLine, "", fmt::format("{} data rows: the sample interval needs two", rows)};
  // From the whole time column: one rounded difference could be off by a digit.
  abf.dt = (tLast - tFirst) / static_cast<double>(rows - 1);
  if (!(abf.dt > 0) || !std::isfinite(abf.dt))
    return Error{file, titleLine + 1, "column 1", fmt::format("the times give a sample interval of {} ms", abf.dt)};

  const auto n = static_cast<std::size_t>(rows);
  for (AbfChannel& ch : abf.channels) ch.samples.resize(n * nSweeps);
  for (std::size_t j = 0; j < dataColumns; ++j)
    std::ranges::copy(columns[j], abf.channels[channelOf[j]].samples.begin() + static_cast<long>(sweepOf[j] * n));
  if (!sweepStarts.empty() && sweepStarts.size() != nSweeps)
    warnings.Warn(fmt::format("{}: {} sweep start times for {} sweeps; sweeps are taken back to back", file,
                              sweepStarts.size(), nSweeps));
  for (std::size_t k = 0; k < nSweeps; ++k)
    abf.sweeps.push_back({k * n, n, sweepStarts.size() == nSweeps ? sweepStarts[k] : static_cast<double>(k * n) * abf.dt});
  return abf;
}

// ---- Commands -------------------------------------------------------------

// One epoch as it plays in one sweep: samples [start, end) of the sweep.
struct EpochSpan {
  int number = 0, type = 0;
  std::int64_t start = 0, end = 0;
  double level = 0;
  std::int64_t period = 0, width = 0;
};

struct SweepEpochs {
  std::vector<EpochSpan> spans;
  std::int64_t samples = 0;  // N, per channel
  std::string why;           // not empty: the epochs cannot be laid out
};

bool IsSupported(int type) { return (type >= 1 && type <= 5) || type == 7; }
bool IsTrain(int type) { return type >= 3; }

SweepEpochs LayOutEpochs(const AbfFile& abf, const AbfDac& dac, int sweep) {
  SweepEpochs out;
  out.samples = static_cast<std::int64_t>(abf.sweeps[sweep].length);
  std::int64_t at = out.samples / 64;  // the holding period
  const std::optional<AbfUserList>& list = abf.userList;
  for (const AbfEpoch& e : dac.epochs) {
    if (!IsSupported(e.type)) {
      out.why = fmt::format("epoch {} of DAC {} has type {}, which cannot be rebuilt", EpochName(e.number),
                            dac.number, e.type);
      return out;
    }
    double level = e.initLevel + sweep * e.levelInc;
    double duration = static_cast<double>(e.initDuration) + static_cast<double>(sweep) * e.durationInc;
    double period = static_cast<double>(e.pulsePeriod), width = static_cast<double>(e.pulseWidth);
    if (list && list->dac == dac.number && list->epoch == e.number) {
      const double v = list->values[std::min<std::size_t>(sweep, list->values.size() - 1)];
      switch (list->replaces) {
        case AbfUserList::Replaces::Level: level = v; break;
        case AbfUserList::Replaces::Duration: duration = std::round(v); break;
        case AbfUserList::Replaces::PulsePeriod: period = std::round(v); break;
        case AbfUserList::Replaces::PulseWidth: width = std::round(v); break;
      }
    }
    if (!(duration >= 0) || duration > 1e15) {
      out.why = fmt::format("epoch {} of DAC {} lasts {} samples in sweep {}", EpochName(e.number), dac.number,
                            duration, sweep + 1);
      return out;
    }
    if (IsTrain(e.type) && duration > 0 && (!(period >= 1) || period > 1e15 || !(width >= 0) || width > 1e15)) {
      out.why = fmt::format("epoch {} of DAC {} is a train of period {} and width {} samples", EpochName(e.number),
                            dac.number, period, width);
      return out;
    }
    const auto d = static_cast<std::int64_t>(duration);
    out.spans.push_back({e.number, e.type, at, at + d, level, static_cast<std::int64_t>(period),
                         std::min(static_cast<std::int64_t>(width), static_cast<std::int64_t>(period))});
    // Far past any sweep; the cap keeps thousands of long epochs from overflowing.
    at = std::min<std::int64_t>(at + d, std::int64_t{1} << 60);
  }
  return out;
}

// The level in force after the epochs of a sweep, from the level before them:
// a train returns to its baseline, an epoch that plays no sample changes nothing.
double LevelAfter(const SweepEpochs& epochs, double level) {
  for (const EpochSpan& e : epochs.spans)
    if (e.end > e.start && !IsTrain(e.type)) level = e.level;
  return level;
}

// Sample i (0-based) of an epoch from the level P0 before it.
double EpochValue(const EpochSpan& e, std::int64_t i, double p0) {
  const double rise = e.level - p0;
  const auto phaseOf = [&] { return i % e.period; };
  switch (static_cast<EpochType>(e.type)) {
    case EpochType::Step: return e.level;
    case EpochType::Ramp: return p0 + rise * static_cast<double>(i) / static_cast<double>(e.end - e.start);
    case EpochType::PulseTrain: return phaseOf() < e.width ? e.level : p0;
    case EpochType::Biphasic: {
      const std::int64_t phase = phaseOf();
      return phase < e.width / 2 ? p0 + rise : phase < e.width ? p0 - rise : p0;
    }
    case EpochType::TriangleTrain: {
      const auto phase = static_cast<double>(phaseOf());
      if (phase < static_cast<double>(e.width)) return p0 + rise * phase / static_cast<double>(e.width);
      return p0 + rise * (static_cast<double>(e.period) - phase) / static_cast<double>(e.period - e.width);
    }
    case EpochType::CosineTrain:
      return p0 + rise * (1 - std::cos(2 * std::numbers::pi * static_cast<double>(phaseOf()) /
                                       static_cast<double>(e.period))) / 2;
    default: return p0;
  }
}

bool IsCurrentUnit(std::string_view unit) { return unit == "pA" || unit == "nA"; }

}  // namespace

const char* FormatName(AbfFormat format) {
  switch (format) {
    case AbfFormat::Abf1: return "ABF1";
    case AbfFormat::Abf2: return "ABF2";
    case AbfFormat::Atf: return "ATF";
  }
  return "";
}

std::span<const float> AbfFile::Sweep(int channel, int sweep) const {
  const AbfSweep& s = sweeps.at(static_cast<std::size_t>(sweep));
  return std::span(channels.at(static_cast<std::size_t>(channel)).samples).subspan(s.first, s.length);
}

namespace {

Result<AbfFile> ReadAbfFile(const fs::path& path, bool withSamples, WarningSink& warnings) {
  auto src = Source::Open(path);
  if (!src) return src.error();
  if (src->size() < 4)
    return src->Fail(fmt::format("{} bytes are too short for an ABF or ATF file", src->size()), "signature");
  auto sig = src->Read(0, 4, "the signature");
  if (!sig) return sig.error();
  const std::string_view s(reinterpret_cast<const char*>(sig->data()), sig->size());
  if (s == "ABF ") return ReadAbf1(*src, withSamples, warnings);
  if (s == "ABF2") return ReadAbf2(*src, withSamples, warnings);
  if (s.starts_with("ATF") && (s[3] == '\t' || s[3] == ' ' || s[3] == ',' || s[3] == '\r' || s[3] == '\n'))
    return ReadAtf(path, warnings);
  std::string shown;
  for (const char c : s) shown += c >= 0x20 && c < 0x7F ? std::string(1, c) : fmt::format("\\x{:02X}", static_cast<unsigned char>(c));
  return src->Fail(fmt::format("not an ABF or ATF file: it starts with \"{}\" (\"ABF \", \"ABF2\" or \"ATF\" expected)", shown),
                   "signature");
}

}  // namespace

Result<AbfFile> ReadAbf(const fs::path& path, WarningSink& warnings) { return ReadAbfFile(path, true, warnings); }

Result<AbfFile> ReadAbfHeader(const fs::path& path, WarningSink& warnings) {
  return ReadAbfFile(path, false, warnings);
}

AbfCommand RebuildCommand(const AbfFile& abf, int dacNumber, int sweep) {
  AbfCommand out;
  if (dacNumber < 0 || dacNumber >= static_cast<int>(abf.dacs.size())) {
    out.why = abf.dacs.empty() ? "the file records no command output" : fmt::format("there is no DAC {}", dacNumber);
    return out;
  }
  if (sweep < 0 || sweep >= static_cast<int>(abf.sweeps.size())) {
    out.why = fmt::format("there is no sweep {}", sweep + 1);
    return out;
  }
  const AbfDac& dac = abf.dacs[dacNumber];
  const auto n = abf.sweeps[sweep].length;
  if (!dac.waveformEnabled || dac.waveformSource == 0 || dac.epochs.empty()) {
    out.level.assign(n, dac.holding);
    out.rebuilt = true;
    return out;
  }
  if (dac.waveformSource == 2) {
    out.why = fmt::format("DAC {} plays the waveform file \"{}\", which the header cannot rebuild", dac.number,
                          dac.waveformFile);
    return out;
  }
  if (dac.waveformSource != 1) {
    out.why = fmt::format("DAC {} has waveform source {}, which is not the epoch table", dac.number, dac.waveformSource);
    return out;
  }
  if (abf.operationMode == kAbfGapFree) {
    out.why = "a gap-free recording has no sweeps in which the epoch table could play";
    return out;
  }
  // The start level carries over from the sweeps before when the last level is kept.
  double start = dac.holding;
  if (dac.interEpisodeLevel == 1)
    for (int k = 0; k < sweep; ++k) {
      const SweepEpochs before = LayOutEpochs(abf, dac, k);
      if (!before.why.empty()) {
        out.why = before.why;
        return out;
      }
      start = LevelAfter(before, start);
    }
  const SweepEpochs epochs = LayOutEpochs(abf, dac, sweep);
  if (!epochs.why.empty()) {
    out.why = epochs.why;
    return out;
  }
  out.level.assign(n, start);
  double p0 = start;
  const auto end = static_cast<std::int64_t>(n);
  for (const EpochSpan& e : epochs.spans) {
    for (std::int64_t i = e.start; i < std::min(e.end, end); ++i) out.level[i] = EpochValue(e, i - e.start, p0);
    if (e.end > e.start && !IsTrain(e.type)) p0 = e.level;
  }
  const std::int64_t last = epochs.spans.empty() ? end : std::min(epochs.spans.back().end, end);
  const double after = dac.interEpisodeLevel == 1 ? p0 : dac.holding;
  std::fill(out.level.begin() + last, out.level.end(), after);
  out.rebuilt = true;
  return out;
}

int CommandDac(const AbfFile& abf) {
  int chosen = -1;
  for (const AbfDac& d : abf.dacs)
    if (d.waveformEnabled && d.waveformSource != 0 && IsCurrentUnit(d.unit) && (chosen < 0 || d.number == abf.activeDac))
      chosen = d.number;
  if (chosen >= 0) return chosen;
  if (abf.activeDac >= 0 && abf.activeDac < static_cast<int>(abf.dacs.size())) return abf.activeDac;
  return abf.dacs.empty() ? -1 : 0;
}

AbfStimulus StimulusOfSweep(const AbfFile& abf, int sweep, std::optional<int> dacNumber) {
  AbfStimulus out;
  if (sweep >= 0 && sweep < static_cast<int>(abf.sweeps.size()))
    out.tStimEnd = static_cast<double>(abf.sweeps[sweep].length) * abf.dt;
  const int d = dacNumber.value_or(CommandDac(abf));
  if (d < 0 || d >= static_cast<int>(abf.dacs.size())) {
    out.why = "the file records no command output";
    return out;
  }
  const AbfDac& dac = abf.dacs[d];
  if (!IsCurrentUnit(dac.unit)) {
    out.why = fmt::format("DAC {} is in \"{}\", not in pA or nA", d, dac.unit);
    return out;
  }
  if (const AbfCommand command = RebuildCommand(abf, d, sweep); !command.rebuilt) {
    out.why = command.why;
    return out;
  }
  if (!dac.waveformEnabled || dac.waveformSource == 0 || dac.epochs.empty()) {
    out.why = fmt::format("DAC {} holds {} {} throughout", d, dac.holding, dac.unit);
    return out;
  }
  std::vector<SweepEpochs> all;
  for (int k = 0; k < static_cast<int>(abf.sweeps.size()); ++k) {
    all.push_back(LayOutEpochs(abf, dac, k));
    if (!all.back().why.empty()) {
      out.why = all.back().why;
      return out;
    }
  }
  const double toPA = dac.unit == "nA" ? 1000 : 1;
  for (std::size_t i = 0; i < dac.epochs.size(); ++i) {
    if (dac.epochs[i].type != static_cast<int>(EpochType::Step)) continue;
    const EpochSpan& first = all.front().spans[i];
    bool fixed = true, inside = true, changes = false;
    for (const SweepEpochs& s : all) {
      fixed = fixed && s.spans[i].start == first.start && s.spans[i].end == first.end;
      inside = inside && first.start < s.samples;
      changes = changes || s.spans[i].level != first.level;
    }
    if (!fixed || !inside || !changes || first.end <= first.start) continue;
    const EpochSpan& e = all[sweep].spans[i];
    out.ProtocolKind = 2;
    out.epoch = e.number;
    out.tStimStart = static_cast<double>(e.start) * abf.dt;
    out.tStimEnd = static_cast<double>(std::min(e.end, all[sweep].samples)) * abf.dt;
    out.I0 = e.level * toPA;
    out.Ifirst = first.level * toPA;
    out.Ilast = all.back().spans[i].level * toPA;
    out.nSteps = static_cast<int>(abf.sweeps.size());
    return out;
  }
  out.why = fmt::format("no step epoch of DAC {} changes its level from sweep to sweep at a fixed time", d);
  return out;
}

Result<AbfChannelChoice> ChooseChannels(const AbfFile& abf, std::optional<int> voltage, std::optional<int> current) {
  using Pick = std::optional<std::pair<int, double>>;  // channel, factor to mV or pA
  const int n = static_cast<int>(abf.channels.size());
  // The given channel, or the first in `exact` units, then in `scaled` ones
  // (x 1000); the channel `taken` for the voltage is not also the current.
  const auto pick = [&](std::optional<int> given, std::string_view exact, std::string_view scaled,
                        int taken) -> Result<Pick> {
    if (given) {
      if (*given < 0 || *given >= n)
        return Error{abf.file, 0, "", fmt::format("there is no channel {} (the file has {})", *given, n)};
      return Pick{{*given, abf.channels[*given].unit == scaled ? 1000.0 : 1.0}};
    }
    for (const std::string_view unit : {exact, scaled})
      for (int c = 0; c < n; ++c)
        if (c != taken && abf.channels[c].unit == unit) return Pick{{c, unit == exact ? 1.0 : 1000.0}};
    return Pick{};
  };
  const auto v = pick(voltage, "mV", "V", -1);
  if (!v) return v.error();
  if (!*v) {
    std::string list;
    for (int c = 0; c < n; ++c)
      list += fmt::format("{}{} \"{}\" [{}]", c ? ", " : "", c, abf.channels[c].name, abf.channels[c].unit);
    return Error{abf.file, 0, "", fmt::format("no channel in mV or V holds the membrane voltage; the channels are: {}", list)};
  }
  AbfChannelChoice out;
  std::tie(out.voltage, out.voltageScale) = **v;
  const auto i = pick(current, "pA", "nA", out.voltage);
  if (!i) return i.error();
  if (*i)
    std::tie(out.current, out.currentScale) = **i;
  else
    out.note = "no channel in pA or nA holds the measured current; the command current stands in for it";
  return out;
}

}  // namespace velmora
