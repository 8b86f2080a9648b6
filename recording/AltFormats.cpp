#include "recording/AltFormats.h"

#include <fmt/format.h>

#include <algorithm>
#include <string_view>

#include "recording/TextIO.h"

namespace velmora {

namespace {

bool Contains(std::string_view s, std::string_view part) { return s.find(part) != std::string_view::npos; }

// A header is a few dozen numbers and a title; the sequence file is read up
// to its 50th line.
constexpr ReadLimits kHeaderLimits{4096, 1 << 20};
constexpr ReadLimits kSequenceLimits{4096, 0};
// A column line holds at most 50 numbers: 16 KiB gives each over 300
// characters. The sample cap bounds the file.
constexpr ReadLimits kColumnLimits{16 << 10, 0};

Status ParseNumber(const std::string& file, long line, std::string_view field, std::string_view token,
                   double& x) {
  const auto value = ParseReal(token);
  if (!value)
    return Error{file, line, std::string(field),
                 token.empty() ? "holds no number" : fmt::format("{} is not a number", Quoted(token))};
  x = *value;
  return Ok();
}

Status RequireVoltFile(const VarnelFiles& files) {
  if (files.VoltFile.empty()) return Error{"", 0, "", "no voltage file is chosen"};
  return Ok();
}

// What only the new header carries. The old format resets it, so that the
// clamp values of an old-format experiment never come from an earlier read.
void ClearNewHeaderFields(VarnelHeader& h) {
  h.tIvbDur = 0;
  h.nSweepsHdr = 0;
  h.gBase = h.Gain = h.Vref = h.Erev = h.gStep = 0;
  h.gSeq.clear();
  h.HdrSubtype.clear();
}

// One value per line, the first number on it; lines without a target are not parsed.
Status ReadOldHeaderFile(const std::string& file, VarnelHeader& h, double& tOn) {
  struct Line {
    const char* name;
    double* x;
  };
  const Line lines[] = {{"", nullptr},           {"", nullptr},
                        {"Gsweep1", &h.Gsweep1}, {"dGsweep", &h.dGsweep},
                        {"tOn", &tOn},           {"tStimDur", &h.tStimDur},
                        {"", nullptr},           {"SampleRate", &h.SampleRate},
                        {"Isweep1", &h.Isweep1}, {"dIsweep", &h.dIsweep},
                        {"tIvb", &h.tIvb},       {"", nullptr},
                        {"Bridge", &h.Bridge}};
  auto reader = LineReader::Open(file, kHeaderLimits);
  if (!reader) return reader.error();
  std::string_view text;
  for (const Line& line : lines) {
    if (!reader->Next(text)) {
      if (Status s = reader->status(); !s) return s;
      const long last = reader->lineNumber();
      return Error{file, 0, "", fmt::format("ends after line {}; the header has 13 lines", last)};
    }
    if (!line.x) continue;
    if (Status s = ParseNumber(file, reader->lineNumber(), line.name, NextToken(text), *line.x); !s) return s;
  }
  return Ok();
}

// A title line, then 22 numbers separated by blanks or line breaks.
Status ReadNewHeaderFile(const std::string& file, VarnelHeader& h, double& tOn) {
  double unused = 0;
  struct Number {
    const char* name;
    double* x;  // nullptr: nSweepsHdr, the one integer
  };
  const Number numbers[] = {
      {"nSweepsHdr", nullptr},   {"Gsweep1", &h.Gsweep1}, {"dGsweep", &h.dGsweep},   {"tOn", &tOn},
      {"tStimDur", &h.tStimDur}, {"number 6", &unused},   {"SampleRate", &h.SampleRate},
      {"Isweep1", &h.Isweep1},   {"dIsweep", &h.dIsweep}, {"tIvb", &h.tIvb},         {"tIvbDur", &h.tIvbDur},
      {"Bridge", &h.Bridge},     {"number 13", &unused},  {"number 14", &unused},    {"number 15", &unused},
      {"number 16", &unused},    {"number 17", &unused},  {"Gain", &h.Gain},         {"Vref", &h.Vref},
      {"gBase", &h.gBase},       {"Erev", &h.Erev},       {"gStep", &h.gStep}};
  constexpr int kCount = static_cast<int>(std::size(numbers));
  auto reader = LineReader::Open(file, kHeaderLimits);
  if (!reader) return reader.error();
  std::string_view text;
  reader->Next(text);  // the title
  int n = 0;
  while (n < kCount && reader->Next(text)) {
    for (std::string_view token; n < kCount && !(token = NextToken(text)).empty(); ++n) {
      const long line = reader->lineNumber();
      if (numbers[n].x) {
        if (Status s = ParseNumber(file, line, numbers[n].name, token, *numbers[n].x); !s) return s;
        continue;
      }
      const auto count = ParseInteger(token);
      if (!count) return Error{file, line, "nSweepsHdr", fmt::format("{} is not a whole number", Quoted(token))};
      // Slots hold 50 sweeps; a larger count would send the analyses past them.
      if (*count < 1 || *count > kMaxSweeps)
        return Error{file, line, "nSweepsHdr", fmt::format("{} sweeps is outside 1..{}", *count, kMaxSweeps)};
      h.nSweepsHdr = static_cast<int>(*count);
    }
  }
  if (Status s = reader->status(); !s) return s;
  if (n < kCount)
    return Error{file, 0, "",
                 fmt::format("holds {} of the {} header numbers; {} is missing", n, kCount, numbers[n].name)};
  return Ok();
}

// Line k holds "k gSeq[k]"; gSeq[0] is unused.
Status ReadGESequence(const std::string& file, int nSweeps, std::vector<double>& gSeq, WarningSink& warnings) {
  auto reader = LineReader::Open(file, kSequenceLimits);
  if (!reader) return reader.error();
  std::vector<double> seq(nSweeps + 1, 0.0);
  int missing = 0;
  std::string_view text;
  for (int k = 1; k <= nSweeps; ++k) {
    if (!reader->Next(text)) {
      missing += nSweeps - k + 1;
      break;
    }
    NextToken(text);  // the sweep number
    const std::string_view token = NextToken(text);
    if (token.empty()) {
      ++missing;
      continue;
    }
    if (Status s = ParseNumber(file, reader->lineNumber(), "gSeq", token, seq[k]); !s) return s;
  }
  if (Status s = reader->status(); !s) return s;
  if (missing > 0)
    warnings.Warn(
        fmt::format("{}: {} of {} sweeps have no conductance; they are taken as 0", file, missing, nSweeps));
  gSeq = std::move(seq);
  return Ok();
}

// Case-sensitive and in this order, for a name may hold more than one.
std::string SubtypeOf(std::string_view headerName) {
  for (const char* subtype : {"gs1", "gst", "ivb"})
    if (Contains(headerName, std::string(".") + subtype)) return subtype;
  return "";
}

void ShareWithRecording(const VarnelHeader& h, double tOn, double tOff, Recording& rec) {
  rec.tOn = tOn;
  rec.tOff = tOff;
  rec.Gain = h.Gain;
  rec.Vref = h.Vref;
}

}  // namespace

Result<HeaderShown> ReadOldHeader(const VarnelFiles& files, VarnelHeader& header, Recording& rec) {
  if (Status s = RequireVoltFile(files); !s) return s.error();
  VarnelHeader h = header;
  ClearNewHeaderFields(h);
  double tOn = rec.tOn;  // ms
  HeaderShown shown;
  if (!files.HeaderFile.empty()) {
    if (Status s = ReadOldHeaderFile(files.HeaderFile, h, tOn); !s) return s.error();
    shown.gClamped = h.Gsweep1;
  }
  shown.Bridge = h.Bridge;
  ShareWithRecording(h, tOn, tOn + h.tStimDur, rec);
  rec.nFiles = 25;
  header = std::move(h);
  return shown;
}

Result<HeaderShown> ReadNewHeader(const VarnelFiles& files, VarnelHeader& header, Recording& rec,
                                  WarningSink& warnings) {
  if (Status s = RequireVoltFile(files); !s) return s.error();
  VarnelHeader h = header;
  double tOn = rec.tOn;  // ms
  HeaderShown shown;
  if (files.HeaderFile.empty()) {
    h.tIvbDur = 0;
    h.HdrSubtype.clear();  // the subtype is a property of the header's name
  } else {
    const std::string& name = files.HeaderFile;
    h.HdrSubtype = SubtypeOf(name);
    if (Status s = ReadNewHeaderFile(name, h, tOn); !s) return s.error();
    if (h.HdrSubtype == "gs1") {
      if (Status s = ReadGESequence(files.GESeqFile, h.nSweepsHdr, h.gSeq, warnings); !s) return s.error();
    } else {
      h.gSeq.assign(h.nSweepsHdr + 1, 0.0);
    }
    rec.nFiles = h.nSweepsHdr;
    shown.gClamped = h.gBase * h.Gain + h.Gsweep1;
  }
  shown.Bridge = h.Bridge;
  const double tOff = h.HdrSubtype == "ivb" ? h.tIvb + h.tIvbDur : tOn + h.tStimDur;
  ShareWithRecording(h, tOn, tOff, rec);
  header = std::move(h);
  return shown;
}

Status ReadColumnFile(const VarnelFiles& files, const VarnelHeader& header, int p, int k, int skip,
                      Recording& rec, WarningSink& warnings) {
  if (p != 1 && p != 2) return Error{"", 0, "", fmt::format("plane {} has no column file", p)};
  const std::string& file = p == 1 ? files.VoltFile : files.CurrFile;
  if (file.empty()) return Error{"", 0, "", p == 1 ? "no voltage file is chosen" : "no current file is chosen"};
  if (k < 1 || k > kMaxSweeps)
    return Error{file, 0, "", fmt::format("sweep {} is outside 1..{}", k, kMaxSweeps)};
  if (!(header.SampleRate > 0))
    return Error{files.HeaderFile, 0, "SampleRate",
                 fmt::format("{} Hz is not a sampling rate", header.SampleRate)};
  const int s = std::max(skip, 1);
  auto reader = LineReader::Open(file, kColumnLimits);
  if (!reader) return reader.error();

  std::vector<double> kept;
  double dt = rec.dt;  // s
  int columns = 0;     // of the last line read
  long shortLines = 0, firstShort = 0;
  std::string_view line, bad;
  for (int j = -1; j < kMaxSweepSamples - 1 && reader->Next(line);) {
    int n = 0;
    double x = 0, value = 0;
    Scan scan;
    while ((scan = NextReal(line, x, bad)) == Scan::Number) {
      if (++n > kMaxSweeps)
        return Error{file, reader->lineNumber(), "", fmt::format("holds more than {} numbers", kMaxSweeps)};
      if (n == k) value = x;
    }
    if (scan == Scan::NotANumber)
      return Error{file, reader->lineNumber(), fmt::format("column {}", n + 1),
                   fmt::format("{} is not a number", Quoted(bad))};
    if (n == 0) continue;  // an empty last line would otherwise leave nFiles at 0
    ++j;
    columns = n;
    if (j % s != 0) continue;
    if (n < k && shortLines++ == 0) firstShort = reader->lineNumber();
    kept.push_back(value);
    if (kept.size() == 2) dt = j / header.SampleRate;
  }
  if (Status s = reader->status(); !s) return s;
  if (kept.empty()) return Error{file, 0, "", "holds no number"};
  // Said once, with the first sweep's voltage: the header's count is not
  // what the analyses go by, the columns are.
  if (p == 1 && k == 1 && header.nSweepsHdr > 0 && columns != header.nSweepsHdr)
    warnings.Warn(fmt::format("{}: holds {} columns where the header {} gives {} sweeps; the {} columns are analysed",
                              file, columns, files.HeaderFile, header.nSweepsHdr, columns));
  if (shortLines > 0)
    warnings.Warn(
        fmt::format("{}: {} lines hold fewer than {} numbers, the first being line {}; sweep {} is 0 there",
                    file, shortLines, k, firstShort, k));

  SweepSlot& slot = rec.traces[k];
  std::vector<double>& plane = p == 1 ? slot.V : slot.Ireal;
  const std::vector<double>& other = p == 1 ? slot.Ireal : slot.V;
  plane = std::move(kept);
  // The slot no longer holds a main-format sweep as read.
  slot.reading.reset();
  if (p == 1) slot.filteredIterations = 0;
  if (p == 2 && other.size() != plane.size())
    warnings.Warn(fmt::format("{}: holds {} samples, the voltage file {}; sweep {} is cut to the shorter", file,
                              plane.size(), other.size(), k));
  // Plane 1 is read before plane 2, so after both nLast is the shorter file's; in between it never
  // points past what a stale plane 2 holds.
  slot.nLast = static_cast<int>(std::min(plane.size(), other.size())) - 1;
  rec.dt = dt;
  rec.nFiles = columns;
  rec.currentFile = file;
  return Ok();
}

ClampIG SweepIG(FileFormat format, const VarnelHeader& h, const Recording& rec, int k) {
  if (format == FileFormat::Main) {
    if (k < 0 || k > kMaxSweeps) return {};
    return {rec.Gfile[k], rec.Ifile[k]};
  }
  const double seq = k >= 0 && k < static_cast<int>(h.gSeq.size()) ? h.gSeq[k] : 0.0;
  const double g = seq != 0 ? seq : k * h.gStep;  // nS
  const double G = (k - 1) * h.dGsweep + h.Gsweep1 + (h.gBase + g) * h.Gain;
  if (h.Gain == 0) return {G, (k - 1) * h.dIsweep + h.Isweep1 + (h.Erev - h.Vref) * g};
  return {G, ((k - 1) * h.dIsweep + h.Isweep1 + (h.Erev - h.Vref) * g * h.Gain) / h.Gain};
}

}  // namespace velmora
