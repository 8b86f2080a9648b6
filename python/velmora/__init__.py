"""Velmora from Python: read intracellular recordings and run Velmora's
analyses on them with the program's own core, so that a script or a
notebook gets the numbers the program and velmora-cli write.

    import velmora
    recording = velmora.open("example/steps")
    for sweep in recording:
        spikes = velmora.detect_spikes(sweep)
        print(sweep.name, len(spikes["tAP"]))

Units are the program's: voltage mV, current pA, conductance nS, the
times of a sweep ms; the spike times tAP, ISI, tVT are in s, as velmora-cli
prints them. Errors are velmora.Error (with file, line and field);
warnings are VelmoraWarning through the warnings module. The long calls
let other threads run and stop at Ctrl-C between two sweeps.
"""

import glob as _glob
import os as _os
import tempfile as _tempfile

from . import _core
from ._core import Error, Sweep, VelmoraWarning, __version__
from ._neo import from_neo
from ._settings import Settings, SettingsGroup

__all__ = ["Error", "VelmoraWarning", "Settings", "SettingsGroup", "Sweep", "Recording", "open", "from_neo",
           "filter_voltage", "detect_spikes", "fi", "statistics", "fc_calibrate", "fc_estimate", "synth"]


def _error(file, message):
    error = Error(f"{file}: {message}")
    error.file, error.message = file, message
    return error


def _settings(settings):
    return Settings() if settings is None else settings


class Recording:
    """The sweeps of a file or data directory as velmora.open read them, in
    order; it is a sequence of Sweep. `format` says how it was read ("main",
    "old", "new" or "abf"); `header` is that of the first sweep."""

    def __init__(self, path, format, sweeps):
        self.path = path
        self.format = format
        self.sweeps = list(sweeps)

    @property
    def header(self):
        return self.sweeps[0].header if self.sweeps else {}

    def __len__(self):
        return len(self.sweeps)

    def __iter__(self):
        return iter(self.sweeps)

    def __getitem__(self, index):
        return self.sweeps[index]

    def __repr__(self):
        return f"<velmora.Recording {self.path} ({self.format}): {len(self.sweeps)} sweeps>"


def _format_of(path):
    """How a path is read, and the voltage file it names."""
    if _os.path.isdir(path):
        if _os.path.exists(_os.path.join(path, "ListOfFiles")):
            return "main", ""
        if _os.path.exists(_os.path.join(path, "voltage.txt")):
            return "new", ""
        if _glob.glob(_os.path.join(_glob.escape(path), "*_voltage.txt")):
            return "old", ""
        raise _error(path, 'holds no "ListOfFiles", "voltage.txt" or "*_voltage.txt"')
    if path.lower().endswith((".abf", ".atf")):
        return "abf", ""
    base = _os.path.basename(path)
    if base == "voltage.txt":
        return "new", path
    if base.endswith("_voltage.txt"):
        return "old", path
    return "main", ""


def open(path, settings=None, *, format=None, current="", header=""):
    """Reads a recording as the program does and returns its Recording.

    path: a main-format trace (its parameter file beside it; the "_b" binary
    variant is found as the program finds it), a data directory with a
    "ListOfFiles" (every listed recording, in list order), a column-format
    experiment (a directory with "voltage.txt" or one "*_voltage.txt", or
    that file), or an ABF or ATF file (every sweep). format ("main", "old",
    "new", "abf") overrides what the path suggests; current and header name
    the column files where they are not where they are looked for.

    settings: "Analyze since t0" and "Lost parameters" apply to the main
    format as the program reads it; column files are read every "Skip"-th
    line, as the program reads them (30 after start-up: set
    settings.fi.Skip = 1 to keep every sample).
    """
    path = _os.fspath(path)
    settings = _settings(settings)
    found, voltage = _format_of(path)
    format = format or found
    if format == "main":
        sweeps = _core._read_main(path, settings)
    elif format in ("old", "new"):
        directory = _os.path.dirname(voltage) if voltage else path
        sweeps = _core._read_columns(directory or ".", format, settings, voltage, current, header)
    elif format == "abf":
        sweeps = _core._read_abf(path, settings)
    else:
        raise ValueError(f'format must be "main", "old", "new" or "abf", not {format!r}')
    return Recording(path, format, sweeps)


def filter_voltage(sweep, settings=None):
    """A new Sweep with the voltage smoothed by the settings' "Filter scale"
    and "Iterations" (zero-phase, as the program filters on reading; the
    "Filter" box is not looked at here). The sweep given stays as it is."""
    return _core._filter_voltage(sweep, _settings(settings))


def detect_spikes(sweep, settings=None):
    """The spike table of a sweep, as velmora-cli spikes prints it: a dict of
    arrays tAP (s, the peak), ISI (s; the first is the latency from the
    stimulus start), VT (mV, threshold), tVT (s), Vpeak (mV), WidthAP (ms,
    half-width), VAHP, VAHPfast and Vav (mV), one entry per spike.

    The voltage is first filtered as the program's read does when the
    settings' "Filter" box is ticked (as after start-up) and the sweep is
    not a firing-clamp sweep nor filtered already (see filter_voltage). A
    firing-clamp sweep or one with SpikesOff = 1 gets no detection: an empty
    table and a warning."""
    return _core._detect_spikes(sweep, _settings(settings))


def statistics(sweep, settings=None, *, start=None, end=None, bins=30, lower=-80.0, upper=-50.0, nt_corr=1000,
               n_draw=1):
    """The statistics window's pass over the voltage inside the stimulus
    window (start, end in ms override it), filtered as read (see
    detect_spikes), as velmora-cli stats: a dict of samples, mean (mV),
    dispersion (mV, the standard deviation), tau (s, the correlation time,
    None when undefined), histogram {"V": bar starts in mV, "fraction"} over
    bins between lower and upper (mV), and correlation {"lag": ms, "value"}
    up to nt_corr samples. The results are those of the window's last redraw,
    every 10 * n_draw samples."""
    return _core._statistics(sweep, _settings(settings), start, end, bins, lower, upper, nt_corr, n_draw)


def _sweeps_of(recordings):
    if isinstance(recordings, (Sweep, Recording)):
        recordings = [recordings]
    sweeps = []
    for item in recordings:
        sweeps.extend(item.sweeps if isinstance(item, Recording) else [item])
    return sweeps


def fi(recordings, settings=None, directory=None, *, select=None, format=None, rewrite=False):
    """The F-I analysis: per sweep the clamp, the spike count, the unbroken
    train and the late rate, as velmora-cli fi prints them. Returns a dict of
    arrays sweep (slot), Gclamp (nS), Iclamp (pA), nSpikes, nTrain, nuLast
    (Hz), and file (names).

    recordings: a data directory, read as velmora-cli fi reads it (the
    recordings of its "ListOfFiles", all or those named in select, or the
    column files of an experiment, format "old" or "new"), or Sweeps and
    Recordings (at most 50 sweeps), analysed as the program analyses the
    sweeps it has loaded.

    directory: where the eleven result files (out_*.dat) go (made when
    missing), appended to as the program does, or begun afresh with
    rewrite=True; they are the files velmora-cli fi writes, byte for byte.
    None: no file is kept."""
    settings = _settings(settings)
    if isinstance(recordings, (str, _os.PathLike)):
        path = _os.fspath(recordings)
        if not _os.path.isdir(path):
            raise _error(path, "is no data directory; give its directory, or the Recording velmora.open reads")
        format = format or _format_of(path)[0]
        run = lambda out: _core._fi_directory(path, settings, format, list(select or []), out, rewrite)
    else:
        if select:
            raise ValueError("select names recordings of a data directory")
        sweeps = _sweeps_of(recordings)
        run = lambda out: _core._fi_sweeps(sweeps, settings, out, rewrite)
    if directory is not None:
        _os.makedirs(directory, exist_ok=True)
        return run(_os.fspath(directory))
    with _tempfile.TemporaryDirectory(prefix="velmora-fi-") as out:
        return run(out)


def fc_calibrate(directory, settings=None, *, select=None, erase=False):
    """velmora-cli fc --calibrate: the firing-clamp analysis of the
    recordings of the data directory's "ListOfFiles" (all, or those named in
    select), their pulses appended to its calibration file
    "I_G_VT_dV_subV_PulseV_PulseDur.dat" (erased first with erase=True).
    Returns a list with a dict per recording: slot, file, analysed, nPulses,
    nFlaws, pulses (a dict of arrays, one entry per pulse: tPulse (ms),
    PulseV, subV, VT, NegPulseDur, VHalfPulse, I, G, gNMDA, the estimates
    Iest, Gest, gNMDAest, Imeander, GE, GI, Vsyn, Vss, the z values z1..z3,
    PulseDur, PulseV_VT, dVdt, dVdt_V1, dVdt_V2) and estimate (None here)."""
    return _core._fc_calibrate(_os.fspath(directory), _settings(settings), list(select or []), erase)


def fc_estimate(directory, settings=None, *, select=None, kind=None):
    """velmora-cli fc --estimate [--approximate kind]: the firing-clamp
    analysis of the data directory's recordings with the approximation of
    its calibration file (kind 0-5, 5 by default) and the estimation of I
    and G of every pulse, written to "TrueAndEstimated_I_G.dat" and
    "True_I_G(t).dat". Returns the list fc_calibrate returns, the estimates
    in the pulses and, per recording, estimate: first and last pulse
    summarised, meanIest, meanI, rmsI (pA), meanGest, meanG, rmsG (nS) and
    the pulses without estimate by cause."""
    return _core._fc_estimate(_os.fspath(directory), _settings(settings), list(select or []), kind)


def synth(out, *, protocol="steps", preset=None, seed=1, duration=None, dt=None, binary=False, name="",
          noise_v=None, noise_i=None):
    """velmora-cli synth: the model cell recorded under a protocol ("steps",
    "grid", "waves", "fc-calibration", "fc-estimation", "old-columns",
    "new-columns") into the directory `out`, with its GroundTruth.json;
    preset="demo" writes the example data set (one directory per kind) and
    returns None. duration and dt in ms, noise_v (mV) and noise_i (pA) the
    recording noise. Returns a list with a dict per sweep: trace, FileNo,
    Istep (pA), Gstep (nS) and spikeTimes (ms)."""
    return _core._synth(_os.fspath(out), protocol, preset or "", seed, duration, dt, binary, name, noise_v, noise_i)
