#include "recording/ParameterFile.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <vector>

#include "recording/AbfSweeps.h"
#include "recording/TextIO.h"

namespace velmora {

namespace {

bool In(int n, int lo, int hi) { return n >= lo && n <= hi; }

// The named destination of field n, if it has one besides the positional store.
// Field 227 (the recorder's sample count) has none: the trace reader alone sets nRaw.
using Destination = std::variant<std::monostate, double*, int*>;
Destination DestinationOf(RecordingParameters& p, int n) {
  auto& cw = p.ClampWave;
  auto& gp = p.GridPars;
  switch (n) {
    case 1: return &p.Duration;
    case 2: return &p.nPar;
    case 3: return &p.dtPar;
    case 4: return &p.tStimStart;
    case 5: return &p.tStimEnd;
    case 14: return &p.StepPars.Ifirst;
    case 15: return &p.StepPars.Ilast;
    case 16: return &p.StepPars.nSteps;
    case 21: return &p.StepPars.CmdScale;
    case 22: return &gp.IgFirst;
    case 23: return &gp.IgLast;
    case 24: return &gp.GgFirst;
    case 25: return &gp.GgLast;
    case 26: return &gp.nI;
    case 27: return &gp.nG;
    case 28: return &cw.I0;
    case 29: return &cw.G0;
    case 30: return &cw.TI;
    case 31: return &p.ProtocolKind;
    case 33: return &p.FiringClampOn;
    case 34: return &p.HasCh56;
    case 35: return &p.Vus;
    case 40: return &p.FCPars.Freq;
    case 41: return &p.FCPars.Vswitch;
    case 42: return &p.FCPars.Ipos;
    case 43: return &p.FCPars.Ineg;
    case 44: return &p.FCPars.Tpulse;
    case 54: return &cw.TG;
    case 55: return &cw.WaveKind;
    case 56: return &cw.E0;
    case 58: return &gp.tIOn;
    case 59: return &gp.tIOff;
    case 60: return &gp.tGOn;
    case 61: return &gp.tGOff;
    case 68: return &p.HasCh4;
    case 100: return &cw.WaveAlways;
    case 210: return &gp.GridKind;
    case 214: return &p.LfpPars.p0;
    case 215: return &p.LfpPars.p1;
    case 218: return &cw.TGE;
    case 219: return &cw.TGI;
    case 220: return &cw.TgNMDA;
    case 221: return &cw.GEamp;
    case 222: return &cw.GIamp;
    case 223: return &cw.gNMDAamp;
    case 224: return &cw.EI;
    case 226: return &p.TimeFactor;
    case 234: return &p.SpikesOff;
    default: return std::monostate{};
  }
}

void Assign(RecordingParameters& p, int n, const ParamValue& v) {
  if (n == 211 || n == 212) {
    (n == 211 ? p.GridPars.ITable : p.GridPars.GTable) = std::get<std::vector<double>>(v);
    return;
  }
  const Destination d = DestinationOf(p, n);
  if (auto* x = std::get_if<double*>(&d)) **x = std::get<double>(v);
  if (auto* i = std::get_if<int*>(&d)) **i = static_cast<int>(std::get<long>(v));
}

// The value of field n as the writer puts it out: the named destination when
// there is one, the stored value otherwise.
ParamValue CurrentValue(const RecordingParameters& p, int n) {
  if (n == 211) return p.GridPars.ITable;
  if (n == 212) return p.GridPars.GTable;
  const Destination d = DestinationOf(const_cast<RecordingParameters&>(p), n);
  if (auto* x = std::get_if<double*>(&d)) return **x;
  if (auto* i = std::get_if<int*>(&d)) return long{**i};
  if (const auto stored = p.stored.find(n); stored != p.stored.end()) return stored->second;
  switch (KindOfField(n)) {
    case FieldKind::Text: return std::string();
    case FieldKind::Integer: return long{0};
    default: return 0.0;
  }
}

}  // namespace

FieldKind KindOfField(int n) {
  if (n == 93) return FieldKind::Text;
  if (n == 211 || n == 212) return FieldKind::List;
  static constexpr int kIntegerFields[][2] = {
      {2, 2},     {16, 16},   {26, 27},   {31, 34},   {52, 53},   {55, 55},   {64, 65},
      {68, 68},   {74, 77},   {94, 95},   {100, 100}, {104, 104}, {112, 112}, {118, 120},
      {133, 160}, {169, 204}, {210, 210}, {213, 213}, {226, 227}, {234, 234}, {237, 238},
      {246, 246}, {248, 248}};
  for (const auto& r : kIntegerFields)
    if (In(n, r[0], r[1])) return FieldKind::Integer;
  return FieldKind::Real;
}

std::string ParameterFileName(std::string_view traceName) {
  return RecordingBaseName(traceName) + ".par";
}

std::string RecordingBaseName(std::string_view traceName) {
  // Each sweep of an ABF file is a recording of its own: "cell01.abf #3" -> "cell01.abf.3".
  if (const auto abf = ParseAbfSweepName(traceName)) return fmt::format("{}.{}", abf->file, abf->sweep + 1);
  // The rule applies to the file's own name: a directory called "my_traces" must not cut the path.
  const auto slash = traceName.find_last_of(std::filesystem::path::preferred_separator);
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const auto cut = traceName.find("_trace", nameStart);
  return std::string(traceName.substr(0, cut == std::string_view::npos ? nameStart : cut));
}

Status ReadParameterFile(const std::filesystem::path& path, RecordingParameters& par) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return Ok();
  auto read = ReadLines(path, kParameterFileLimits);
  if (!read) return read.error();

  // Lines 1-based; lines[0] unused.
  std::vector<std::string_view> lines{std::string_view()};
  for (const std::string& line : *read) lines.push_back(line);
  const int nLines = static_cast<int>(lines.size()) - 1;
  const std::string file = path.string();

  for (int n = 1; n <= kParameterFields; ++n) {
    const int lineNo = 2 * n;
    const std::string field = fmt::format("field {}", n);
    if (lineNo > nLines) {
      if (n <= kRequiredParameterFields)
        return Error{file, lineNo, field, "the file ends before this field; fields 1 to 54 must be present"};
      // The file ended after field n - 1: the rest keep their values but for these defaults.
      for (int m = n; m <= kParameterFields; ++m) {
        switch (m) {
          case 55: par.ClampWave.WaveKind = -13; break;
          case 58: par.GridPars.tIOn = par.tStimStart; break;
          case 59: par.GridPars.tIOff = par.tStimEnd; break;
          case 60: par.GridPars.tGOn = par.tStimStart; break;
          case 61: par.GridPars.tGOff = par.tStimEnd; break;
          default: break;
        }
      }
      return Ok();
    }
    std::string_view line = lines[lineNo];
    const FieldKind kind = KindOfField(n);
    ParamValue value;
    if (kind == FieldKind::Text) {
      value = std::string(line);
    } else if (kind == FieldKind::List) {
      const long count = n == 211 ? par.GridPars.nI : par.GridPars.nG;
      if (count > kMaxTableEntries)
        return Error{file, lineNo, field,
                     fmt::format("the table holds at most {} values, field {} asks for {}",
                                 kMaxTableEntries, n == 211 ? 26 : 27, count)};
      std::vector<double> list;
      for (long k = 0; k < count; ++k) {
        const std::string_view token = NextToken(line);
        if (token.empty())
          return Error{file, lineNo, field, fmt::format("{} numbers expected, {} found", count, k)};
        const auto x = ParseReal(token);
        if (!x) return Error{file, lineNo, field, fmt::format("{} is not a number", Quoted(token))};
        list.push_back(*x);
      }
      value = std::move(list);
    } else {
      const std::string_view token = NextToken(line);
      if (token.empty()) {
        if (n == 74 || n == 75) continue;  // an empty line leaves the field as it was
        return Error{file, lineNo, field, "the value line is empty"};
      }
      if (kind == FieldKind::Integer) {
        const auto x = ParseInteger(token);
        if (!x) return Error{file, lineNo, field, fmt::format("{} is not a whole number", Quoted(token))};
        value = *x;
      } else {
        const auto x = ParseReal(token);
        if (!x) return Error{file, lineNo, field, fmt::format("{} is not a number", Quoted(token))};
        value = *x;
      }
    }
    Assign(par, n, value);
    par.stored[n] = std::move(value);
  }
  return Ok();
}

Status WriteParameterFile(const std::filesystem::path& path, const RecordingParameters& par) {
  std::string out;
  for (int n = 1; n <= kParameterFields; ++n) {
    out += fmt::format("Field {}\r\n", n);
    const ParamValue v = CurrentValue(par, n);
    if (const auto* s = std::get_if<std::string>(&v)) {
      out += *s;
    } else if (const auto* list = std::get_if<std::vector<double>>(&v)) {
      out += fmt::format("{}", fmt::join(*list, " "));
    } else if (const auto* i = std::get_if<long>(&v)) {
      out += fmt::format("{}", *i);
    } else if (const auto* x = std::get_if<double>(&v)) {
      out += fmt::format("{}", *x);
    }
    out += "\r\n";
  }
  return WriteFileAtomically(path, out);
}

}  // namespace velmora
