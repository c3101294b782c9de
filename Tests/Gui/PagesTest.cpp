// The pages of run output and the sink that fills them: batched rows under a
// model checker, finding lines, and the sink's lines on their pages.
#include "LinesPage.h"
#include "MemoOutput.h"
#include "ReportingTestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using namespace Kalvoro;

class TPagesTest : public QObject {
  Q_OBJECT

private slots:
  // Rows reach the views in batches, Lines() holds every line at once, and
  // the model stays consistent through appends, flushes and clearing.
  void PageBatchesRowsAndStaysAConsistentModel() {
    TLinesPage Page;
    QAbstractItemModelTester Tester(&Page, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy Inserted(&Page, &QAbstractItemModel::rowsInserted);

    Page.Append("first");
    Page.Append("zwei \xC3\xBC\xC3\x9F");
    Page.Append("");
    QCOMPARE(Page.Count(), 3);
    QCOMPARE(Page.rowCount(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(Page.rowCount(), 3);
    QCOMPARE(Inserted.count(), 1);
    QCOMPARE(Page.data(Page.index(1)).toString(), QString::fromUtf8("zwei \xC3\xBC\xC3\x9F"));
    QCOMPARE(Page.data(Page.index(2)).toString(), QString());
    QCOMPARE(Page.Lines()[1], std::string("zwei \xC3\xBC\xC3\x9F"));

    Page.Append("fourth");
    Page.Flush();
    QCOMPARE(Page.rowCount(), 4);
    QCOMPARE(Inserted.count(), 2);
    QCoreApplication::processEvents(); // the batch already shown: no empty insert
    QCOMPARE(Inserted.count(), 2);

    // A long run shows its lines every FlushThreshold lines without an event loop.
    for (int Line = 0; Line < TLinesPage::FlushThreshold; ++Line)
      Page.Append("x");
    QCOMPARE(Page.rowCount(), TLinesPage::FlushThreshold + 4);
    Page.Append("pending");
    QCOMPARE(Page.rowCount(), TLinesPage::FlushThreshold + 4);
    QCOMPARE(Page.Count(), TLinesPage::FlushThreshold + 5);
    QCOMPARE(Page.WidestLine(), 9); // "zwei üß" in bytes

    Page.Clear();
    QCOMPARE(Page.Count(), 0);
    QCOMPARE(Page.rowCount(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(Page.rowCount(), 0);
    Page.Append("again");
    Page.Flush();
    QCOMPARE(Page.data(Page.index(0)).toString(), QStringLiteral("again"));
  }

  void FindLineIgnoresAsciiCaseAndWrapsAround() {
    TLinesPage Page;
    for (const char* Line :
         {"BEGIN Nightly", "  FAILURE third is 0.33", "", "ab", "  EXCEPTION TMath.TestModulo",
          "\xC3\x9C"
          "ber failure"})
      Page.Append(Line);
    QCOMPARE(Page.FindLine(QStringLiteral("failure"), 0), 1);
    QCOMPARE(Page.FindLine(QStringLiteral("FAILURE"), 2), 5);
    QCOMPARE(Page.FindLine(QStringLiteral("nightly"), 1), 0);    // from the top again
    QCOMPARE(Page.FindLine(QStringLiteral("testmodulo"), 0), 4); // at the line's end
    QCOMPARE(Page.FindLine(QStringLiteral("abc"), 0), -1);       // longer than the line
    QCOMPARE(Page.FindLine(QString::fromUtf8("\xC3\x9C"
                                             "ber"),
                           0),
             5);
    QCOMPARE(Page.FindLine(QString::fromUtf8("\xC3\xBC"
                                             "ber"),
                           0),
             -1); // only ASCII letters are folded
    QCOMPARE(Page.FindLine(QString(), 0), -1);
    QCOMPARE(Page.FindLine(QStringLiteral("b"), 99), 0); // a start past the end is the top
    QCOMPARE(TLinesPage().FindLine(QStringLiteral("a"), 0), -1);
  }

  // A line past MaxShownBytes is shown cut on a character's start with the
  // bytes left out, and the rows are only as wide as that; Lines() keeps
  // the line whole for the files. Each row: the line's length in bytes, the
  // character at the cut, the shown text's length and its note.
  void LongLinesAreShownCutWithWhatIsLeftOut_data() {
    constexpr qsizetype Max = qsizetype(TLinesPage::MaxShownBytes);
    QTest::addColumn<qsizetype>("Length");
    QTest::addColumn<QByteArray>("AtCut");
    QTest::addColumn<qsizetype>("Kept");
    QTest::addColumn<QString>("Note");
    QTest::newRow("as long as allowed") << Max << QByteArray("x") << Max << QString();
    QTest::newRow("one byte more")
        << Max + 1 << QByteArray("x") << Max << QStringLiteral(" ... (1 more bytes not shown)");
    QTest::newRow("a character across the cut") << Max + 2 << QByteArray("\xC3\xBC") << Max - 1
                                                << QStringLiteral(" ... (3 more bytes not shown)");
    QTest::newRow("100 MB") << qsizetype(100) * 1024 * 1024 << QByteArray("x") << Max
                            << QStringLiteral(" ... (104841216 more bytes not shown)");
  }
  void LongLinesAreShownCutWithWhatIsLeftOut() {
    QFETCH(qsizetype, Length);
    QFETCH(QByteArray, AtCut);
    QFETCH(qsizetype, Kept);
    QFETCH(QString, Note);
    // 'x' up to the cut, then the character at the cut, then 'y'.
    std::string Line(std::size_t(Length), 'y');
    Line.replace(0, TLinesPage::MaxShownBytes - 1, TLinesPage::MaxShownBytes - 1, 'x');
    Line.replace(TLinesPage::MaxShownBytes - 1, std::size_t(AtCut.size()), AtCut.toStdString());
    TLinesPage Page;
    Page.Append(Line);
    Page.Flush();
    const QString Shown = Page.data(Page.index(0)).toString();
    QCOMPARE(Shown.size(), Kept + Note.size());
    QCOMPARE(Shown.right(Note.size()), Note);
    QCOMPARE(Shown.left(Kept).toUtf8(), QByteArray::fromStdString(Line.substr(0, Kept)));
    QVERIFY(Page.WidestLine() <= int(TLinesPage::MaxShownBytes) + 64);
    QCOMPARE(Page.Lines()[0].size(), std::size_t(Length));
  }

  // Each kind of line goes to its own page in order; a missing page loses
  // only its own lines; the summary's empty lines stay.
  void MemoOutputWritesEachKindToItsPage() {
    using namespace ReportingTest;
    TSampleScenario Sample;
    TLinesPage Log, Errors, Summary;
    {
      TMemoOutput Output(&Sample.Scenario, &Log, &Errors, &Summary, Slashes,
                         SequenceClock({Begin, End}));
      Sample.Scenario.Run();
      Output.OutputSummary();
    }
    QCOMPARE(Log.Count(), 15);
    QCOMPARE(Log.Lines().front(), std::string("BEGIN Nightly (07-12-2026 03:45:22)"));
    QCOMPARE(Log.Lines()[7], std::string("      FAILURE third is 0.33"));
    const std::vector<std::string> ExpectedErrors = {
        "FAILURE (TMathTest.TestDivide) third is 0.33",
        "EXCEPTION (TMathTest.TestDivide) Index out of range",
        "EXCEPTION (TMathTest.TestModulo) Modulo by zero",
    };
    QVERIFY(Errors.Lines() == ExpectedErrors);
    QCOMPARE(Summary.Count(), 18);
    QCOMPARE(Summary.Lines()[0], std::string());
    QCOMPARE(Summary.Lines()[5], std::string());
    QCOMPARE(Summary.Lines()[9], std::string("SKIPPED   TFileTest.TestOpen"));

    TLinesPage OnlyLog, OnlySummary;
    {
      TMemoOutput Output(&Sample.Scenario, &OnlyLog, nullptr, &OnlySummary);
      Sample.Scenario.Run();
      Output.OutputSummary();
    }
    QCOMPARE(OnlyLog.Count(), 15);
    QCOMPARE(OnlySummary.Count(), 18);
  }

  // Without a scenario nothing is registered or written; a freed sink no
  // longer listens, and the pages keep what it wrote.
  void MemoOutputListensForExactlyItsLife() {
    ReportingTest::TSampleScenario Sample;
    TLinesPage Log, Errors, Summary;
    {
      TMemoOutput Unbound(nullptr, &Log, &Errors, &Summary);
      Sample.Scenario.Run();
      Unbound.OutputSummary();
      Unbound.HandleMessage(nullptr, TCheckMessage("broke", "S", "T", "M"));
    }
    QCOMPARE(Log.Count() + Errors.Count() + Summary.Count(), 0);
    {
      TMemoOutput Output(&Sample.Scenario, &Log, &Errors, &Summary);
      QCOMPARE(Sample.Scenario.StateNotifications().Count(), 1);
      Output.HandleMessage(nullptr, static_cast<const TCustomMessage*>(nullptr));
      Sample.Scenario.FireStateNotification(std::make_unique<TReportMessage>("kept"));
      // A line break inside a text cannot forge a line.
      Sample.Scenario.FireStateNotification(
          std::make_unique<TReportMessage>("a\nFAILURE (TFake.Test) injected\r"));
    }
    QCOMPARE(Sample.Scenario.StateNotifications().Count(), 0);
    Sample.Scenario.FireStateNotification(std::make_unique<TReportMessage>("late"));
    QVERIFY(Log.Lines() == (std::vector<std::string>{
                               "REPORT kept", "REPORT a\\nFAILURE (TFake.Test) injected\\r"}));
  }
};

QTEST_GUILESS_MAIN(TPagesTest)
#include "PagesTest.moc"
