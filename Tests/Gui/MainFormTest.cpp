// The main window's wiring: start-up, captions, view switching with menu
// merging, the project commands' widgets and hints, the views re-activated
// before a report or an error shows, the close question by "Exit" and the
// about box. The project lifecycle itself is tested in ProjectPresenterTest.
#include "GuiTestSupport.h"

#include "CaptionBar.h"
#include "FAbout.h"
#include "FMain.h"
#include "FModules.h"
#include "FResults.h"
#include "FScenarios.h"
#include "HyperlinkLabel.h"
#include "NavigationBar.h"
#include "Project.h"
#include "TreeView.h"

#include <algorithm>

#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <dlfcn.h>

#include <memory>

using namespace Kalvoro;

namespace {

const QString Prefix = QStringLiteral("Morvane v0.7.0 - ");

QStringList MenuBarTitles(QMainWindow& aWindow) {
  QStringList Titles;
  for (QAction* Action : aWindow.menuBar()->actions())
    Titles << Action->text();
  return Titles;
}

QStringList EntryTexts(const QMenu* aMenu) {
  QStringList Texts;
  for (QAction* Action : aMenu->actions())
    Texts << (Action->isSeparator() ? QStringLiteral("-") : Action->text());
  return Texts;
}

QAction* EntryOf(const QMenu* aMenu, const QString& aText) {
  for (QAction* Action : aMenu->actions())
    if (Action->text() == aText)
      return Action;
  return nullptr;
}

// The head of a project file: its counts and the report settings.
QStringList HeadLines(int aModules, int aScenarios) {
  return {"[Project]",
          "Signature=Kalvoro",
          "FileVersion=1.0",
          QStringLiteral("ModuleCount=%1").arg(aModules),
          QStringLiteral("ScenarioCount=%1").arg(aScenarios),
          "[FileInfo]",
          "SummaryEnabled=1",
          "SummaryFileName=Summary.txt",
          "LogEnabled=1",
          "LogFileName=Log.txt",
          "ErrorEnabled=1",
          "ErrorFileName=Error.txt"};
}

bool IsMapped(const QString& aLibrary) {
  void* Handle = dlopen(QFile::encodeName(aLibrary).constData(), RTLD_NOW | RTLD_NOLOAD);
  if (Handle == nullptr)
    return false;
  dlclose(Handle);
  return true;
}

} // namespace

class TMainFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TFakeDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;

  std::unique_ptr<TMainForm> MakeForm(const QStringList& aArguments = {}, bool aShow = true) {
    auto Form = std::make_unique<TMainForm>(*FDialogs, aArguments);
    if (aShow)
      Form->show();
    return Form;
  }
  QString PathOf(const QString& aName) const { return FFolder->filePath(aName); }

private slots:
  void init() {
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    TMorvaneApplication::Instance()->SetDialogs(FDialogs.get());
  }
  void cleanup() {
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
    FDialogs.reset();
    FFolder.reset();
  }

  void StartsWithANewProjectAndTheModulesView() {
    TMorvaneApplication::Instance()->SetTitle(QStringLiteral("Morvane"));
    auto Form = MakeForm({}, false);
    QCOMPARE(TMorvaneApplication::Instance()->Title(), QStringLiteral("Morvane v0.7.0"));
    QCOMPARE(Form->windowTitle(), Prefix + QStringLiteral("Untitled.kvr"));
    QVERIFY(Form->Project() != nullptr);
    QCOMPARE(Form->Project()->Scenarios().Count(), 1);
    QCOMPARE(Form->Project()->Scenarios()[0]->Name(), std::string("Default Scenario"));
    QVERIFY(Form->Project()->Modified());
    // Views are created hidden; showing the window activates the modules view.
    QCOMPARE(Form->ActiveFrame(), nullptr);
    QVERIFY(Form->ModulesFrame()->isHidden());
    Form->show();
    QCOMPARE(Form->ActiveFrame(), static_cast<IFrame*>(Form->ModulesFrame()));
    QCOMPARE(Form->ModulesFrame()->Project(), Form->Project());
    QCOMPARE(Form->size(), QSize(865, 637));
    const QPoint Offset = Form->frameGeometry().center() -
                          QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2(Offset.manhattanLength() <= 4, "the window opens centred");

    // Quitting at once asks; No keeps the window.
    FDialogs->ConfirmAnswers = {false, true};
    QVERIFY(!Form->close());
    QCOMPARE(FDialogs->Questions,
             QStringList{QStringLiteral("Project is not saved.\rQuit Anyway?")});
    QVERIFY(Form->isVisible());
    QVERIFY(Form->close());
    QVERIFY(!Form->isVisible());
  }

  void AMissingStartUpFileIsShownAndItsProjectKept() {
    const QString Missing = PathOf("missing.kvr");
    auto Form = MakeForm({Missing});
    QCOMPARE(FDialogs->Errors.size(), 1);
    QCOMPARE(FDialogs->Errors[0].Caption, QStringLiteral("Morvane v0.7.0"));
    QVERIFY(FDialogs->Errors[0].Text.endsWith(QLatin1Char('.')));
    QCOMPARE(Form->windowTitle(), Prefix + Missing);
    QCOMPARE(Form->Project()->Scenarios().Count(), 0);
    QVERIFY(Form->Project()->Modified());
    QCOMPARE(Form->ActiveFrame(), static_cast<IFrame*>(Form->ModulesFrame()));
  }

  void EachViewBringsExactlyItsMenuAndToolBar() {
    auto Form = MakeForm();
    QCOMPARE(MenuBarTitles(*Form), (QStringList{"Project", "&Modules", "View", "Tools", "Help"}));
    const auto HostedBars = [&] {
      return Form->ToolBarHost()->findChildren<QToolBar*>(Qt::FindDirectChildrenOnly);
    };
    QCOMPARE(HostedBars(), QList<QToolBar*>{Form->ModulesFrame()->GetToolBar()});
    QCOMPARE(Form->CaptionBar()->Text(), QStringLiteral("Modules"));
    QVERIFY(!Form->CaptionBar()->Picture().isNull());

    Form->Action("actScenarioView")->Execute();
    QCOMPARE(MenuBarTitles(*Form),
             (QStringList{"Project", "&Scenario's", "View", "Tools", "Help"}));
    QCOMPARE(HostedBars(), QList<QToolBar*>{Form->ScenariosFrame()->GetToolBar()});
    // The modules tool bar went home, on top of its view.
    QCOMPARE(Form->ModulesFrame()->GetToolBar()->parentWidget(), Form->ModulesFrame());
    QCOMPARE(Form->ModulesFrame()->layout()->indexOf(Form->ModulesFrame()->GetToolBar()), 0);
    QVERIFY(Form->ModulesFrame()->isHidden());
    QCOMPARE(Form->ModulesFrame()->Project(), nullptr);
    QCOMPARE(Form->CaptionBar()->Text(), QStringLiteral("Scenario's"));
    const QList<QToolButton*> NavigationButtons = Form->NavigationBar()->Buttons(0);
    QVERIFY(NavigationButtons.at(1)->property("navCurrent").toBool());
    QVERIFY(!NavigationButtons.at(0)->property("navCurrent").toBool());

    Form->Action("actResultView")->Execute();
    QCOMPARE(MenuBarTitles(*Form), (QStringList{"Project", "&Results", "View", "Tools", "Help"}));
    QCOMPARE(HostedBars(), QList<QToolBar*>{Form->ResultsFrame()->GetToolBar()});
    Form->Action("actModuleView")->Execute();
    QCOMPARE(MenuBarTitles(*Form), (QStringList{"Project", "&Modules", "View", "Tools", "Help"}));

    Form->SwitchFrame(nullptr);
    QCOMPARE(MenuBarTitles(*Form), (QStringList{"Project", "View", "Tools", "Help"}));
    QVERIFY(HostedBars().isEmpty());
    QCOMPARE(Form->CaptionBar()->Text(), QString());
    QVERIFY(Form->CaptionBar()->Picture().isNull());
  }

  void ChoosingTheActiveViewAgainChangesNothing() {
    auto Form = MakeForm();
    TModulesFrame* Modules = Form->ModulesFrame();
    FDialogs->OpenAnswers = {TestModulePath(QStringLiteral("GuiAlpha.so"))};
    Modules->Action("actAddModule")->Execute();
    TTreeView* Tree = Modules->Tree();
    TTreeNode* UnitTest = Tree->NodeAtFlatIndex(1);
    Tree->Expand(Tree->NodeAtFlatIndex(0));
    Tree->SetSelected(UnitTest, true);
    Form->Action("actModuleView")->Execute();
    // Not deactivated and activated again: rows, expansion and selection stay.
    QCOMPARE(Tree->NodeAtFlatIndex(1), UnitTest);
    QVERIFY(Tree->IsExpanded(Tree->NodeAtFlatIndex(0)));
    QVERIFY(Tree->IsSelected(UnitTest));
  }

  void MenusHoldTheirEntriesAndHints() {
    auto Form = MakeForm();
    QCOMPARE(EntryTexts(Form->ProjectMenu()),
             (QStringList{"New", "Open...", "Save", "Save As...", "Options...", "-", "Print...",
                          "-", "Exit"}));
    QCOMPARE(EntryTexts(Form->ViewMenu()), (QStringList{"Modules", "Scenario's", "Results"}));
    QCOMPARE(EntryTexts(Form->ToolsMenu()), QStringList{"Preferences..."});
    QCOMPARE(EntryTexts(Form->HelpMenu()), QStringList{"About"});

    const QList<QPair<QAction*, QString>> StatusTexts{
        {EntryOf(Form->ProjectMenu(), "New"), "Create a new project"},
        {EntryOf(Form->ProjectMenu(), "Save As..."), "Save the project to different file"},
        {EntryOf(Form->ProjectMenu(), "Options..."),
         "How the project's tests run: in a separate process, time limit"},
        {Form->mniExit, "Exit the Kalvoro"},
        {EntryOf(Form->ViewMenu(), "Scenario's"), "Switch to the Scenario's View"},
        {Form->mniAbout, "Show the aboutbox"}};
    for (const auto& Entry : StatusTexts) {
      QVERIFY(Entry.first != nullptr);
      QCOMPARE(Entry.first->statusTip(), Entry.second);
      Entry.first->showStatusText(Form->menuBar());
      QCOMPARE(Form->StatusText(), Entry.second);
    }
    QCOMPARE(EntryOf(Form->ViewMenu(), "Scenario's")->toolTip(), QStringLiteral("Scenario's View"));
    // "|Exit the Kalvoro": a status text and no tool-tip part.
    QCOMPARE(static_cast<TActionLink*>(EntryOf(Form->ProjectMenu(), "New"))->Hint(),
             QStringLiteral("New Project|Create a new project"));
    QVERIFY(EntryOf(Form->ProjectMenu(), "Open...")->statusTip().isEmpty());
    QVERIFY(EntryOf(Form->ProjectMenu(), "Print...")->statusTip().isEmpty());
    Form->mniExit->showStatusText(Form->menuBar());
    QCOMPARE(Form->StatusText(), QStringLiteral("Exit the Kalvoro"));

    // Tool buttons: tool-tip and status text while the mouse is over them.
    const QStringList ToolTips{"New Project", "Open Project", "Save project"};
    const QStringList Status{"Create a new project", "Open an existing project",
                             "Save the project to a file"};
    const QList<QAction*> Buttons = Form->MainToolBar()->actions();
    QCOMPARE(Buttons.size(), 3);
    for (int I = 0; I < 3; ++I) {
      auto* Button = qobject_cast<QToolButton*>(Form->MainToolBar()->widgetForAction(Buttons[I]));
      QCOMPARE(Button->toolTip(), ToolTips[I]);
      QCOMPARE(Button->iconSize(), QSize(24, 24));
      QEnterEvent Enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
      QCoreApplication::sendEvent(Button, &Enter);
      QCOMPARE(Form->StatusText(), Status[I]);
      QEvent Leave(QEvent::Leave);
      QCoreApplication::sendEvent(Button, &Leave);
      QCOMPARE(Form->StatusText(), QString());
    }
    // Navigation buttons carry no hint: no status text and no tool-tip.
    for (QToolButton* Button : Form->NavigationBar()->Buttons(0)) {
      QVERIFY(Button->statusTip().isEmpty());
      QCOMPARE(ShownToolTip(Button), QString());
    }
    QCOMPARE(Form->NavigationBar()->GroupCaption(0), QStringLiteral("View"));
    QCOMPARE(Form->NavigationBar()->Buttons(0).at(1)->text(), QStringLiteral("Scenario's"));
  }

  void NewAndSaveAsShowTheProjectInTheWindow() {
    auto Form = MakeForm();
    FDialogs->ConfirmAnswers = {true};
    Form->Project()->Scenarios().AddByName("Second");
    Form->Action("actNewProject")->Execute();
    // The same view is active again, now on the new project.
    QCOMPARE(Form->Project()->Scenarios().Count(), 1);
    QCOMPARE(Form->ActiveFrame(), static_cast<IFrame*>(Form->ModulesFrame()));
    QCOMPARE(Form->ModulesFrame()->Project(), Form->Project());
    QCOMPARE(Form->windowTitle(), Prefix + QStringLiteral("Untitled.kvr"));

    FDialogs->SaveAnswers = {PathOf("chosen.kvr")};
    Form->Action("actSaveProjectAs")->Execute();
    QCOMPARE(Form->windowTitle(), Prefix + PathOf("chosen.kvr"));
    RunIdle();
    QVERIFY(!Form->Action("actSaveProject")->isEnabled());
    Form->Project()->SetModified();
    RunIdle();
    QVERIFY(Form->Action("actSaveProject")->isEnabled());
  }

  void TheExitEntryAsksTheCloseQuestion() {
    auto Form = MakeForm();
    FDialogs->ConfirmAnswers = {false, true};
    Form->mniExit->trigger();
    QCOMPARE(FDialogs->Questions,
             QStringList{QStringLiteral("Project is not saved.\rQuit Anyway?")});
    QVERIFY(Form->isVisible());
    Form->mniExit->trigger();
    QVERIFY(!Form->isVisible());
  }

  void AFailedReadShowsItsReportAfterTheViewsShowTheNewProject() {
    const QString Demo = DemoModulePath();
    WriteTextFile(PathOf("report.kvr"),
                  HeadLines(1, 1) + QStringList{"[Scenarios]", "Name0=Default Scenario",
                                                "[Modules]", "File0=" + Demo, "Load0=1",
                                                "AssignmentCount0=1", "[" + Demo + "]",
                                                "Assign0=TMathTest|Nightly|ENABLED"});
    auto Form = MakeForm();
    bool ViewsShowedIt = false;
    FDialogs->OnEvent = [&](const QString&) {
      ViewsShowedIt = Form->ModulesFrame()->Project() == Form->Project() &&
                      Form->ModulesFrame()->Tree()->TotalCount() > 1;
    };
    Form->OpenProject(PathOf("report.kvr"));
    QCOMPARE(FDialogs->Messages.size(), 1);
    QVERIFY(ViewsShowedIt);
    QCOMPARE(FDialogs->Messages[0].Caption, QStringLiteral("Morvane v0.7.0"));
    QVERIFY(FDialogs->Messages[0].Text.startsWith(
        QStringLiteral("The following error occurred when loading module \"Demo.so\":\r")));
    QVERIFY(FDialogs->Messages[0].Text.contains(
        QStringLiteral("* TestScenario \"Nightly\" not found.\r")));
    QCOMPARE(Form->windowTitle(), Prefix + PathOf("report.kvr"));
  }

  void OpeningAMissingFileShowsTheErrorAfterReactivation() {
    auto Form = MakeForm();
    Form->Action("actScenarioView")->Execute();
    const QString Missing = PathOf("gone.kvr");
    bool Reactivated = false;
    FDialogs->OnEvent = [&](const QString& aEvent) {
      if (aEvent == QLatin1String("error"))
        Reactivated = Form->ActiveFrame() == static_cast<IFrame*>(Form->ScenariosFrame()) &&
                      Form->ScenariosFrame()->Project() == Form->Project();
    };
    FDialogs->OpenAnswers = {Missing};
    FDialogs->ConfirmAnswers = {true};
    Form->Action("actOpenProject")->Execute();
    QCOMPARE(FDialogs->Errors.size(), 1);
    QVERIFY(Reactivated);
    QCOMPARE(Form->Project()->FileName(), Missing.toStdString());
    QCOMPARE(Form->Project()->Scenarios().Count(), 0);
    QVERIFY(Form->Project()->Modified());
    QCOMPARE(Form->windowTitle(), Prefix + Missing);
  }

  void TheAboutBoxShowsTheProgramAndItsLinks() {
    auto Form = MakeForm();
    bool Inspected = false;
    FDialogs->OnExecute = [&](QDialog& aDialog) {
      auto* Box = qobject_cast<TAboutBox*>(&aDialog);
      if (Box == nullptr)
        return int(QDialog::Rejected);
      Inspected = true;
      [&] {
        QCOMPARE(Box->windowTitle(), QStringLiteral("About"));
        QCOMPARE(Box->parentWidget(), nullptr);
        QCOMPARE(Box->lblTitle->text(), QStringLiteral("Morvane"));
        QVERIFY(Box->lblTitle->font().bold());
        QVERIFY(Box->lblTitle->font().pointSizeF() > Box->lblVersion->font().pointSizeF());
        QCOMPARE(Box->lblVersion->text(), QStringLiteral("0.7.0"));
        QCOMPARE(Box->lblProduct->text(), QStringLiteral("Part of the Kalvoro"));
        QCOMPARE(Box->lblAuthor->text(), QStringLiteral("Kalvoro developers"));
        QCOMPARE(Box->lblMail->Url().scheme(), QStringLiteral("mailto"));
        QVERIFY(Box->lblSite->Url().host().endsWith(QLatin1String(".invalid")));
        QVERIFY(!Box->imgIcon->pixmap().isNull());
        QVERIFY(Box->btnClose->isDefault());
        QCOMPARE(Box->btnClose->text(), QStringLiteral("Close"));
        QVERIFY(Box->findChildren<QLabel*>().size() >= 8);
      }();
      // Escape (cancel) and Close both end the box.
      Box->show();
      QTest::keyClick(Box, Qt::Key_Escape);
      const bool ClosedByEscape = !Box->isVisible();
      Box->show();
      Box->btnClose->click();
      return ClosedByEscape && !Box->isVisible() ? int(QDialog::Accepted) : -1;
    };
    Form->mniAbout->trigger();
    QVERIFY(Inspected);
    QCOMPARE(FDialogs->Events, QStringList{"execute"});
  }

  void ClosingTheWindowEndsTheHostsThatHoldTheModules() {
    const QString Demo = DemoModulePath();
    WriteTextFile(PathOf("loaded.kvr"),
                  HeadLines(1, 1) + QStringList{"[Scenarios]", "Name0=Default Scenario",
                                                "[Modules]", "File0=" + Demo, "Load0=1",
                                                "AssignmentCount0=0"});
    auto Form = MakeForm({PathOf("loaded.kvr")});
    QCOMPARE(Form->Project()->Modules()[0]->State(), msLoadSuccess);
    // Listed by a host that keeps it; never mapped here.
    QVERIFY(!IsMapped(Demo));
    const qint64 Self = QCoreApplication::applicationPid();
    const QList<qint64> Hosts = ChildProcesses(Self);
    QVERIFY(std::any_of(Hosts.begin(), Hosts.end(),
                        [&](qint64 aHost) { return HasMapped(aHost, Demo); }));
    Form.reset();
    QVERIFY(ChildProcesses(Self).isEmpty());
  }
};

KALVORO_GUI_TEST_MAIN(TMainFormTest)
#include "MainFormTest.moc"
