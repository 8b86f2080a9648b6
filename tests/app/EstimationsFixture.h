#pragma once
// Data for the tests of "Form5: Estimations_FC" and "Form6: current": a
// calibrated firing-clamp directory of the model cell, and stimulated
// recordings without their ".stim" files.

#include <QTest>
#include <filesystem>

#include "AppFixture.h"
#include "app/CurrentWindow.h"
#include "app/EstimationsWindow.h"
#include "actions/FiringClampRun.h"

namespace velmora::testing {

inline void WriteSynth(const SynthSettings& s, const std::filesystem::path& dir) {
  NullSink sink;
  if (auto written = WriteSynthRecording(s, dir, sink); !written) qFatal("%s", written.error().What().c_str());
}

inline void SelectAllAndLoadFc(app::MainWindow& window) {
  SelectAndLoad(window, window.parts().fileListWindow->list()->count());
}

// A started program whose "estimation" directory holds one firing-clamp
// recording under slowly varying I and G and the calibration file of a
// model-cell grid, calibrated from the list of files as the user does.
struct CalibratedFcApp : StartedApp {
  std::filesystem::path calibration = home / "calibration";
  std::filesystem::path estimation = home / "estimation";

  CalibratedFcApp() {
    SynthSettings grid;
    grid.protocol = SynthProtocol::FcCalibration;
    grid.duration = 1000;  // ms
    WriteSynth(grid, calibration);
    SynthSettings wave;
    wave.protocol = SynthProtocol::FcEstimation;
    wave.duration = 5000;  // ms
    WriteSynth(wave, estimation);

    Settings& s = window->settings();
    s.fc.FlawThreshold = 50;  // mV: the model's spikes rise up to 33 mV in one sample
    s.fc.writeInFile = true;  // "Calibrate"
    s.fc.approximate = false;
    QVERIFY(window->SetDataDirectory(QString::fromStdString(calibration.string())));
    SelectAllAndLoadFc(*window);
    std::filesystem::copy_file(calibration / kCalibrationFileName, estimation / kCalibrationFileName);
    s.fc.writeInFile = false;  // "Approximate"
    s.fc.approximate = true;
    QVERIFY(window->SetDataDirectory(QString::fromStdString(estimation.string())));
  }
};

// Clamp waveforms with a stimulus every 499 ms from 50 ms on (2 Hz nominal,
// the stimulator a little fast), without ".stim" files.
inline void WriteStimulatedWaves(const std::filesystem::path& dir) {
  SynthSettings s;
  s.protocol = SynthProtocol::Waves;
  s.waves.kinds = {0};
  s.duration = 3000;  // ms
  s.recorder.stimulation.freq = 2;
  s.recorder.measurement.noiseI = 5;  // pA
  WriteSynth(s, dir);
}

}  // namespace velmora::testing
