#pragma once
// Binds the option widgets to the settings structs: a numeric spin field with
// its caption, decimals and increment, and a check box, each reading and
// writing one value. The structs keep the values; the widgets show them.

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <vector>

class QGroupBox;
class QLabel;

namespace velmora::app {

struct FieldSpec {
  const char* caption;
  int decimals = 0;
  double increment = 1;
  double min = -1e9, max = 1e9;
};

// A caption and a spin box holding a real value. Typing commits on Enter or
// when the field loses focus, so that "12" is one change and not two.
class NumberField : public QWidget {
  Q_OBJECT

 public:
  NumberField(const FieldSpec& spec, std::function<double()> get, std::function<void(double)> set,
              QWidget* parent = nullptr);

  double value() const;
  // Sets the value as the user would: the bound value and the change action follow.
  void setValue(double v);
  // Shows the bound value without running the change action.
  void Load();
  void SetReadOnly(bool readOnly);
  QDoubleSpinBox* spin() const { return spin_; }
  QLabel* label() const { return label_; }

  std::function<void()> onChanged;        // after the bound value took the new one
  std::function<void()> onDoubleClicked;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLabel* label_;
  QDoubleSpinBox* spin_;
  std::function<double()> get_;
  std::function<void(double)> set_;
};

// Creates the fields and boxes of one window and reloads them all after the
// settings were changed behind their back (a parameter set, a core call).
class FieldBinder {
 public:
  NumberField* Number(const FieldSpec& spec, double& value, double scale = 1);
  NumberField* Number(const FieldSpec& spec, int& value);
  QCheckBox* Check(const char* caption, bool& value);
  void LoadAll();

 private:
  std::vector<std::function<void()>> loaders_;
};

// A titled box with the widgets one under another.
QGroupBox* Group(const char* title, std::initializer_list<QWidget*> widgets);

}  // namespace velmora::app
