// Both programs under a German locale (the test's registration sets LC_ALL):
// the summary's date and time on Morvane's Summary page and on the console
// runner's output have the same regional separators. The locale must exist
// (scripts/setup makes it): without it nothing would be tested, so the test
// fails instead.
#include "GuiTestSupport.h"

#include "LinesPage.h"
#include "MemoOutput.h"
#include "UnitTestBase.h"

#include <QProcess>
#include <QRegularExpression>

#include <clocale>

using namespace Kalvoro;

namespace {

// The summary's date line with every digit written as 9.
QString MaskedDateLine(const QStringList& aLines) {
  for (QString Line : aLines)
    if (Line.startsWith(QStringLiteral("Report Date/Time:")))
      return Line.replace(QRegularExpression(QStringLiteral("\\d")), QStringLiteral("9"));
  return QStringLiteral("(no date line)");
}

} // namespace

class TLocaleTest : public QObject {
  Q_OBJECT

private slots:
  void SummaryDatesUseTheLocalesSeparatorsInBothPrograms() {
    QCOMPARE(qgetenv("LC_ALL"), QByteArray("de_DE.UTF-8"));
    locale_t Locale = newlocale(LC_TIME_MASK, "de_DE.UTF-8", locale_t(nullptr));
    QVERIFY2(Locale != locale_t(nullptr),
             "the locale de_DE.UTF-8 is missing (scripts/setup makes it)");
    freelocale(Locale);

    // Morvane: the Summary page of a scenario's run, made by the program's
    // own start-up (the test's main makes Morvane's application object).
    TTestScenario Scenario("Locale");
    TLinesPage Log;
    TLinesPage Errors;
    TLinesPage Summary;
    {
      TMemoOutput Output(&Scenario, &Log, &Errors, &Summary);
      Scenario.Run();
      Output.OutputSummary();
    }
    QStringList Page;
    for (const std::string& Line : Summary.Lines())
      Page << QString::fromStdString(Line);

    // The console runner on a module, its summary on standard output.
    QProcess Console;
    Console.start(QStringLiteral(KALVORO_EXECUTABLE),
                  {QStringLiteral("run"), TestModulePath(QStringLiteral("GuiAlpha.so"))});
    QVERIFY(Console.waitForFinished(60000));
    const QStringList Output = QString::fromUtf8(Console.readAllStandardOutput()).split('\n');

    const QString German = QStringLiteral("Report Date/Time:  99.99.9999 99:99:99");
    QCOMPARE(MaskedDateLine(Page), German);
    QCOMPARE(MaskedDateLine(Output), German);
  }
};

KALVORO_GUI_TEST_MAIN(TLocaleTest)
#include "LocaleTest.moc"
