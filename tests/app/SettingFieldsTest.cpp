// Every field of the settings table as the windows show it after start-up:
// made from its entry, with the entry's caption, format, limits and default.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTest>

#include "AppFixture.h"
#include "app/Fields.h"
#include "session/SettingFields.h"

using namespace velmora;
using namespace velmora::testing;

namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

class SettingFieldsTest : public QObject {
  Q_OBJECT

 private slots:
  // A field built by hand beside the table would drift from what the
  // command line sets and lists; one missing would be a setting nobody can change.
  void everyEntryIsOneWidgetShowingTheEntry() {
    StartedApp app;
    const Settings startup = StartupSettings();
    for (const SettingField& f : SettingFields()) {
      const QString name = Text(f.name);
      const QList<QWidget*> widgets = app.window->findChildren<QWidget*>(name);
      QVERIFY2(widgets.size() == 1, qPrintable(name));
      const double value = ShownValue(f, startup);
      QVERIFY2(ShownValue(f, app.window->settings()) == value, qPrintable(name));
      switch (f.kind) {
        case SettingKind::Number:
        case SettingKind::Integer: {
          auto* field = qobject_cast<app::NumberField*>(widgets[0]);
          QVERIFY2(field, qPrintable(name));
          QCOMPARE(field->label()->text(), Text(f.caption));
          QVERIFY2(field->spin()->decimals() == f.decimals, qPrintable(name));
          QVERIFY2(qFuzzyCompare(field->spin()->singleStep(), f.increment), qPrintable(name));
          QVERIFY2(field->spin()->minimum() == f.min && field->spin()->maximum() == f.max, qPrintable(name));
          QVERIFY2(qFuzzyCompare(1 + field->value(), 1 + value), qPrintable(name));
          break;
        }
        case SettingKind::Box: {
          auto* box = qobject_cast<QCheckBox*>(widgets[0]);
          QVERIFY2(box, qPrintable(name));
          QCOMPARE(box->text(), Text(f.caption));
          QVERIFY2(box->isChecked() == (value == 1), qPrintable(name));
          break;
        }
        case SettingKind::Item: {
          auto* list = qobject_cast<QComboBox*>(widgets[0]);
          QVERIFY2(list, qPrintable(name));
          QStringList items;
          for (std::string_view item : f.items) items << Text(item);
          QStringList shown;
          for (int k = 0; k < list->count(); ++k) shown << list->itemText(k);
          QCOMPARE(shown, items);
          QVERIFY2(list->currentIndex() == value - f.min, qPrintable(name));
          break;
        }
      }
    }
  }

  // The two "Calculate nu_Last on last ..." boxes exclude each other on
  // screen as in the settings.
  void tickingABoxUnticksItsPartnerOnScreen() {
    StartedApp app;
    auto* third = app.window->findChild<QCheckBox*>("nu_Last_on_last_1/3");
    auto* twoThirds = app.window->findChild<QCheckBox*>("nu_Last_on_last_2/3");
    QVERIFY(third && twoThirds);
    QVERIFY(twoThirds->isChecked());
    third->click();
    QVERIFY(!twoThirds->isChecked());
    QVERIFY(!app.window->settings().fi.nuLastLastTwoThirds);
    QVERIFY(app.window->settings().fi.nuLastLastThird);
    twoThirds->click();
    QVERIFY(!third->isChecked());
    QVERIFY(!app.window->settings().fi.nuLastLastThird);
  }
};

QTEST_MAIN(SettingFieldsTest)
#include "SettingFieldsTest.moc"
