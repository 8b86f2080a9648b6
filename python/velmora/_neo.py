"""Signals of the Neo object model as Velmora sweeps, without needing Neo."""

import numpy

from ._core import Sweep

# Factors into the units a Sweep takes.
_MV = {"V": 1e3, "mV": 1.0, "uV": 1e-3}
_PA = {"A": 1e12, "mA": 1e9, "uA": 1e6, "nA": 1e3, "pA": 1.0}
_NS = {"S": 1e9, "mS": 1e6, "uS": 1e3, "nS": 1.0}
_MS = {"s": 1e3, "ms": 1.0, "us": 1e-3}


def _unit(quantity):
    units = getattr(quantity, "units", quantity)
    dimensionality = getattr(units, "dimensionality", units)
    text = getattr(dimensionality, "string", None) or str(dimensionality)
    return text.strip().replace("µ", "u").replace("μ", "u")


def _in(quantity, factors, what):
    unit = _unit(quantity)
    if unit not in factors:
        raise ValueError(f"{what} is in {unit!r}; Velmora takes {', '.join(factors)}")
    values = numpy.asarray(quantity.magnitude, dtype=float)
    # A factor of 1 leaves the samples exactly as they are.
    return values if factors[unit] == 1 else values * factors[unit]


def _samples(signal, factors, what, channel):
    if signal is None:
        return None
    values = _in(signal, factors, what)
    return values[:, channel] if values.ndim == 2 else values


def from_neo(v, *, i_command=None, i_measured=None, g_command=None, t_on=None, t_off=None, i_clamp=0.0,
             g_clamp=0.0, channel=0, name=None):
    """A velmora.Sweep from Neo AnalogSignals.

    v is the membrane voltage (V, mV or uV); i_command and i_measured
    currents (A down to pA), g_command a conductance (S down to nS), each
    of the same length as v. A signal of several channels gives its column
    `channel`. The sampling step is v.sampling_period (s, ms or us). t_on
    and t_off (ms from the first sample) are the stimulus window, the whole
    sweep by default; i_clamp (pA) and g_clamp (nS) the sweep's step for
    velmora.fi. The name is v.name unless given.

    Neo itself is not needed: any object with .magnitude (an array),
    .units and, for v, .sampling_period (a quantity with .magnitude and
    .units) will do, e.g. the AnalogSignal of a loader of another format.
    """
    period = v.sampling_period
    dt = float(_in(period, _MS, "the sampling period"))
    return Sweep(
        _samples(v, _MV, "v", channel), dt,
        i_command=_samples(i_command, _PA, "i_command", channel),
        i_measured=_samples(i_measured, _PA, "i_measured", channel),
        g_command=_samples(g_command, _NS, "g_command", channel),
        t_on=t_on, t_off=t_off, i_clamp=i_clamp, g_clamp=g_clamp,
        name=name or getattr(v, "name", None) or "(neo)")
