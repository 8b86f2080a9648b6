#pragma once
// Binds the option widgets to the settings: a numeric spin field with its
// caption, decimals, increment and range, a check box or a list, each reading
// and writing one value. The settings keep the values; the widgets show them.
// The fields of Settings are made from their entries in the settings table.

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "session/SettingFields.h"

class QComboBox;
class QGroupBox;
class QLabel;

namespace velmora::app {

// A field whose value lives outside Settings: a window's own, or one shown only.
struct FieldSpec {
  std::string_view caption;
  int decimals = 0;
  double increment = 1;
  double min = -kNoLimit, max = kNoLimit;
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
// A widget made from the settings table is named after its entry.
class FieldBinder {
 public:
  FieldBinder() = default;  // for values outside Settings only
  explicit FieldBinder(Settings& settings) : settings_(&settings) {}
  FieldBinder(const FieldBinder&) = delete;  // the widgets call back into this binder
  FieldBinder& operator=(const FieldBinder&) = delete;

  // The field of the settings table named `name`.
  NumberField* Number(std::string_view name);
  QCheckBox* Check(std::string_view name);
  QComboBox* List(std::string_view name);

  NumberField* Number(const FieldSpec& spec, double& value);
  NumberField* Number(const FieldSpec& spec, int& value);
  QCheckBox* Check(const char* caption, bool& value);
  void LoadAll();

 private:
  const SettingField& Entry(std::string_view name) const;
  void Keep(const SettingField* field, std::function<void()> load);
  // Shows the value of the entry named `name` again.
  void Reload(std::string_view name);

  Settings* settings_ = nullptr;
  struct Loader {
    const SettingField* field;  // null for a value outside Settings
    std::function<void()> load;
  };
  std::vector<Loader> loaders_;
};

// A titled box with the widgets one under another.
QGroupBox* Group(const char* title, std::initializer_list<QWidget*> widgets);

}  // namespace velmora::app
