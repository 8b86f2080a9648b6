#include "app/Fields.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

namespace velmora::app {

NumberField::NumberField(const FieldSpec& spec, std::function<double()> get, std::function<void(double)> set,
                         QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(QString::fromUtf8(spec.caption), this)),
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

NumberField* FieldBinder::Number(const FieldSpec& spec, double& value, double scale) {
  auto* field = new NumberField(
      spec, [&value, scale] { return value * scale; }, [&value, scale](double v) { value = v / scale; });
  loaders_.push_back([field] { field->Load(); });
  return field;
}

NumberField* FieldBinder::Number(const FieldSpec& spec, int& value) {
  auto* field = new NumberField(
      spec, [&value] { return static_cast<double>(value); },
      [&value](double v) { value = static_cast<int>(std::trunc(v)); });
  loaders_.push_back([field] { field->Load(); });
  return field;
}

QCheckBox* FieldBinder::Check(const char* caption, bool& value) {
  auto* box = new QCheckBox(QString::fromUtf8(caption));
  box->setChecked(value);
  QObject::connect(box, &QCheckBox::toggled, box, [&value](bool on) { value = on; });
  loaders_.push_back([box, &value] {
    const QSignalBlocker block(box);
    box->setChecked(value);
  });
  return box;
}

void FieldBinder::LoadAll() {
  for (const auto& load : loaders_) load();
}

QGroupBox* Group(const char* title, std::initializer_list<QWidget*> widgets) {
  auto* box = new QGroupBox(title);
  auto* layout = new QVBoxLayout(box);
  for (QWidget* w : widgets) layout->addWidget(w);
  return box;
}

}  // namespace velmora::app
