#pragma once
// Pictures of the program for a reviewer without a desktop: every tab of the
// main window and every secondary window, after the data directory's
// recordings were loaded and the F-I and overlay analyses run on them; a
// chart zoomed into a spike with the read-out showing, and the "View" menu.

#include <QString>

namespace velmora::app {

class MainWindow;

// Writes the PNG files into `outDir` (created when missing); false when a
// picture could not be written.
bool WriteScreenshots(MainWindow& window, const QString& outDir);

}  // namespace velmora::app
