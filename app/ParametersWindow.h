#pragma once
// "Form9: parameters read": the labels and values of the parameter file read
// last (for a sweep of an ABF or ATF file, its header fields), in two lists
// that scroll and select together.

#include <QWidget>
#include <filesystem>
#include <functional>

#include "recording/ListOfFiles.h"

class QListWidget;

namespace velmora::app {

using velmora::ParameterLines;

class ParametersWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ParametersWindow(QWidget* parent = nullptr);

  // Fills both lists from the file, keeping the line the user looked at.
  // A missing file leaves the lists as they are.
  void ShowFile(const std::filesystem::path& parFile);
  // The same for lines made otherwise (the header of an ABF or ATF file).
  void ShowLines(const ParameterLines& lines);

  QListWidget* labels() const { return labels_; }
  QListWidget* values() const { return values_; }

  // Told whenever the window is shown or hidden (the menu item's check mark).
  std::function<void(bool)> onVisibilityChanged;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Follow(QListWidget* from, QListWidget* to);

  QListWidget* labels_;
  QListWidget* values_;
};

}  // namespace velmora::app
