#include "firingclamp/EstimateFC.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <span>
#include <string>
#include <utility>

#include "recording/SideFiles.h"
#include "firingclamp/Meander.h"
#include "firingclamp/Regression.h"
#include "numeric/MathMy.h"
#include "recording/TextIO.h"

namespace velmora {

namespace {

constexpr int kEstimateColumns = 11;
constexpr int kOldEstimateColumns = 5;  // I, G, Iest, Gest, t only
constexpr int kTimeColumn = 4;

// The arrays behind the columns of the estimates file.
template <class P>
auto EstimateColumns(P& p) {
  return std::array{&p.I, &p.G, &p.Iest, &p.Gest, &p.tPulse, &p.z1, &p.z2, &p.GE, &p.GI, &p.Vsyn, &p.Vss};
}

bool Finite(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

int MaxIterOf(const PrecisionSettings& precision) {
  return static_cast<int>(std::clamp(precision.MaxIter, 0.0, 1e7));
}

// One weighted equation of InverseSolve3: residual e, gradient (a, b) and
// second derivatives (c, d, f) of a surface at (I, G).
struct Equation {
  double e = 0, a = 0, b = 0, c = 0, d = 0, f = 0;
};

Equation Weighted(const TSurface& s, double w, double z, double I, double G) {
  return {(SurfaceValue(s, I, G) - z) * w,     SurfaceDzDI(s, I, G) * w,    SurfaceDzDG(s, I, G) * w,
          SurfaceD2zDI2(s, I, G) * w,          SurfaceD2zDIDG(s, I, G) * w, SurfaceD2zDG2(s, I, G) * w};
}

// The reciprocal spread of the surface's z over the calibration set; 0
// when it has none.
double WeightOf(const TSurface& s) {
  const double variance = s.z2Mean - s.zMean * s.zMean;
  return variance > 0 && std::isfinite(variance) ? 1 / std::sqrt(variance) : 0;
}

// Pulse times (ms) of slots 0..nPulses, aligned to the stimuli when given.
std::vector<double> PulseTimes(const Pulses& p, const std::vector<double>* StimTimes) {
  std::vector<double> t(static_cast<std::size_t>(p.nPulses) + 1);
  int idx = 0;
  for (int j = 1; j <= p.nPulses; ++j) t[j] = StimTimes ? AlignToStimulus(p.tPulse[j], idx, *StimTimes) : p.tPulse[j];
  return t;
}

// Every array must hold slots 0..nPulses before they are written.
void EnsureSlots(Pulses& p) {
  for (const std::vector<double>* a : std::as_const(p).Arrays())
    if (static_cast<int>(a->size()) <= p.nPulses) return SizePulseArrays(p, p.nPulses);
}

struct SeriesDesign {
  std::string_view title;
  Color color;
  AxisSide yAxis = AxisSide::Left;
  bool marked = false;  // drawn as points at design time; the others as lines
};

constexpr SeriesDesign kEstI{"Estimated I", kRed};
constexpr SeriesDesign kTrueStimI{"TrueStim I", kBlue};
constexpr SeriesDesign kTrueI{"True I", kGray};
constexpr SeriesDesign kMeanI{"mean_Estim_I", kBlack};
constexpr SeriesDesign kEstG{"Estimated G      ", kRed};
constexpr SeriesDesign kTrueStimG{"TrueStim G", kBlue};
constexpr SeriesDesign kTrueG{"True G", kGray};
constexpr SeriesDesign kGI{"GI", kNavy, AxisSide::Left, true};
constexpr SeriesDesign kGE{"GE", kDarkRed, AxisSide::Left, true};
constexpr SeriesDesign kMeanG{"mean_Estim_G", kBlack};
constexpr SeriesDesign kTrueStimNMDA{"TrueStim gNMDA", kGreen};
constexpr SeriesDesign kEstNMDA{"Est. gNMDA      ", kMagenta};
constexpr SeriesDesign kVss{"V from GE,GI", kBlack, AxisSide::Left, true};
constexpr SeriesDesign kZ1{"z1", kRed};
constexpr SeriesDesign kZ2{"z2", kBlue, AxisSide::Right};
constexpr SeriesDesign kMeanZ1{"mean z1", kBlack};
constexpr SeriesDesign kMeanZ2{"mean z2", kGray, AxisSide::Right};
constexpr SeriesDesign kVsynFromIG{"V_syn", kGreen};    // Iest / Gest + Vus
constexpr SeriesDesign kVsynChloride{"V_syn", kMagenta};  // from the chloride dynamics

Series& AddSeries(Chart& chart, const SeriesDesign& design) {
  Series& s = chart.series.emplace_back();
  s.title = design.title;
  s.kind = SeriesKind::Point;  // so that "show lines" can take the lines away from every series
  s.color = design.color;
  s.yAxis = design.yAxis;
  s.linePenShown = true;
  s.markerWidth = s.markerHeight = design.marked ? 3 : 1;
  return s;
}

// The nth (0-based) series titled design.title, added when the chart has fewer.
Series& SeriesOf(Chart& chart, const SeriesDesign& design, int nth = 0) {
  int seen = 0;
  for (Series& s : chart.series)
    if (s.title == design.title && seen++ == nth) return s;
  Series* added = nullptr;
  for (; seen <= nth; ++seen) added = &AddSeries(chart, design);
  return *added;
}

Chart MakeChart(std::string_view title, std::string_view left, std::string_view right,
                std::span<const SeriesDesign> designs) {
  Chart chart;
  chart.title = title;
  chart.left.title = left;
  chart.right.title = right;
  chart.bottom.title = "ms";
  for (const SeriesDesign& design : designs) AddSeries(chart, design);
  return chart;
}

}  // namespace

InverseOutcome InverseSolve2(const TSurface& s1, const TSurface& s2, double z1, double z2,
                             const PrecisionSettings& precision, double& I, double& G) {
  const int maxIter = MaxIterOf(precision);
  for (int k = 1;; ++k) {
    const TMatrix2 J{{{}, {0, SurfaceDzDI(s1, I, G), SurfaceDzDG(s1, I, G)},
                      {0, SurfaceDzDI(s2, I, G), SurfaceDzDG(s2, I, G)}}};
    const TVector2 r{0, z1 - SurfaceValue(s1, I, G), z2 - SurfaceValue(s2, I, G)};
    TVector2 d{};
    MathMy::Solve2x2(J, r, d);
    I = I + 0.5 * d[1];
    G = G + 0.5 * d[2];
    if (!Finite(I, G)) break;
    if (std::abs(r[1]) + std::abs(r[2]) < precision.Eps) return InverseOutcome::Converged;
    if (k >= maxIter) break;
  }
  I = G = 0;
  return InverseOutcome::NoConvergence;
}

InverseOutcome InverseSolve3(const TSurface& s1, const TSurface& s2, const TSurface& s3, double z1, double z2,
                             double z3, const PrecisionSettings& precision, double& I, double& G) {
  const double w1 = WeightOf(s1), w2 = WeightOf(s2), w3 = WeightOf(s3);
  if (w1 == 0 || w2 == 0 || w3 == 0) {
    I = G = 0;
    return InverseOutcome::ZeroVariance;
  }
  const int maxIter = MaxIterOf(precision);
  for (int k = 1;; ++k) {
    Equation q1 = Weighted(s1, w1, z1, I, G), q2 = Weighted(s2, w2, z2, I, G);
    const double n1 = q1.a * q1.a + q1.b * q1.b, n2 = q2.a * q2.a + q2.b * q2.b;
    // A vanishing gradient is as useless as a parallel one.
    const double norms = std::sqrt(n1) * std::sqrt(n2);
    const double sinPhi = norms > 0 ? std::abs(q1.a * q2.b - q1.b * q2.a) / norms : 0;
    // z3 takes the place of the one with the shorter gradient.
    if (sinPhi < precision.MinAngle) (n1 >= n2 ? q2 : q1) = Weighted(s3, w3, z3, I, G);

    const TMatrix2 H{{{},
                      {0, q1.a * q1.a + q1.e * q1.c + (q2.a * q2.a + q2.e * q2.c),
                       q1.a * q1.b + q1.e * q1.d + (q2.a * q2.b + q2.e * q2.d)},
                      {0, q1.a * q1.b + q1.e * q1.d + (q2.a * q2.b + q2.e * q2.d),
                       q1.b * q1.b + q1.e * q1.f + (q2.b * q2.b + q2.e * q2.f)}}};
    const TVector2 g{0, -(q1.e * q1.a + q2.e * q2.a), -(q1.e * q1.b + q2.e * q2.b)};
    TVector2 d{};
    MathMy::Solve2x2(H, g, d);
    I = I + 0.5 * d[1];
    G = G + 0.5 * d[2];
    if (!Finite(I, G)) break;
    if (std::abs(g[1]) + std::abs(g[2]) < precision.Eps) return InverseOutcome::Converged;
    if (k >= maxIter) break;
  }
  I = G = 0;
  return InverseOutcome::NoConvergence;
}

double SaturationCorrection(int n, double Gt, double Gc, const std::array<double, 6>& SaturationPars) {
  const double Gs = SaturationPars[5];
  if (!(Gt > 0) || !(Gs > 0)) return 0;
  const double saturated = 1 - MathMy::ExpLimited(-std::abs(Gt) / Gs);
  if (n == 4) return saturated * (-SaturationPars[1] / Gt);
  if (n == 6 && Gc > 0) return saturated * (-SaturationPars[3] / Gc);
  return 0;
}

bool CorrectEstimates(Pulses& p, int j, const CompensationSettings& compensation, const CorrectionSettings& corrections,
                      double Gc) {
  double& Iest = p.Iest[j];
  double& Gest = p.Gest[j];
  Gest -= corrections.Goffset;
  Iest -= corrections.Ioffset;
  const double G1 = compensation.G1, C1C = compensation.C1C;
  const CompensationMode mode = compensation.mode;
  const double R1 = G1 != 0 ? 1 / G1 : 0;
  const double g = Gest, x = R1 * g, y = R1 * Gc;
  double A = 1, B = 0, Gnew = g;
  bool defined = true;
  using M = CompensationMode;
  switch (mode) {
    case M::TauGAfterEstimationNoMeander:
    case M::TauGAfterEstimation: {
      const double q = C1C, D = 1 + x;
      const double den = D != 0 ? D - q * x / D : 0;
      defined = den != 0;
      if (!defined) break;
      Gnew = g * (q * y / D + 1) / den;
      A = 1 / den;
      B = mode == M::TauGAfterEstimation ? A - 1 : 0;
      break;
    }
    case M::CGAfterEstimation:
    case M::CGAfterEstimationNoMeander: {
      const double c = C1C != 0 ? 1 / C1C : 1000;
      const double N = (c + 1) * x + (c + 2) * x * y + (c + 3) * y + x * y * y + 2 * y * y + c + 1;
      const double Mden = (c - 1) * x + (c + 1) - x * x - 2 * x * y - x * x * y;
      const double P = c + 1 + y + c * x;
      defined = Mden != 0 && P != 0;
      if (!defined) break;
      Gnew = g * N / Mden;
      const double h = R1 * Gnew;
      A = (x * h + x + y * h + x * y * y + c * x + c * y + 2 * x * y + x * y * h + c * x * y + c + 1 + 2 * y + y * y +
           h) /
          P;
      B = mode == M::CGAfterEstimation
              ? (x * h + x + x * y * y - c * h + 2 * x * y + x * y * h - c * h * x) / P
              : 0;
      break;
    }
    default: break;
  }
  Iest = Iest * A + p.Imeander[j] * B;
  Gest = Gnew;
  if (defined && Finite(Iest, Gest)) return true;
  Iest = Gest = 0;
  return false;
}

bool CompensatedAsNow(const Pulses& p, const CompensationSettings& compensation,
                      const EstimationsWindowSettings& estimations, WarningSink& warnings) {
  const CompensatedWith& then = p.compensatedWith;
  const CompensatedWith now = MeanderInputs(compensation, estimations);
  if (p.slot == 0 || then == now) return true;
  std::vector<std::string> changed;
  const auto compare = [&changed](std::string_view caption, double before, double after) {
    if (before != after) changed.push_back(fmt::format("\"{}\" {} then, {} now", caption, before, after));
  };
  const CompensationSettings &a = then.compensation, &b = now.compensation;
  compare("G1,nS", a.G1, b.G1);
  compare("C1/C", a.C1C, b.C1C);
  compare("Offline electrode compensation", static_cast<int>(a.mode), static_cast<int>(b.mode));
  compare("delays", a.DelayI, b.DelayI);
  compare("delays", a.DelayT, b.DelayT);
  compare("delays", a.DelayV, b.DelayV);
  compare("tau_Ifilt, mus", a.tauIfilt, b.tauIfilt);
  compare("Junction potential", then.Vjunction, now.Vjunction);
  compare("Offset current", then.Ioffset, now.Ioffset);
  compare("Mg", then.Mg, now.Mg);
  warnings.Warn(fmt::format("The pulses of slot {} were compensated with other settings than those in effect now "
                            "({}); they are estimated as they are: analyse the recording again for estimates that "
                            "agree with the settings",
                            p.slot, fmt::join(changed, ", ")));
  return false;
}

double ChlorideReversal(const Pulses& p, int j, double GI, double VI, const ReversalSettings& reversal,
                        ChlorideState& state) {
  const double c0 = 146 * std::exp(VI / 25.6);  // mM at which the reversal is VI
  const double dtp = p.nPulses >= 2 ? p.tPulse[2] - p.tPulse[1] : 0;  // ms
  if (j == 1) state = {c0, 0};
  const double u = reversal.Kcl * GI + c0;
  if (reversal.Tau1 == 0)  // an infinite rate: the chloride follows its load at once
    state.c = u;
  else if (reversal.Tau2 != 0)
    MathMy::SecondOrderStep(0, state.c, state.dc, 1 / reversal.Tau2, 1 / reversal.Tau1, dtp, u);
  else
    state.c = state.c + (u - state.c) * dtp / reversal.Tau1;
  return state.c > 0 && std::isfinite(state.c) ? 25.6 * std::log(state.c / 146) : 0;
}

int SplitConductances(Pulses& p, const EstimationsWindowSettings& settings, double Gc, double Vus,
                      WarningSink& warnings) {
  EnsureSlots(p);
  const double VE = settings.corrections.VE, VI = settings.corrections.VI;
  double kN = 1, Dn = VE - VI;
  if (settings.nmda.NMDAon) {
    const double Veff = settings.nmda.Veff, Mg = settings.nmda.Mg;
    const double E = MathMy::ExpLimited(-0.062 * Veff);
    const double Bm = 1 / (1 + E * Mg / 3.57);  // unblocked fraction at Veff
    kN = Bm + Bm * Bm * E * (Veff - VE) * Mg / 3.57 * 0.062;
    Dn = (VE - Veff) * Bm + (Veff - Vus) * kN - (VI - Vus) * kN;
  }
  const bool splittable = Dn != 0 && Finite(Dn, kN);
  const bool VsynOn = settings.reversal.VsynOn;
  ChlorideState chloride;
  int badSplit = 0, badVss = 0;
  for (int j = 1; j <= p.nPulses; ++j) {
    double GE = 0, GI = 0, Vsyn = 0, Vss = 0;
    if (splittable) {
      GE = (p.Iest[j] - (VI - Vus) * p.Gest[j]) / Dn;
      GI = p.Gest[j] - GE * kN;
      if (VsynOn) {
        Vsyn = ChlorideReversal(p, j, GI, VI, settings.reversal, chloride);
        GE = (p.Iest[j] - (Vsyn - Vus) * p.Gest[j]) / Dn;
        GI = p.Gest[j] - GE * kN;
      }
    }
    if (!splittable || !Finite(GE, GI) || (VsynOn && !std::isfinite(chloride.c))) {
      GE = GI = Vsyn = 0;
      ++badSplit;
    } else {
      const double G = Gc + GE + GI;
      Vss = G != 0 ? (Gc * settings.VLss + GE * VE + GI * VI) / G : 0;
      if (G == 0 || !std::isfinite(Vss)) {
        Vss = 0;
        ++badVss;
      }
    }
    p.GE[j] = GE;
    p.GI[j] = GI;
    p.Vsyn[j] = Vsyn;
    p.Vss[j] = Vss;
  }

  if (!splittable && p.nPulses > 0)
    warnings.Warn(fmt::format("The conductance cannot be split into GE and GI: its denominator is {} (VE = {} mV, "
                              "VI = {} mV{}); GE, GI, V_syn and V from GE,GI are 0 for all {} pulses",
                              Dn, VE, VI,
                              settings.nmda.NMDAon
                                  ? fmt::format(", NMDA block at Veff = {} mV with Mg = {}", settings.nmda.Veff,
                                                settings.nmda.Mg)
                                  : "",
                              p.nPulses));
  else if (badSplit > 0)
    warnings.Warn(fmt::format("The chloride dynamics (tau1 = {} ms, tau2 = {} ms) left no finite reversal potential "
                              "for {} of {} pulses; their GE, GI and V_syn are 0",
                              settings.reversal.Tau1, settings.reversal.Tau2, badSplit, p.nPulses));
  if (badVss > 0)
    warnings.Warn(fmt::format("Gc + GE + GI is 0 for {} of {} pulses (Gc = {} nS); their V from GE,GI is 0", badVss,
                              p.nPulses, Gc));
  return badSplit + badVss;
}

EstimationCharts MakeEstimationCharts() {
  EstimationCharts charts;
  const SeriesDesign current[] = {kEstI, kTrueStimI, kTrueI, kMeanI};
  const SeriesDesign conductance[] = {kEstG, kTrueStimG, kTrueG, kGI, kGE, kMeanG, kTrueStimNMDA, kEstNMDA};
  const SeriesDesign voltage[] = {kVss};
  const SeriesDesign z[] = {kZ1, kZ2, kMeanZ1, kMeanZ2, kVsynFromIG, kVsynChloride};
  charts.current = MakeChart("current", "I (pA)", "G/GL", current);
  charts.conductance = MakeChart("conductance", "G (nS)", "G/GL", conductance);
  charts.voltage = MakeChart("voltage", "mV", "G/GL", voltage);
  charts.z = MakeChart("z values", "z1(mV)", "z2 (mV)", z);
  return charts;
}

void DrawEstimates(const Pulses& p, const EstimationsWindowSettings& settings, ApproxKind kind, double Vus,
                   const std::vector<double>* StimTimes, EstimationCharts& charts) {
  charts.voltageShown = settings.VfromGEGI;
  Series& estI = SeriesOf(charts.current, kEstI);
  Series& trueStimI = SeriesOf(charts.current, kTrueStimI);
  Series& estG = SeriesOf(charts.conductance, kEstG);
  Series& trueStimG = SeriesOf(charts.conductance, kTrueStimG);
  Series& GE = SeriesOf(charts.conductance, kGE);
  Series& GI = SeriesOf(charts.conductance, kGI);
  Series& trueStimNMDA = SeriesOf(charts.conductance, kTrueStimNMDA);
  Series& estNMDA = SeriesOf(charts.conductance, kEstNMDA);
  Series& Vss = SeriesOf(charts.voltage, kVss);
  Series& z1 = SeriesOf(charts.z, kZ1);
  Series& z2 = SeriesOf(charts.z, kZ2);
  Series& VsynIG = SeriesOf(charts.z, kVsynFromIG, 0);
  Series& VsynChloride = SeriesOf(charts.z, kVsynChloride, 1);
  for (Chart* chart : {&charts.current, &charts.conductance, &charts.voltage, &charts.z})
    for (Series& s : chart->series) s.linePenShown = settings.showLines;
  for (Series* s : {&estI, &trueStimI, &estG, &trueStimG, &GE, &GI, &trueStimNMDA, &estNMDA, &Vss, &z1, &z2, &VsynIG,
                    &VsynChloride})
    s->Clear();

  const std::vector<double> t = PulseTimes(p, StimTimes);
  const bool nmda = IsRegressionKind(kind);
  for (int j = 1; j <= p.nPulses; ++j) {
    const double x = t[j];
    estI.AddPoint(x, p.Iest[j]);
    estG.AddPoint(x, p.Gest[j]);
    trueStimI.AddPoint(x, p.I[j]);
    trueStimG.AddPoint(x, p.G[j]);
    z2.AddPoint(x, p.z2[j]);
    z1.AddPoint(x, p.z1[j]);
    GE.AddPoint(x, p.GE[j]);
    GI.AddPoint(x, p.GI[j]);
    if (settings.reversal.VsynOn && p.Gest[j] > 0.1) {  // nS: below it Iest / Gest is noise
      VsynIG.AddPoint(x, p.Iest[j] / p.Gest[j] + Vus);
      VsynChloride.AddPoint(x, p.Vsyn[j]);
    }
    if (settings.VfromGEGI) Vss.AddPoint(x, p.Vss[j]);
    if (nmda) {
      trueStimNMDA.AddPoint(x, p.gNMDA[j]);
      estNMDA.AddPoint(x, p.gNMDAest[j]);
    }
  }
}

Status WriteEstimates(const Pulses& p, const std::vector<double>* StimTimes, const std::filesystem::path& dir) {
  const std::vector<double> t = PulseTimes(p, StimTimes);
  std::string out;
  out.reserve(static_cast<std::size_t>(p.nPulses) * 100);
  const auto columns = EstimateColumns(p);
  for (int j = 1; j <= p.nPulses; ++j) {
    for (int k = 0; k < kEstimateColumns; ++k) {
      const double x = k == kTimeColumn ? t[j] : (*columns[k])[j];
      if (k > 0) out += ' ';
      out += Fixed(std::isfinite(x) ? x : 0.0, 8, 3);
    }
    out += "\r\n";
  }
  return WriteFileAtomically(dir / kEstimatesFileName, out);
}

Status ReadEstimates(const std::filesystem::path& dir, const std::vector<double>* StimTimes, Pulses& p) {
  const std::filesystem::path path = dir / kEstimatesFileName;
  const std::string name = path.string();
  // A line of numbers of width 8; the pulse count bounds the file.
  auto reader = LineReader::Open(path, ReadLimits{4096, 0});
  if (!reader) return reader.error();

  std::vector<std::array<double, kEstimateColumns>> rows;
  std::string_view line;
  while (reader->Next(line)) {
    const long at = reader->lineNumber();
    std::array<double, kEstimateColumns> row{};
    int read = 0;
    std::string_view rest = line, bad;
    for (double x = 0; read < kEstimateColumns; row[read++] = x) {
      const Scan scan = NextReal(rest, x, bad);
      if (scan == Scan::End) break;
      if (scan == Scan::NotANumber)
        return Error{name, at, fmt::format("column {}", read + 1), fmt::format("{} is not a number", Quoted(bad))};
    }
    if (read == 0) continue;
    if (read != kEstimateColumns && read != kOldEstimateColumns)
      return Error{name, at, "",
                   fmt::format("{} numbers where a line of estimates has {} (or {})", read, kEstimateColumns,
                               kOldEstimateColumns)};
    if (rows.size() == kMaxPulses) return Error{name, at, "", fmt::format("more than {} pulses", kMaxPulses)};
    rows.push_back(row);
  }
  if (Status s = reader->status(); !s) return s;

  p.nPulses = static_cast<int>(rows.size());
  p.slot = 0;  // read back, not condensed from a sweep
  SizePulseArrays(p, p.nPulses);
  const auto columns = EstimateColumns(p);
  for (int j = 1; j <= p.nPulses; ++j)
    for (int k = 0; k < kEstimateColumns; ++k) (*columns[k])[j] = rows[j - 1][k];
  if (StimTimes) {
    const std::vector<double> t = PulseTimes(p, StimTimes);
    std::copy(t.begin() + 1, t.end(), p.tPulse.begin() + 1);
  }
  return Ok();
}

EstimationReport EstimatePulses(Pulses& p, const ApproxState& approx, const CompensationSettings& compensation,
                                const CorrectionSettings& corrections, double Gc, const PrecisionSettings& precision) {
  EnsureSlots(p);
  const ApproxSettings& fit = approx.fitted;
  const int Nz[] = {fit.iz1, fit.iz2, fit.iz3};
  std::vector<double>* z[] = {&p.z1, &p.z2, &p.z3};
  const double w = corrections.wFilter;
  EstimationReport report;
  report.nPulses = p.nPulses;
  double gNMDA = 0;  // carried over where the kind does not estimate it
  for (int j = 1; j <= p.nPulses; ++j) {
    for (int m = 0; m < 3; ++m) {
      double zj = ZValue(p, Nz[m], j);
      if (j > 1) {
        zj += SaturationCorrection(Nz[m], Gc + p.Gest[j - 1], Gc, approx.SaturationPars);
        if (w != 0) zj = (1 - w) * zj + w * (*z[m])[j - 1];
      }
      (*z[m])[j] = zj;
    }
    const double z1 = p.z1[j], z2 = p.z2[j], z3 = p.z3[j];

    double I = 0, G = 0;
    if (j > 1) {
      I = (p.Iest[j - 1] + approx.SurfZ1.Imean) / 2;
      G = (p.Gest[j - 1] + approx.SurfZ1.Gmean) / 2;
    }
    InverseOutcome outcome = InverseOutcome::Converged;
    switch (fit.kind) {
      case ApproxKind::Cylindrical:
      case ApproxKind::Plane:
      case ApproxKind::Quadratic:
        outcome = fit.Use3 ? InverseSolve3(approx.SurfZ1, approx.SurfZ2, approx.SurfZ3, z1, z2, z3, precision, I, G)
                           : InverseSolve2(approx.SurfZ1, approx.SurfZ2, z1, z2, precision, I, G);
        break;
      case ApproxKind::NearestPoint: NearestCalibrationPoint(approx.calib, fit, z1, z2, z3, I, G); break;
      case ApproxKind::Regression3:
      case ApproxKind::Regression7:
        if (j > 1) {
          const Regressors phi = SetRegressorsFromPulses(p, fit.kind, j);
          I = EvalRegression(approx.CoefI, phi);
          G = EvalRegression(approx.CoefG, phi);
          if (fit.kind == ApproxKind::Regression7) gNMDA = EvalRegression(approx.CoefNMDA, phi);
        }
        break;
    }
    if (outcome == InverseOutcome::NoConvergence) ++report.notConverged;
    if (outcome == InverseOutcome::ZeroVariance) ++report.zeroVariance;
    if (!Finite(I, G) || !std::isfinite(gNMDA)) {
      I = G = gNMDA = 0;
      ++report.notFinite;
    }
    p.Iest[j] = I;
    p.Gest[j] = G;
    p.gNMDAest[j] = gNMDA;
  }
  for (int j = 1; j <= p.nPulses; ++j)
    if (!CorrectEstimates(p, j, compensation, corrections, Gc)) ++report.badCorrection;
  return report;
}

Result<EstimationReport> EstimateAll(Pulses& p, const ApproxState& approx, const CompensationSettings& compensation,
                                     const EstimationInputs& in, const PrecisionSettings& precision,
                                     const EstimationsWindowSettings& settings, const std::filesystem::path& dir,
                                     EstimationCharts& charts, WarningSink& warnings) {
  if (approx.calib.nCalib() == 0) {
    Error e{"", 0, "", "there is no approximation to estimate with: calibrate and approximate first"};
    warnings.Warn(e.What());
    return e;
  }
  if (p.nPulses <= 0) return EstimationReport{};  // too few clean meanders: the last results stay as they are
  const ApproxSettings& fit = approx.fitted;
  const bool pulseVCorrected = fit.iz1 == 6 || fit.iz2 == 6 || fit.iz3 == 6;
  if (pulseVCorrected && approx.SaturationPars[3] != 0 && approx.SaturationPars[5] > 0 && !(in.Gc > 0))
    warnings.Warn(fmt::format("The saturation correction of PulseV needs a resting conductance CmdScale above 0 "
                              "(it is {} nS); PulseV is not corrected",
                              in.Gc));

  CompensatedAsNow(p, compensation, settings, warnings);
  EstimationReport report = EstimatePulses(p, approx, compensation, settings.corrections, in.Gc, precision);
  std::vector<std::string> zeroed;
  if (report.notConverged > 0)
    zeroed.push_back(fmt::format("{} did not converge within {} iterations", report.notConverged,
                                 MaxIterOf(precision)));
  if (report.zeroVariance > 0)
    zeroed.push_back(fmt::format("{} could not be weighted, as z number {}, {} or {} does not vary over the "
                                 "calibration set",
                                 report.zeroVariance, fit.iz1, fit.iz2, fit.iz3));
  if (report.notFinite > 0) zeroed.push_back(fmt::format("{} gave no finite estimate", report.notFinite));
  if (report.badCorrection > 0)
    zeroed.push_back(fmt::format("{} met a vanishing denominator of the electrode compensation (mode {}, G1 = {} nS, "
                                 "C1/C = {})",
                                 report.badCorrection, static_cast<int>(compensation.mode), compensation.G1,
                                 compensation.C1C));
  if (!zeroed.empty())
    warnings.Warn(fmt::format("Estimation of {} pulses: {}; their estimates are 0", p.nPulses, fmt::join(zeroed, "; ")));

  report.badSplit = SplitConductances(p, settings, in.Gc, in.Vus, warnings);
  DrawEstimates(p, settings, fit.kind, in.Vus, in.StimTimes, charts);
  if (Status written = WriteEstimates(p, in.StimTimes, dir); !written) {
    warnings.Warn(written.error().What());
    return written.error();
  }
  return report;
}

}  // namespace velmora
