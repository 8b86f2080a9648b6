#include "modelcell/Cell.h"

#include <cmath>

namespace velmora {

namespace {

// z / (e^z - 1), with its limit 1 at z = 0 where the quotient is 0/0.
double Efun(double z) { return std::fabs(z) < 1e-6 ? 1 - z / 2 : z / std::expm1(z); }

struct Rates {
  double mInf, tauM, hInf, tauH, nInf, tauN, pInf, tauP;  // tau in ms
};

Rates RatesAt(double V, const CellParameters& c) {
  const double u = V - c.Vshift;
  const double am = 1.28 * Efun(-(u - 13) / 4);
  const double bm = 1.4 * Efun((u - 40) / 5);
  const double ah = 0.128 * std::exp(-(u - 17) / 18);
  const double bh = 4 / (1 + std::exp(-(u - 40) / 5));
  const double an = 0.16 * Efun(-(u - 15) / 5);
  const double bn = 0.5 * std::exp(-(u - 10) / 40);
  const double e = std::exp((V + 35) / 20);
  Rates r;
  r.mInf = am / (am + bm), r.tauM = 1 / (am + bm);
  r.hInf = ah / (ah + bh), r.tauH = 1 / (ah + bh);
  r.nInf = an / (an + bn), r.tauN = 1 / (an + bn);
  r.pInf = 1 / (1 + 1 / (e * e));
  r.tauP = c.tauMmax / (3.3 * e + 1 / e);
  return r;
}

double Relax(double x, double xInf, double tau, double h) { return xInf + (x - xInf) * std::exp(-h / tau); }

CellState SteadyStateAt(double V, const CellParameters& c) {
  const Rates r = RatesAt(V, c);
  return CellState{V, r.mInf, r.hInf, r.nInf, r.pInf};
}

}  // namespace

double IonicCurrent(const CellState& s, const CellParameters& c) {
  return c.gNa * s.m * s.m * s.m * s.h * (s.V - c.ENa) + (c.gK * s.n * s.n * s.n * s.n + c.gM * s.p) * (s.V - c.EK) +
         c.GL * (s.V - c.EL);
}

CellState RestingState(const CellParameters& c) {
  // The steady-state current rises through 0 once between these bounds for
  // any cell that rests below its threshold.
  double lo = -110, hi = -50;
  for (int i = 0; i < 60; ++i) {
    const double mid = (lo + hi) / 2;
    (IonicCurrent(SteadyStateAt(mid, c), c) < 0 ? lo : hi) = mid;
  }
  return SteadyStateAt((lo + hi) / 2, c);
}

void StepCell(CellState& s, const CellParameters& c, double Iinj, double h) {
  const Rates r = RatesAt(s.V, c);
  s.m = Relax(s.m, r.mInf, r.tauM, h);
  s.h = Relax(s.h, r.hInf, r.tauH, h);
  s.n = Relax(s.n, r.nInf, r.tauN, h);
  s.p = Relax(s.p, r.pInf, r.tauP, h);

  const double gNa = c.gNa * s.m * s.m * s.m * s.h;
  const double gK = c.gK * s.n * s.n * s.n * s.n + c.gM * s.p;
  const double gTotal = gNa + gK + c.GL;                                  // nS
  const double Vinf = (gNa * c.ENa + gK * c.EK + c.GL * c.EL + Iinj) / gTotal;  // mV
  const double tau = 1000 * c.C / gTotal;                                  // ms (nF / nS = s)
  s.V = Relax(s.V, Vinf, tau, h);
}

}  // namespace velmora
