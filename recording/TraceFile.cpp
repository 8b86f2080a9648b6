#include "recording/TraceFile.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <optional>
#include <string.h>  // memrchr
#include <thread>

#include "recording/AbfSweeps.h"
#include "recording/ParameterFile.h"
#include "recording/SideFiles.h"
#include "recording/Stimulus.h"
#include "recording/TextIO.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

bool Contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

std::string FileNameOf(std::string_view path) { return fs::path(path).filename().string(); }

// Truncation toward zero of a quotient that may be out of range or undefined
// (a zero divisor from a damaged parameter file); such a count becomes 0.
int TruncToInt(double x) {
  if (!std::isfinite(x) || std::fabs(x) >= std::numeric_limits<int>::max()) return 0;
  return static_cast<int>(std::trunc(x));
}

// The channels a trace carries besides time, in file order.
struct Channels {
  std::array<std::vector<double>*, 7> dest{};
  int count = 0;
  void Add(std::vector<double>& v) { dest[count++] = &v; }
};

// Empties the channels the file will fill, keeping their capacity: reading
// sweep after sweep then costs no new memory, as with fixed arrays.
Channels StartRead(RawRecording& raw, const RecordingParameters& par, bool lfp) {
  Channels ch;
  ch.Add(raw.VRaw);
  ch.Add(raw.IcomRaw);
  ch.Add(raw.IrealRaw);
  if (par.HasCh4 == 1) ch.Add(raw.Ch4Raw);
  if (par.HasCh56 == 1) {
    ch.Add(raw.Ch5Raw);
    ch.Add(raw.Ch6Raw);
  }
  if (lfp) ch.Add(raw.LFPRaw);
  raw.tRaw.clear();
  for (int c = 0; c < ch.count; ++c) ch.dest[c]->clear();
  raw.nRaw = -1;
  return ch;
}

void Reserve(RawRecording& raw, const Channels& ch, std::size_t n) {
  raw.tRaw.reserve(n);
  for (int c = 0; c < ch.count; ++c) ch.dest[c]->reserve(n);
}

// Yields value(i) for i = 0, 1, ...: lets vector::insert construct each
// element once, where a resize would first zero the memory and double what is written.
template <class F>
struct GeneratingIterator {
  using iterator_category = std::random_access_iterator_tag;
  using value_type = double;
  using difference_type = std::ptrdiff_t;
  using pointer = const double*;
  using reference = double;
  std::size_t i;
  const F* f;
  double operator*() const { return (*f)(i); }
  double operator[](difference_type d) const { return (*f)(i + d); }
  GeneratingIterator& operator++() { return ++i, *this; }
  GeneratingIterator operator++(int) { return {i++, f}; }
  GeneratingIterator& operator--() { return --i, *this; }
  GeneratingIterator& operator+=(difference_type d) { return i += d, *this; }
  GeneratingIterator& operator-=(difference_type d) { return i -= d, *this; }
  GeneratingIterator operator+(difference_type d) const { return {i + d, f}; }
  GeneratingIterator operator-(difference_type d) const { return {i - d, f}; }
  difference_type operator-(const GeneratingIterator& o) const { return static_cast<difference_type>(i - o.i); }
  bool operator==(const GeneratingIterator& o) const { return i == o.i; }
  auto operator<=>(const GeneratingIterator& o) const { return i <=> o.i; }
};

template <class F>
void AppendGenerated(std::vector<double>& v, std::size_t count, F value) {
  v.insert(v.end(), GeneratingIterator<F>{0, &value}, GeneratingIterator<F>{count, &value});
}

// The kept columns of a text trace, 1-based: V, Icom, Ireal, then channels
// 4, 5, 6 as present; time is column 1, and two columns are not kept.
struct TextLayout {
  std::array<int, 6> column{2, 3, 4, 7, 8, 9};
  int nColumns = 6;
  int nKept = 3;
};

// What a stretch of whole lines parses to. Lines are counted from the start
// of the stretch; an event remembers how many samples came before it, so
// that the merge can tell whether the sample cap stopped the read first.
struct ParsedLines {
  struct Event {
    long line = 0;
    std::size_t samplesBefore = 0;
    int columns = 0;         // short line: the columns found; error: the column of the bad token
    std::string_view bad{};  // error: the token, inside the read buffer
  };
  std::vector<double> t;
  std::array<std::vector<double>, 6> ch;
  long lines = 0;
  std::optional<Event> shortLine, error;

  void Clear() {
    t.clear();
    for (auto& c : ch) c.clear();
    lines = 0;
    shortLine.reset();
    error.reset();
  }
};

void ParseLines(std::string_view text, const TextLayout& layout, ParsedLines& out) {
  out.Clear();
  std::array<double, 10> values{};
  std::string_view bad;
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* stop = nl ? nl : end;
    std::string_view rest(p, static_cast<std::size_t>(stop - p));  // a CR before the LF reads as a blank
    p = nl ? nl + 1 : end;
    ++out.lines;
    int found = 0;
    for (; found < layout.nColumns; ++found) {
      const Scan scan = NextReal(rest, values[found + 1], bad);
      if (scan == Scan::End) break;
      if (scan == Scan::NotANumber) {
        out.error = ParsedLines::Event{out.lines, out.t.size(), found + 1, bad};
        return;
      }
    }
    if (found == 0) continue;  // a blank line is a sample at time 0, which is never kept
    if (found < layout.nColumns) {
      std::fill(values.begin() + found + 1, values.begin() + layout.nColumns + 1, 0.0);
      if (!out.shortLine) out.shortLine = ParsedLines::Event{out.lines, out.t.size(), found, {}};
    }
    const double t = values[1];
    if (!(t > 0)) continue;  // a sample at time 0 or before is overwritten by the next one
    out.t.push_back(t);
    for (int c = 0; c < layout.nKept; ++c) out.ch[c].push_back(values[layout.column[c]]);
  }
}

// Columns: time, V, Icom, Ireal, two values not kept, then channel 4, 5, 6 as
// present. On an error the raw channels are left empty, never half-filled.
// The file is read in large blocks of whole lines; a block of a long trace
// is parsed in two halves at once, and the halves are taken in file order,
// so that errors, warnings and the sample cap come out as in one pass.
Status ReadTextTrace(const fs::path& path, RawRecording& raw, RecordingParameters& par,
                     WarningSink& warnings) {
  const std::string file = path.string();
  auto opened = OpenRegularFile(path);
  if (!opened) return opened.error();
  std::FILE* const f = opened->file.get();
  const std::uintmax_t size = opened->size;

  const Channels ch = StartRead(raw, par, false);
  TextLayout layout;
  if (par.HasCh4 != 1) layout.column[3] = 7, layout.column[4] = 8;
  layout.nColumns = 6 + (par.HasCh4 == 1) + 2 * (par.HasCh56 == 1);
  layout.nKept = ch.count;

  constexpr std::size_t kBlock = 8 << 20;          // bytes read at a time
  constexpr std::size_t kParallelFrom = 1 << 20;   // smaller blocks are parsed in one go
  std::string buffer(static_cast<std::size_t>(std::clamp<std::uintmax_t>(size + 1, 4096, kBlock)), '\0');
  std::array<ParsedLines, 2> halves;
  std::size_t kept = 0;  // bytes of a partial line carried to the next block
  long lineBase = 0;
  bool reserved = false, shortWarned = false, capped = false, eof = false;

  // Takes a parsed half into the raw channels; an Error ends the read.
  const auto merge = [&](const ParsedLines& h) -> Status {
    const std::size_t room = kMaxRawSamples - raw.tRaw.size();
    if (h.shortLine && !shortWarned && h.shortLine->samplesBefore <= room) {
      warnings.Warn(fmt::format("{}: line {} holds {} of {} columns; the missing ones are taken as 0", file,
                                lineBase + h.shortLine->line, h.shortLine->columns, layout.nColumns));
      shortWarned = true;
    }
    if (h.error && h.error->samplesBefore <= room)
      return Error{file, lineBase + h.error->line, fmt::format("column {}", h.error->columns),
                   fmt::format("{} is not a number", Quoted(h.error->bad))};
    const std::size_t n = std::min(h.t.size(), room);
    capped = h.t.size() > room;
    raw.tRaw.insert(raw.tRaw.end(), h.t.begin(), h.t.begin() + static_cast<std::ptrdiff_t>(n));
    for (int c = 0; c < ch.count; ++c)
      ch.dest[c]->insert(ch.dest[c]->end(), h.ch[c].begin(), h.ch[c].begin() + static_cast<std::ptrdiff_t>(n));
    lineBase += h.lines;
    return Ok();
  };

  while (!eof && !capped) {
    // A line of ten numbers is far shorter than a block: one that fills a
    // whole block is no trace line, and must not take all memory.
    if (kept == buffer.size()) {
      StartRead(raw, par, false);
      return Error{file, lineBase + 1, "",
                   fmt::format("longer than {} bytes, more than a line of a trace holds; not read", buffer.size())};
    }
    const std::size_t got = std::fread(buffer.data() + kept, 1, buffer.size() - kept, f);
    if (got == 0) {
      if (std::ferror(f)) {
        StartRead(raw, par, false);
        return Error{file, lineBase + 1, "", "read error"};
      }
      eof = true;
    }
    const std::size_t filled = kept + got;
    std::size_t whole = filled;  // the bytes of whole lines; at the end, all that is left
    if (!eof) {
      const void* lastEnd = memrchr(buffer.data(), '\n', filled);
      if (!lastEnd) {
        kept = filled;
        continue;
      }
      whole = static_cast<std::size_t>(static_cast<const char*>(lastEnd) - buffer.data()) + 1;
    }
    const std::string_view text(buffer.data(), whole);
    if (!reserved && !text.empty()) {  // from the first line's length: enough to avoid regrowth
      const double estimate = static_cast<double>(size) / static_cast<double>(std::min(text.find('\n'), whole) + 1);
      Reserve(raw, ch, static_cast<std::size_t>(std::min(estimate * 1.05 + 16, double{kMaxRawSamples})));
      // The halves of a block, likewise: a block holds at most what the whole file does.
      const double lineBytes = static_cast<double>(std::min(text.find('\n'), whole) + 1);
      const auto perHalf = static_cast<std::size_t>(
          std::min(static_cast<double>(buffer.size()) / lineBytes * 0.55 + 16, estimate * 1.05 + 16));
      for (ParsedLines& h : halves) {
        h.t.reserve(perHalf);
        for (int c = 0; c < ch.count; ++c) h.ch[c].reserve(perHalf);
      }
      reserved = true;
    }
    std::size_t mid = whole;
    if (whole >= kParallelFrom)
      if (const void* nl = std::memchr(buffer.data() + whole / 2, '\n', whole - whole / 2))
        mid = static_cast<std::size_t>(static_cast<const char*>(nl) - buffer.data()) + 1;
    // Out of memory in either half is passed on from here, after both ended.
    std::array<std::exception_ptr, 2> failed;
    const auto parse = [&](int h, std::string_view part) {
      try {
        ParseLines(part, layout, halves[h]);
      } catch (...) {
        failed[h] = std::current_exception();
      }
    };
    std::thread second;
    if (mid < whole) second = std::thread(parse, 1, text.substr(mid));
    parse(0, text.substr(0, mid));
    if (second.joinable()) second.join();
    for (const std::exception_ptr& e : failed)
      if (e) {
        StartRead(raw, par, false);
        std::rethrow_exception(e);
      }
    for (int h = 0; h < (mid < whole ? 2 : 1) && !capped; ++h)
      if (Status s = merge(halves[h]); !s) {
        StartRead(raw, par, false);
        return s;
      }
    kept = filled - whole;
    std::memmove(buffer.data(), buffer.data() + whole, kept);
  }
  if (capped) warnings.Warn(SampleCapMessage(file));
  raw.nRaw = static_cast<int>(raw.tRaw.size()) - 1;
  if (raw.nRaw >= 0) par.Duration = raw.tRaw.back();
  return Ok();
}

// Little-endian: dtPar, a 256-byte short string, m scales, m offsets, then
// m signed 16-bit values per sample.
Status ReadBinaryTrace(const fs::path& path, RawRecording& raw, RecordingParameters& par,
                       WarningSink& warnings) {
  static_assert(std::endian::native == std::endian::little, "binary traces are little-endian");
  const std::string file = path.string();
  auto opened = OpenRegularFile(path);
  if (!opened) return opened.error();
  std::FILE* const f = opened->file.get();
  const std::uintmax_t size = opened->size;

  constexpr std::size_t kFixedHeader = 8 + 256;
  std::array<unsigned char, kFixedHeader> head{};
  const std::size_t gotHead = std::fread(head.data(), 1, head.size(), f);
  std::string text;
  if (gotHead == kFixedHeader) text.assign(reinterpret_cast<const char*>(head.data()) + 9, head[8]);
  const bool lfp = Contains(text, "LFP");
  const Channels ch = StartRead(raw, par, lfp);
  const int m = ch.count;
  const std::size_t headerBytes = kFixedHeader + 16 * static_cast<std::size_t>(m);

  std::vector<double> scaleOffset(2 * m);
  const bool headerWhole =
      gotHead == kFixedHeader &&
      std::fread(scaleOffset.data(), sizeof(double), scaleOffset.size(), f) == scaleOffset.size();
  if (!headerWhole) {  // nothing of a cut header can be trusted
    warnings.Warn(fmt::format("{}: the header is cut short ({} of {} bytes); no sample is read", file,
                              size, headerBytes));
    return Ok();
  }
  double dtPar = 0;
  std::memcpy(&dtPar, head.data(), sizeof dtPar);
  // A damaged header would turn every sample into NaN or infinity, and
  // those would reach the charts and the result files.
  if (!std::isfinite(dtPar)) return Error{file, 0, "dtPar", fmt::format("the sampling step {} is not a number", dtPar)};
  for (int c = 0; c < m; ++c) {
    const double scale = scaleOffset[c], offset = scaleOffset[m + c];
    if (!(std::fabs(scale) * 32768 + std::fabs(offset) < std::numeric_limits<double>::max()))
      return Error{file, 0, "", fmt::format("channel {} has no usable scale and offset ({}, {})", c + 1, scale, offset)};
    if (scale == 0)
      warnings.Warn(fmt::format("{}: channel {} has the scale 0; every sample of it is its offset {}", file, c + 1,
                                offset));
  }
  par.dtPar = dtPar;
  par.LfpPars.LfpPresent = lfp;

  const std::size_t sampleBytes = 2 * static_cast<std::size_t>(m);
  const std::uintmax_t dataBytes = size > headerBytes ? size - headerBytes : 0;
  const std::uintmax_t inFile = dataBytes / sampleBytes;
  if (dataBytes % sampleBytes != 0)
    warnings.Warn(fmt::format("{}: ends in a partial sample; the {} whole samples are read", file, inFile));
  if (inFile == 0) return Ok();

  // Sample k lies at k * dtPar * TimeFactor; one at time 0 or before is
  // overwritten by the next, so sample 0 is never kept, and no sample is when
  // the step is not positive.
  std::uintmax_t last = inFile - 1;  // samples 1..last are kept
  if (last > static_cast<std::uintmax_t>(kMaxRawSamples)) {
    warnings.Warn(SampleCapMessage(file));
    last = kMaxRawSamples;
  }
  par.Duration = static_cast<double>(last) * dtPar * par.TimeFactor;
  if (!(1.0 * dtPar * par.TimeFactor > 0)) return Ok();
  const std::size_t n = static_cast<std::size_t>(last);
  Reserve(raw, ch, n);
  constexpr std::size_t kBlock = 1 << 14;
  std::vector<std::int16_t> block(static_cast<std::size_t>(m) * kBlock);
  std::fseek(f, static_cast<long>(headerBytes + sampleBytes), SEEK_SET);  // past sample 0
  for (std::size_t done = 0; done < n;) {
    const std::size_t want = std::min(kBlock, n - done);
    if (std::fread(block.data(), sampleBytes, want, f) != want) {
      StartRead(raw, par, lfp);
      return Error{file, 0, "", fmt::format("read error at sample {}", done + 1)};
    }
    AppendGenerated(raw.tRaw, want, [&](std::size_t b) {
      return static_cast<double>(done + b + 1) * dtPar * par.TimeFactor;
    });
    for (int c = 0; c < m; ++c) {
      const double scale = scaleOffset[c], offset = scaleOffset[m + c];
      const std::int16_t* in = block.data() + c;
      AppendGenerated(*ch.dest[c], want, [=](std::size_t b) { return in[b * m] * scale + offset; });
    }
    done += want;
  }
  raw.nRaw = static_cast<int>(n) - 1;
  return Ok();
}

}  // namespace

std::string SampleCapMessage(const std::string& file) {
  return fmt::format("{}: holds more than {} samples; the rest is not read", file, kMaxRawSamples);
}

Result<int> FileNumber(std::string_view traceName) {
  const std::string name = FileNameOf(traceName);
  const auto trace = name.find("trace");
  const auto err = name.find("_Err");
  if (trace == std::string::npos || err == std::string::npos || err < trace + 5)
    return Error{std::string(traceName), 0, "", "the name has no sweep number between \"trace\" and \"_Err\""};
  const auto number = ParseInteger(std::string_view(name).substr(trace + 5, err - trace - 5));
  if (!number)
    return Error{std::string(traceName), 0, "",
                 fmt::format("{} between \"trace\" and \"_Err\" is not a sweep number",
                             Quoted(std::string_view(name).substr(trace + 5, err - trace - 5)))};
  return static_cast<int>(*number);
}

Status ReadTrace(Recording& rec, const fs::path& trace, WarningSink& warnings) {
  std::error_code ec;
  fs::path binary = trace;
  binary += "_b";
  Status read = Ok();
  if (fs::exists(trace, ec)) {
    ++rec.raw.tracesParsed;
    read = ReadTextTrace(trace, rec.raw, rec.par, warnings);
  } else if (fs::exists(binary, ec)) {
    ++rec.raw.tracesParsed;
    read = ReadBinaryTrace(binary, rec.raw, rec.par, warnings);
  } else {
    // The previous recording's samples must not pass for this one's.
    return Error{trace.string(), 0, "", "no such trace file (nor with \"_b\" appended)"};
  }
  if (!read) return read;

  const std::string name = trace.string();
  if (Contains(FileNameOf(name), ".VC")) {
    fs::path vc = trace;
    vc += "e";
    if (fs::exists(vc, ec)) {
      auto count = ReadVCFile(vc, rec.raw, warnings);
      if (!count) return count.error();
      rec.par.DynVC.VCcount = *count;
    }
  }
  rec.par.DynVC.VCmismatch = rec.par.nPar != rec.par.DynVC.VCcount ? 1 : 0;

  const fs::path lfp = RecordingBaseName(name) + ".lfp";
  if (fs::exists(lfp, ec)) {
    if (Status s = ReadLfpFile(lfp, rec.raw, warnings); !s) return s;
    rec.par.LfpPars.LfpPresent = true;
  }
  return Ok();
}

Status LoadSweepFiles(Recording& rec, const fs::path& trace, WarningSink& warnings, const LoadSettings& settings) {
  if (const auto abf = ParseAbfSweepName(trace.string())) {
    if (Status s = ReadAbfSweep(rec, *abf, settings, warnings); !s) return s;
    rec.currentFile = trace.string();
    return Ok();
  }
  const std::string parFile = ParameterFileName(trace.string());
  std::error_code ec;
  if (!fs::exists(parFile, ec))  // allowed, but the numbers then come from elsewhere
    warnings.Warn(fmt::format("{}: no parameter file; the parameters of the recording read before are kept", parFile));
  if (Status s = ReadParameterFile(parFile, rec.par); !s) return s;
  if (Status s = ReadTrace(rec, trace, warnings); !s) return s;
  rec.currentFile = trace.string();
  return Ok();
}

Status LoadSweep(Recording& rec, int slot, const LoadSettings& settings, WarningSink& warnings) {
  if (slot < 1 || slot > kMaxSweeps)
    return Error{rec.currentFile, 0, "",
                 fmt::format("at most {} sweeps can be loaded at once (slot {} asked for)", kMaxSweeps, slot)};
  // The name is checked first so that a bad name leaves the slot as it was.
  const std::string name = FileNameOf(rec.currentFile);
  // A sweep of an ABF file is numbered in it, and is a current-clamp sweep
  // whatever its file is called.
  const auto abf = ParseAbfSweepName(rec.currentFile);
  auto fileNo = abf ? Result<int>(abf->sweep + 1) : FileNumber(rec.currentFile);
  if (!fileNo) return fileNo.error();

  RecordingParameters& par = rec.par;
  RawRecording& raw = rec.raw;
  const bool firingClamp = par.FiringClampOn == 1;
  const int fileWaveKind = par.ClampWave.WaveKind;
  const bool IrealAbsent = settings.lost == LostParameters::IrealAbsent;
  if (firingClamp) {
    par.FCPars.nPeriod = TruncToInt(1000 / par.FCPars.Freq / par.dtPar);
    par.FCPars.nPulse = TruncToInt(par.FCPars.Tpulse / par.dtPar);
    par.FCPars.nStop = par.nPar - TruncToInt(50 / par.dtPar);
    ReconcileWaveKind(par.ClampWave, settings.lost);
  }

  if (raw.nRaw >= 1)
    rec.dt = (raw.tRaw[1] - raw.tRaw[0]) / 1000;
  else
    warnings.Warn(fmt::format("{}: fewer than two samples; the sampling step stays {} s", rec.currentFile, rec.dt));

  int nSkip = 0;
  if (rec.dt > 0) nSkip = std::max(0, TruncToInt(settings.t0 / 1000 / rec.dt));
  else if (raw.nRaw >= 1)
    warnings.Warn(fmt::format("{}: the times of the first two samples do not increase", rec.currentFile));
  if (firingClamp) {
    if (par.FCPars.nPeriod > 0)
      nSkip = nSkip / par.FCPars.nPeriod * par.FCPars.nPeriod;
    else
      warnings.Warn(fmt::format("{}: the meander period is shorter than one sample (frequency {} Hz)",
                                rec.currentFile, par.FCPars.Freq));
  }
  rec.t0 = nSkip * rec.dt;

  int nLast = raw.nRaw - nSkip;
  if (nLast > kMaxSweepSamples - 1) {
    warnings.Warn(fmt::format("{}: the sweep holds {} samples after t0; it is cut at {}", rec.currentFile,
                              nLast + 1, kMaxSweepSamples));
    nLast = kMaxSweepSamples - 1;
  }
  const std::size_t n = nLast >= 0 ? static_cast<std::size_t>(nLast) + 1 : 0;
  const auto spent = [&](const std::vector<double>& v) { return v.size() < static_cast<std::size_t>(nSkip) + n; };
  if (n > 0 && (spent(raw.VRaw) || spent(raw.IcomRaw) || (!IrealAbsent && spent(raw.IrealRaw))))
    return Error{rec.currentFile, 0, "", "its samples went into a slot already; the file must be read again"};
  SweepSlot& s = rec.traces[slot];
  s.nLast = nLast;
  s.filteredIterations = 0;
  // Samples that start at sample 0, as they mostly do, move into the slot
  // whole and the slot's old arrays take their place: copying three long
  // arrays per sweep would cost a selection a good part of its reading.
  const auto take = [&](std::vector<double>& dest, std::vector<double>& src) {
    if (n == 0) {
      dest.clear();
    } else if (nSkip == 0) {
      dest.swap(src);
      dest.resize(n);
    } else {
      dest.assign(src.begin() + nSkip, src.begin() + nSkip + static_cast<std::ptrdiff_t>(n));
    }
  };
  take(s.V, raw.VRaw);
  take(s.Icom, raw.IcomRaw);
  if (IrealAbsent)
    s.Ireal = s.Icom;
  else
    take(s.Ireal, raw.IrealRaw);

  const bool grid = !abf && Contains(name, ".us");
  if (grid) {
    rec.tOn = par.GridPars.tIOn;
    rec.tOff = std::min(par.Duration, par.GridPars.tIOff);
  } else {
    rec.tOn = par.tStimStart;
    rec.tOff = std::min(par.Duration, par.tStimEnd);
  }
  rec.FileNo = *fileNo;

  double I = 0, G = 0;
  if (grid) {
    const GridParsRec& g = par.GridPars;
    // A grid without currents is taken as one column, so the split cannot divide by zero.
    const int nI = std::max(g.nI, 1);
    const int j = (rec.FileNo - 1) / nI;  // conductance index, 0-based
    const int i = rec.FileNo - j * nI;    // current index, 1-based
    if (g.GridKind == 1 || g.GridKind == 2) {
      I = g.nI > 1 ? g.IgFirst + (g.IgLast - g.IgFirst) / (g.nI - 1) * (i - 1) : g.IgFirst;
      G = g.nG > 1 ? g.GgFirst + (g.GgLast - g.GgFirst) / (g.nG - 1) * j : g.GgFirst;
    } else if (g.GridKind == 3) {
      const auto at = [](const std::vector<double>& t, int idx) {
        return idx >= 0 && idx < static_cast<int>(t.size()) ? t[idx] : 0.0;
      };
      I = at(g.ITable, i - 1);
      G = at(g.GTable, j);
    }
  } else if (abf || Contains(name, ".cc") || Contains(name, ".FC")) {
    // A scale of 0 means none was recorded; dividing by it would put infinities in every result.
    const double scale = par.StepPars.CmdScale != 0 ? par.StepPars.CmdScale : 1.0;
    I = par.ClampWave.I0 / scale;
    G = par.ClampWave.G0 / scale;
  }
  rec.Ifile[slot] = I;
  rec.Gfile[slot] = G;
  rec.Vref = par.Vus;
  rec.Gain = par.StepPars.CmdScale;

  KeepReading(rec, slot, settings, fileWaveKind);
  return Ok();
}

void KeepReading(Recording& rec, int slot, const LoadSettings& settings, int fileWaveKind) {
  SweepSlot& s = rec.traces[slot];
  SweepReading& r = s.reading.emplace();
  r.trace = rec.currentFile;
  r.t0Setting = settings.t0;
  r.voltageChannel = settings.voltageChannel;
  r.currentChannel = settings.currentChannel;
  r.IrealAbsent = settings.lost == LostParameters::IrealAbsent;
  r.fileWaveKind = fileWaveKind;
  r.par = rec.par;
  r.dt = rec.dt, r.t0 = rec.t0;
  r.FileNo = rec.FileNo;
  r.tOn = rec.tOn, r.tOff = rec.tOff;
  r.Vref = rec.Vref, r.Gain = rec.Gain;
  r.Ifile = rec.Ifile[slot], r.Gfile = rec.Gfile[slot];
  // Drawing reads the LFP at the sweep's own sample indices, never beyond nLast.
  r.lfpKept = rec.par.LfpPars.LfpPresent;
  const std::vector<double>& lfp = rec.raw.LFPRaw;
  const std::size_t n = s.nLast >= 0 ? static_cast<std::size_t>(s.nLast) + 1 : 0;
  if (r.lfpKept) r.LFP.assign(lfp.begin(), lfp.begin() + static_cast<std::ptrdiff_t>(std::min(lfp.size(), n)));
}

const SweepReading* KeptReading(const Recording& rec, int slot, const LoadSettings& settings) {
  if (slot < 1 || slot > kMaxSweeps || slot >= static_cast<int>(rec.FileNames.size())) return nullptr;
  const std::optional<SweepReading>& kept = rec.traces[slot].reading;
  if (!kept || kept->trace != rec.FileNames[slot] || kept->t0Setting != settings.t0 ||
      kept->voltageChannel != settings.voltageChannel || kept->currentChannel != settings.currentChannel ||
      kept->IrealAbsent != (settings.lost == LostParameters::IrealAbsent))
    return nullptr;
  return &*kept;
}

bool RestoreSweep(Recording& rec, int slot, const LoadSettings& settings) {
  const SweepReading* kept = KeptReading(rec, slot, settings);
  if (!kept) return false;
  const SweepReading& r = *kept;
  rec.par = r.par;
  // The choice may have changed since the load (another firing-clamp sweep
  // reconciles it too); the load would reconcile the file's kind with it.
  if (rec.par.FiringClampOn == 1) {
    rec.par.ClampWave.WaveKind = r.fileWaveKind;
    ReconcileWaveKind(rec.par.ClampWave, settings.lost);
  }
  rec.dt = r.dt, rec.t0 = r.t0;
  rec.FileNo = r.FileNo;
  rec.tOn = r.tOn, rec.tOff = r.tOff;
  rec.Vref = r.Vref, rec.Gain = r.Gain;
  rec.Ifile[slot] = r.Ifile;
  rec.Gfile[slot] = r.Gfile;
  rec.currentFile = r.trace;
  if (r.lfpKept) rec.raw.LFPRaw = r.LFP;
  return true;
}

Status ReloadSweep(Recording& rec, int slot, const LoadSettings& settings, WarningSink& warnings) {
  if (slot < 0 || slot >= static_cast<int>(rec.FileNames.size()) || rec.FileNames[slot].empty()) return Ok();
  if (Status s = LoadSweepFiles(rec, rec.FileNames[slot], warnings, settings); !s) return s;
  return LoadSweep(rec, slot, settings, warnings);
}

}  // namespace velmora
