#include "app/Fields.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

namespace velmora::app {

namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

NumberField::NumberField(const FieldSpec& spec, std::function<double()> get, std::function<void(double)> set,
                         QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(Text(spec.caption), this)),
      spin_(new QDoubleSpinBox(this)),
      get_(std::move(get)),
      set_(std::move(set)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(label_);
  layout->addWidget(spin_);
  layout->addStretch();
  label_->setBuddy(spin_);
  spin_->setDecimals(spec.decimals);
  spin_->setSingleStep(spec.increment);
  spin_->setRange(spec.min, spec.max);
  spin_->setKeyboardTracking(false);
  spin_->setMinimumWidth(90);
  spin_->setAlignment(Qt::AlignRight);
  // The text part receives the mouse, not the spin box around it.
  if (auto* edit = spin_->findChild<QLineEdit*>()) edit->installEventFilter(this);
  Load();
  connect(spin_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
    set_(v);
    if (onChanged) onChanged();
  });
}

double NumberField::value() const { return spin_->value(); }

void NumberField::setValue(double v) {
  if (v == spin_->value()) return;
  spin_->setValue(v);
}

void NumberField::Load() {
  const QSignalBlocker block(spin_);
  spin_->setValue(get_());
}

void NumberField::SetReadOnly(bool readOnly) {
  spin_->setReadOnly(readOnly);
  spin_->setButtonSymbols(readOnly ? QAbstractSpinBox::NoButtons : QAbstractSpinBox::UpDownArrows);
}

bool NumberField::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && onDoubleClicked && isEnabled()) {
    onDoubleClicked();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

const SettingField& FieldBinder::Entry(std::string_view name) const {
  const SettingField* field = FindSettingField(name);
  if (!field || !settings_) qFatal("no setting field \"%.*s\" to bind", static_cast<int>(name.size()), name.data());
  return *field;
}

void FieldBinder::Keep(const SettingField* field, std::function<void()> load) {
  loaders_.push_back({field, std::move(load)});
}

void FieldBinder::Reload(std::string_view name) {
  for (const Loader& l : loaders_)
    if (l.field && l.field->name == name) l.load();
}

NumberField* FieldBinder::Number(std::string_view name) {
  const SettingField& f = Entry(name);
  Settings& s = *settings_;
  // The spin range keeps the value within the limits, so storing cannot fail.
  auto* field = new NumberField({f.caption, f.decimals, f.increment, f.min, f.max},
                                [&f, &s] { return ShownValue(f, s); },
                                [&f, &s](double v) { (void)SetShownValue(f, s, v); });
  field->setObjectName(Text(f.name));
  Keep(&f, [field] { field->Load(); });
  return field;
}

QCheckBox* FieldBinder::Check(std::string_view name) {
  const SettingField& f = Entry(name);
  Settings& s = *settings_;
  auto* box = new QCheckBox(Text(f.caption));
  box->setObjectName(Text(f.name));
  box->setChecked(ShownValue(f, s) == 1);
  QObject::connect(box, &QCheckBox::toggled, box, [this, &f, &s](bool on) {
    (void)SetShownValue(f, s, on ? 1 : 0);
    if (on && !f.unticks.empty()) Reload(f.unticks);
  });
  Keep(&f, [box, &f, &s] {
    const QSignalBlocker block(box);
    box->setChecked(ShownValue(f, s) == 1);
  });
  return box;
}

QComboBox* FieldBinder::List(std::string_view name) {
  const SettingField& f = Entry(name);
  Settings& s = *settings_;
  auto* list = new QComboBox;
  list->setObjectName(Text(f.name));
  for (std::string_view item : f.items) list->addItem(Text(item));
  const auto show = [list, &f, &s] { list->setCurrentIndex(static_cast<int>(ShownValue(f, s) - f.min)); };
  show();
  QObject::connect(list, &QComboBox::currentIndexChanged, list,
                   [&f, &s](int item) { (void)SetShownValue(f, s, f.min + item); });
  Keep(&f, [list, show] {
    const QSignalBlocker block(list);
    show();
  });
  return list;
}

NumberField* FieldBinder::Number(const FieldSpec& spec, double& value) {
  auto* field = new NumberField(spec, [&value] { return value; }, [&value](double v) { value = v; });
  Keep(nullptr, [field] { field->Load(); });
  return field;
}

NumberField* FieldBinder::Number(const FieldSpec& spec, int& value) {
  auto* field = new NumberField(
      spec, [&value] { return static_cast<double>(value); },
      [&value](double v) { value = static_cast<int>(std::trunc(v)); });
  Keep(nullptr, [field] { field->Load(); });
  return field;
}

QCheckBox* FieldBinder::Check(const char* caption, bool& value) {
  auto* box = new QCheckBox(QString::fromUtf8(caption));
  box->setChecked(value);
  QObject::connect(box, &QCheckBox::toggled, box, [&value](bool on) { value = on; });
  Keep(nullptr, [box, &value] {
    const QSignalBlocker block(box);
    box->setChecked(value);
  });
  return box;
}

void FieldBinder::LoadAll() {
  for (const Loader& l : loaders_) l.load();
}

QGroupBox* Group(const char* title, std::initializer_list<QWidget*> widgets) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  for (QWidget* w : widgets) layout->addWidget(w);
  return box;
}

}  // namespace velmora::app
