// The manager end to end on the demo project: the program starts on it and
// has its module listed by a run host, and the main window, driven by keys, menus and tool buttons
// as a user would, unloads and loads the demo module and saves the project.
#include "GuiTestSupport.h"

#include "FMain.h"
#include "FModules.h"
#include "Project.h"
#include "TreeView.h"

#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

using namespace Kalvoro;

namespace {

QAction* EntryOf(const QMenu* aMenu, const QString& aCaption) {
  for (QAction* Action : aMenu->actions())
    if (Action->text().section('\t', 0, 0) == aCaption)
      return Action;
  return nullptr;
}

} // namespace

class TEndToEndTest : public QObject {
  Q_OBJECT

private slots:
  void TheProgramStartsOnTheDemoProject() {
    QTemporaryDir Folder;
    const QString Project = Folder.filePath(QStringLiteral("Demo.kvr"));
    const QStringList Lines = DemoProjectLines();
    QVERIFY(Lines.contains(QStringLiteral("File0=" KALVORO_EXAMPLES_DIR "/Demo.so")));
    WriteTextFile(Project, Lines);
    QProcess Morvane;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    Morvane.setProcessEnvironment(Environment);
    Morvane.start(QStringLiteral(MORVANE_EXECUTABLE), {Project});
    QVERIFY(Morvane.waitForStarted(5000));
    // A run host lists the module that the project marks loaded, and keeps
    // it for the runs; the program itself maps none of its code, and waits
    // for the user.
    bool Loaded = false;
    for (int Round = 0; Round < 100 && !Loaded && Morvane.state() == QProcess::Running; ++Round) {
      for (const qint64 Host : ChildProcesses(Morvane.processId()))
        Loaded = Loaded || HasMapped(Host, DemoModulePath());
      if (!Loaded)
        QTest::qWait(50);
    }
    QVERIFY2(Loaded, "the demo module is listed by a host");
    QVERIFY(!HasMapped(Morvane.processId(), DemoModulePath()));
    QVERIFY(!Morvane.waitForFinished(500));
    QCOMPARE(Morvane.state(), QProcess::Running);
    Morvane.kill();
    Morvane.waitForFinished(5000);
    const QString Errors = QString::fromLocal8Bit(Morvane.readAllStandardError());
    QVERIFY2(!Errors.contains(QLatin1String("rror")), qPrintable(Errors));
  }

  void UnloadLoadAndSaveThroughTheWindow() {
    TFakeDialogs Dialogs;
    TMorvaneApplication::Instance()->SetDialogs(&Dialogs);
    QTemporaryDir Folder;
    const QString ProjectPath = Folder.filePath(QStringLiteral("Demo.kvr"));
    const QStringList Original = DemoProjectLines();
    WriteTextFile(ProjectPath, Original);

    {
      TMainForm Form(Dialogs, {ProjectPath});
      Form.show();
      Form.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&Form));
      TModulesFrame* Modules = Form.ModulesFrame();
      TTreeView* Tree = Modules->Tree();
      TModule* Demo = Form.Project()->Modules()[0];
      QCOMPARE(Form.windowTitle(), QStringLiteral("Morvane v0.7.0 - ") + ProjectPath);
      // Demo.so loaded, Vacuel.bpl not.
      QCOMPARE(Tree->TopLevelCount(), 2);
      QCOMPARE(Tree->TopLevelNode(1)->Text(2), QStringLiteral("NOT LOADED"));
      QCOMPARE(Tree->TopLevelNode(0)->Text(2), QStringLiteral("LOAD SUCCESS"));
      QCOMPARE(Tree->TopLevelNode(0)->ChildCount(), 6);
      QVERIFY(Tree->IsSelected(Tree->TopLevelNode(0)));
      Tree->setFocus();

      // Unload and load by shortcut.
      RunIdle();
      QTest::keyClick(Tree, Qt::Key_U, Qt::ControlModifier);
      QCOMPARE(Demo->State(), msNotLoaded);
      QCOMPARE(Tree->TopLevelNode(0)->Text(2), QStringLiteral("NOT LOADED"));
      QCOMPARE(Form.Project()->Scenarios()[1]->GetUnitTestCount(), 0);
      RunIdle();
      QTest::keyClick(Tree, Qt::Key_L, Qt::ControlModifier);
      QCOMPARE(Demo->State(), msLoadSuccess);
      QCOMPARE(Form.Project()->Scenarios()[1]->GetUnitTestCount(), 2);

      // Unload from the context menu, load from the "&Modules" menu of the menu bar.
      RunIdle();
      EntryOf(Modules->PopupMenu(), QStringLiteral("Unload"))->trigger();
      QCOMPARE(Demo->State(), msNotLoaded);
      QMenu* ModulesMenu = nullptr;
      for (QAction* Top : Form.menuBar()->actions())
        if (Top->text() == QLatin1String("&Modules"))
          ModulesMenu = Top->menu();
      QVERIFY(ModulesMenu != nullptr);
      RunIdle();
      EntryOf(ModulesMenu, QStringLiteral("Load"))->trigger();
      QCOMPARE(Demo->State(), msLoadSuccess);
      QVERIFY(Dialogs.Messages.isEmpty());
      QVERIFY(Dialogs.Errors.isEmpty());

      // Save with the tool button.
      QVERIFY(Form.Project()->Modified());
      RunIdle();
      QAction* SaveLink = Form.MainToolBar()->actions().at(2);
      QTest::mouseClick(Form.MainToolBar()->widgetForAction(SaveLink), Qt::LeftButton);
      QVERIFY(!Form.Project()->Modified());
      QVERIFY(Form.close());
      QVERIFY(Dialogs.Questions.isEmpty());
    }
    TMorvaneApplication::Instance()->SetDialogs(nullptr);

    // The saved file holds what was read: the module loaded, every membership
    // restored in unit-test order.
    const QStringList Saved = ReadTextLines(ProjectPath);
    QCOMPARE(Saved, Original);
  }
};

KALVORO_GUI_TEST_MAIN(TEndToEndTest)
#include "EndToEndTest.moc"
