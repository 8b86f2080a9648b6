// ABF and ATF files as sweeps, loaded by the core as the list of files loads
// them ("cell01.abf #3"): each sweep analyses as the same samples would,
// written in the main format with a parameter file of its own.

#include <filesystem>

#include "Sweeps.h"
#include "recording/Abf.h"
#include "recording/AbfSweeps.h"
#include "recording/TraceFile.h"

namespace velmora::python {

namespace fs = std::filesystem;

std::vector<SweepPtr> ReadAbfSweeps(const fs::path& path, const Settings& settings, PythonSink& sink) {
  Recording rec;
  // Read once: every sweep's load below finds the file kept in rec.
  const std::shared_ptr<const AbfFile> abf = Take(KeptAbf(rec, path, sink));
  const AbfChannelChoice channels = Take(ChosenChannels(*abf, settings.load));
  const int dac = CommandDac(*abf);
  const int nSweeps = static_cast<int>(abf->sweeps.size());
  std::vector<SweepPtr> sweeps;
  for (int k = 0; k < nSweeps; ++k) {
    const std::string name = AbfSweepName(path.string(), k);
    sink.Progress(k + 1, nSweeps, name);
    Take(LoadSweepFiles(rec, name, sink));
    Take(LoadSweep(rec, 1, settings.load, sink));
    SweepPtr d = TakeLoaded(rec, settings.load);
    d->kind = FormatName(abf->format);
    AbfHeader& h = d->abf.emplace();
    h.file = path.string(), h.version = abf->version, h.operationMode = abf->operationMode, h.sweep = k + 1;
    for (const AbfChannel& c : abf->channels) h.channels.emplace_back(c.name, c.unit);
    h.voltage = channels.voltage, h.current = channels.current, h.dac = dac;
    const std::string why = StimulusOfSweep(*abf, k).why;
    h.note = channels.note.empty() ? why : why.empty() ? channels.note : channels.note + "; " + why;
    sweeps.push_back(std::move(d));
  }
  return sweeps;
}

}  // namespace velmora::python
