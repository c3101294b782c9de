// Project > Options... without widgets: what the dialog is opened with, what
// each answer does to the project's options and its Modified flag, and the
// time limit as typed. The dialog is a scripted function.
#include "PresenterTestSupport.h"

#include "Project.h"
#include "ProjectPresenter.h"

#include <QtTest>

#include <optional>

using namespace Kalvoro;

namespace {

class TQuietView : public IProjectView {
public:
  void DeactivateView() override {}
  void ReactivateView() override {}
  void CaptionChanged() override {}
};

// One answer of the dialog: nullopt is Cancel, a value is OK with those fields.
using TAnswer = std::optional<TOptionsFields>;

} // namespace

class TProjectOptionsPresenterTest : public QObject {
  Q_OBJECT

private slots:
  void TheTimeLimitAsTyped() {
    const struct {
      const char* Text;
      std::optional<int> Seconds;
    } Cases[] = {{"", 0},      {"  ", 0},          {"0", 0},       {"5", 5},
                 {" 30 ", 30}, {"604800", 604800}, {"604801", {}}, {"-1", {}},
                 {"1.5", {}},  {"ten", {}},        {"+3", {}},     {"99999999999999999999", {}}};
    for (const auto& Case : Cases)
      QVERIFY2(ParseTimeLimit(QLatin1String(Case.Text)) == Case.Seconds, Case.Text);
  }

  void TheDialogsAnswersReachTheProject() {
    const TOptionsFields Defaults{true, QString()};
    const struct {
      const char* Name;
      TProjectOptions Before;
      std::vector<TAnswer> Answers;
      // What each opening of the dialog showed.
      std::vector<TOptionsFields> Shown;
      TProjectOptions After;
      bool Modified;
      int Errors;
    } Cases[] = {
        {"cancel", {}, {std::nullopt}, {Defaults}, {}, false, 0},
        {"OK unchanged", {}, {Defaults}, {Defaults}, {}, false, 0},
        {"in process", {}, {TOptionsFields{false, {}}}, {Defaults}, {false, 0}, true, 0},
        {"a time limit", {}, {TOptionsFields{true, "20"}}, {Defaults}, {true, 20}, true, 0},
        {"shown as set",
         {false, 7},
         {TOptionsFields{true, ""}},
         {TOptionsFields{false, "7"}},
         {true, 0},
         true,
         0},
        {"refused, then corrected",
         {},
         {TOptionsFields{false, "1.5"}, TOptionsFields{false, "2"}},
         {Defaults, TOptionsFields{false, "1.5"}},
         {false, 2},
         true,
         1},
        {"tests run at once", {}, {TOptionsFields{true, {}, 3}}, {Defaults}, {true, 0, 3}, true, 0},
        {"tests at once shown, the serial ones kept",
         {true, 0, 2, "TDb.*"},
         {TOptionsFields{true, {}, 1}},
         {TOptionsFields{true, {}, 2}},
         {true, 0, 1, "TDb.*"},
         true,
         0},
        {"refused, then cancelled",
         {},
         {TOptionsFields{true, "x"}, std::nullopt},
         {Defaults, TOptionsFields{true, "x"}},
         {},
         false,
         1},
    };
    for (const auto& Case : Cases) {
      TFakeDialogs Dialogs;
      TQuietView View;
      TProjectPresenter Presenter(Dialogs, View);
      Presenter.Start({});
      TProject& Project = *Presenter.Project();
      Project.SetOptions(Case.Before);
      QTemporaryDir Folder;
      Project.SetFileName(Folder.filePath(QStringLiteral("p.kvr")).toStdString());
      Project.SaveProject();
      QVERIFY(!Project.Modified());

      const TCommand& Options =
          FindCommand(Presenter.Commands(), QStringLiteral("actProjectOptions"));
      QVERIFY2(!Options.Enabled(), "no dialog, no command");
      std::vector<TOptionsFields> Shown;
      std::size_t Next = 0;
      Presenter.SetOptionsDialog([&](TOptionsFields& aFields) {
        Shown.push_back(aFields);
        const TAnswer Answer = Case.Answers.at(Next++);
        if (Answer)
          aFields = *Answer;
        return Answer.has_value();
      });
      QVERIFY(Options.Run());
      QVERIFY2(Shown == Case.Shown, Case.Name);
      QVERIFY2(Project.Options() == Case.After, Case.Name);
      QVERIFY2(Project.Modified() == Case.Modified, Case.Name);
      QVERIFY2(Dialogs.Errors.size() == Case.Errors, Case.Name);
    }
  }
};

QTEST_GUILESS_MAIN(TProjectOptionsPresenterTest)
#include "ProjectOptionsPresenterTest.moc"
