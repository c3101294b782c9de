// Tools > Preferences... without widgets: what the dialog is opened with,
// which editor commands it takes, and what each answer leaves in the user's
// settings. The dialog is a scripted function, the settings a fake.
#include "PresenterTestSupport.h"

#include "Editor.h"
#include "PreferencesPresenter.h"

#include <QtTest>

#include <optional>
#include <vector>

using namespace Kalvoro;

namespace {

// The user's settings; nothing may start from the preferences.
class TFakeSettings : public IEditorLauncher {
public:
  QString Template() const override { return FTemplate; }
  void SetTemplate(const QString& aTemplate) override {
    FTemplate = aTemplate;
    ++Writes;
  }
  bool Start(const TEditorCommand&) override { return ++Starts, false; }
  bool OpenWithDesktop(const QString&) override { return ++Starts, false; }

  QString FTemplate;
  int Writes = 0;
  int Starts = 0;
};

// One answer of the dialog: nullopt is Cancel, a text is OK with that editor.
using TAnswer = std::optional<QString>;

} // namespace

class TPreferencesPresenterTest : public QObject {
  Q_OBJECT

private slots:
  void TheDialogsAnswersReachTheUsersSettings() {
    const QString Code = QStringLiteral("code -g {file}:{line}");
    const QString Kate = QStringLiteral("kate --line {line} {file}");
    const struct {
      const char* Name;
      QString Before;
      std::vector<TAnswer> Answers;
      // The editor that each opening of the dialog showed.
      QStringList Shown;
      QString After;
      bool Changed;
      int Errors;
    } Cases[] = {
        {"cancel", Code, {std::nullopt}, {Code}, Code, false, 0},
        {"OK unchanged", Code, {Code}, {Code}, Code, false, 0},
        {"an offered one", "", {Kate}, {""}, Kate, true, 0},
        {"typed, trimmed",
         "",
         {"  my-edit +{line} {file} "},
         {""},
         "my-edit +{line} {file}",
         true,
         0},
        {"trimmed to the same", Code, {' ' + Code + ' '}, {Code}, Code, false, 0},
        {"quoted file", "", {"my-edit \"{file}\""}, {""}, "my-edit \"{file}\"", true, 0},
        {"emptied: the desktop's program", Code, {"  "}, {Code}, "", true, 0},
        {"no file, refused, then corrected",
         Code,
         {"code -g", Kate},
         {Code, "code -g"},
         Kate,
         true,
         1},
        {"the file as the program, refused, then cancelled",
         Code,
         {"{file} +{line}", std::nullopt},
         {Code, "{file} +{line}"},
         Code,
         false,
         1},
    };
    for (const auto& Case : Cases) {
      TFakeDialogs Dialogs;
      TFakeSettings Settings;
      Settings.FTemplate = Case.Before;
      QStringList Shown;
      std::size_t Next = 0;
      const bool Changed = EditPreferences(Settings, Dialogs, [&](TPreferencesFields& aFields) {
        Shown << aFields.Editor;
        // Every opening offers the usual editors.
        if (aFields.EditorChoices != EditorTemplates())
          Shown << QStringLiteral("<not the usual editors>");
        const TAnswer Answer = Case.Answers.at(Next++);
        if (Answer)
          aFields.Editor = *Answer;
        return Answer.has_value();
      });
      QVERIFY2(Shown == Case.Shown, qPrintable(Case.Name + (": " + Shown.join('|'))));
      QVERIFY2(Settings.Template() == Case.After, Case.Name);
      QVERIFY2(Changed == Case.Changed && Settings.Writes == int(Case.Changed), Case.Name);
      QVERIFY2(Dialogs.Errors.size() == Case.Errors, Case.Name);
      QVERIFY2(Settings.Starts == 0, Case.Name);
    }
    // The usual editors: each takes the file, and each is offered once.
    QStringList Offered = EditorTemplates();
    QCOMPARE(Offered.size(), 5);
    QCOMPARE(Offered.removeDuplicates(), 0);
    for (const QString& Template : Offered)
      QVERIFY2(EditorTemplateProblem(Template).isEmpty(), qPrintable(Template));
  }
};

QTEST_GUILESS_MAIN(TPreferencesPresenterTest)
#include "PreferencesPresenterTest.moc"
