// Actions and the central error handler: rules evaluated on idle and before
// running, links that follow their action, hints, and errors that reach the
// error box with the application title and the full-stop rule.
#include "GuiTestSupport.h"

#include "Actions.h"
#include "Exception.h"

#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include <stdexcept>

using namespace Kalvoro;

class TActionsTest : public QObject {
  Q_OBJECT

  TFakeDialogs* FDialogs = nullptr;

private slots:
  void init() {
    FDialogs = new TFakeDialogs;
    TMorvaneApplication::Instance()->SetDialogs(FDialogs);
    TMorvaneApplication::Instance()->SetTitle(QStringLiteral("Morvane v0.7.0"));
  }
  void cleanup() {
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
    delete FDialogs;
  }

  void HintsSplitAtTheFirstBar() {
    QCOMPARE(ShortHint(QStringLiteral("Save project|Save the project to a file")),
             QStringLiteral("Save project"));
    QCOMPARE(LongHint(QStringLiteral("Save project|Save the project to a file")),
             QStringLiteral("Save the project to a file"));
    QCOMPARE(ShortHint(QStringLiteral("|Exit the Kalvoro")), QString());
    QCOMPARE(LongHint(QStringLiteral("|Exit the Kalvoro")), QStringLiteral("Exit the Kalvoro"));
    QCOMPARE(LongHint(QStringLiteral("a|b|c")), QStringLiteral("b|c"));
    QCOMPARE(ShortHint(QStringLiteral("plain")), QStringLiteral("plain"));
    QCOMPARE(LongHint(QStringLiteral("plain")), QStringLiteral("plain"));
  }

  void ADisabledActionDoesNothingHoweverInvoked() {
    bool Allowed = true;
    int Runs = 0;
    TAction Action(QStringLiteral("Load"), nullptr);
    Action.SetUpdate([&] { return Allowed; });
    Action.SetExecute([&] { ++Runs; });
    Action.Update();
    QVERIFY(Action.isEnabled());
    // The rule changes after the last idle pass: running checks it again.
    Allowed = false;
    QVERIFY(!Action.Execute());
    QCOMPARE(Runs, 0);
    QVERIFY(!Action.isEnabled());
    Action.trigger();
    QCOMPARE(Runs, 0);
    Allowed = true;
    QVERIFY(Action.Execute());
    QCOMPARE(Runs, 1);
    // No rule: always enabled.
    TAction Free(QStringLiteral("Print..."), nullptr);
    Free.Update();
    QVERIFY(Free.isEnabled());
    QVERIFY(Free.Execute());
  }

  void RulesAreEvaluatedWhenTheApplicationGoesIdle() {
    bool Allowed = false;
    TAction Action(QStringLiteral("Save"), nullptr);
    Action.SetUpdate([&] { return Allowed; });
    TActionLink Link(&Action, TActionLink::lkMenuItem, {}, nullptr);
    RunIdle();
    QVERIFY(!Action.isEnabled());
    QVERIFY(!Link.isEnabled());
    Allowed = true;
    // processEvents never waits, so it is no idle pass.
    QCoreApplication::processEvents();
    QVERIFY(!Action.isEnabled());
    RunIdle();
    QVERIFY(Action.isEnabled());
    QVERIFY(Link.isEnabled());
  }

  void LinksShowTheActionWithTheirOwnHint() {
    TAction Action(QStringLiteral("Load"), nullptr);
    Action.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    int Runs = 0;
    Action.SetExecute([&] { ++Runs; });
    TActionLink MenuItem(&Action, TActionLink::lkMenuItem, {}, nullptr);
    TActionLink Button(&Action, TActionLink::lkButton,
                       QStringLiteral("Load Module|Load the selected module"), nullptr);
    QCOMPARE(MenuItem.text(),
             QStringLiteral("Load\t") +
                 QKeySequence(Qt::CTRL | Qt::Key_L).toString(QKeySequence::NativeText));
    QVERIFY(MenuItem.shortcut().isEmpty());
    QCOMPARE(MenuItem.statusTip(), QString());
    QCOMPARE(Button.text(), QStringLiteral("Load"));
    QCOMPARE(Button.toolTip(), QStringLiteral("Load Module"));
    QCOMPARE(Button.statusTip(), QStringLiteral("Load the selected module"));

    QToolBar Bar;
    Bar.addAction(&Button);
    auto* ToolButton = qobject_cast<QToolButton*>(Bar.widgetForAction(&Button));
    QVERIFY(ToolButton != nullptr);
    QCOMPARE(ToolButton->toolTip(), QStringLiteral("Load Module"));
    Action.setEnabled(false);
    QVERIFY(!ToolButton->isEnabled());
    // A disabled action's rule decides: with no rule it is enabled again and runs.
    Button.setEnabled(true);
    Button.trigger();
    QCOMPARE(Runs, 1);
    QVERIFY(ToolButton->isEnabled());
  }

  void AnErrorOfACommandIsShownInTheErrorBox() {
    TAction Action(QStringLiteral("Open..."), nullptr);
    bool Finished = false;
    Action.SetExecute([&] {
      throw Exception(
          "Cannot add this test scenario.\rA TestScenario with this name already exists");
      Finished = true;
    });
    QVERIFY(Action.Execute());
    QVERIFY(!Finished);
    QCOMPARE(FDialogs->Errors.size(), 1);
    QCOMPARE(FDialogs->Errors[0].Caption, QStringLiteral("Morvane v0.7.0"));
    QCOMPARE(FDialogs->Errors[0].Text,
             QStringLiteral(
                 "Cannot add this test scenario.\rA TestScenario with this name already exists."));
  }

  void FullStopFollowsTheRuleOfTheLastCharacter() {
    const QList<QPair<const char*, QString>> Cases{
        {"File not found", QStringLiteral("File not found.")},
        {"Ends with a stop.", QStringLiteral("Ends with a stop.")},
        {"Failed!", QStringLiteral("Failed!")},
        {"Value (3)", QStringLiteral("Value (3)")},
        {"", QString()}};
    for (const auto& Case : Cases) {
      FDialogs->Errors.clear();
      const char* Text = Case.first;
      RunAsEvent([Text] { throw std::runtime_error(Text); });
      QCOMPARE(FDialogs->Errors.size(), 1);
      QCOMPARE(FDialogs->Errors[0].Text, Case.second);
    }
  }

  void AnErrorInANestedActionEndsTheOuterCommand() {
    TAction Inner(QStringLiteral("Save"), nullptr);
    Inner.SetExecute([] { throw Exception("Unable to write"); });
    TAction Outer(QStringLiteral("Open..."), nullptr);
    QStringList Steps;
    Outer.SetExecute([&] {
      Steps << QStringLiteral("before");
      Inner.Execute();
      Steps << QStringLiteral("after");
    });
    Outer.Execute();
    QCOMPARE(Steps, QStringList{QStringLiteral("before")});
    QCOMPARE(FDialogs->Errors.size(), 1);
    QCOMPARE(FDialogs->Errors[0].Text, QStringLiteral("Unable to write."));
    // The depth is reset: the next command is a top-level one again.
    Inner.Execute();
    QCOMPARE(FDialogs->Errors.size(), 2);
  }

  void ErrorsOfEventHandlersReachTheCentralHandler() {
    bool After = false;
    RunAsEvent([&] {
      throw Exception("Assertion failure (Sources/Framework/Project.cpp, line 120)");
      After = true;
    });
    QVERIFY(!After);
    QCOMPARE(FDialogs->Errors.size(), 1);
    QCOMPARE(FDialogs->Errors[0].Text,
             QStringLiteral("Assertion failure (Sources/Framework/Project.cpp, line 120)"));
    // The program goes on: later events are delivered.
    int Later = 0;
    RunAsEvent([&] { ++Later; });
    QCOMPARE(Later, 1);
  }
};

KALVORO_GUI_TEST_MAIN(TActionsTest)
#include "ActionsTest.moc"
