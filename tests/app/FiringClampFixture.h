#pragma once
// Firing-clamp data of the model cell for the window tests: a calibration
// grid of constant (I, G) sweeps and a long recording under slowly varying
// I(t), G(t), each in a data directory of its own.

#include <filesystem>

#include "AppFixture.h"

namespace velmora::testing {

// The nine sweeps of I in {-100, 0, 100} pA by G in {0, 10, 20} nS, 1 s each:
// fifteen pulses per sweep after the excluded start and the first period's flaw.
inline void WriteCalibrationGrid(const std::filesystem::path& dir) {
  SynthSettings s;
  s.protocol = SynthProtocol::FcCalibration;
  s.duration = 1000;  // ms
  NullSink sink;
  if (auto written = WriteSynthRecording(s, dir, sink); !written) qFatal("%s", written.error().What().c_str());
}

// One firing-clamp sweep under I0 sin, G0 (cos + 1) of `durationMs` at 20 kHz.
inline void WriteEstimationRecording(const std::filesystem::path& dir, double durationMs) {
  SynthSettings s;
  s.protocol = SynthProtocol::FcEstimation;
  s.duration = durationMs;
  s.binary = true;
  NullSink sink;
  if (auto written = WriteSynthRecording(s, dir, sink); !written) qFatal("%s", written.error().What().c_str());
}

// Selects every recording of Form4 and loads them, as a click does.
inline void SelectAllAndLoad(app::MainWindow& window) {
  SelectAndLoad(window, window.parts().fileListWindow->list()->count());
}

}  // namespace velmora::testing
