// The main window's Save and Save As without widgets: their dialogs, failures
// and the question before saving over a file that changed elsewhere.
#include "ProjectPresenterFixture.h"

class TProjectSavePresenterTest : public QObject, protected TProjectPresenterFixture {
  Q_OBJECT

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

  void SaveWithoutANameAsksForOne() {
    Start();
    FDialogs->SaveAnswers = {std::nullopt, PathOf("chosen.kvr"), std::nullopt};
    Command("actSaveProject").Run();
    QCOMPARE(FDialogs->SaveRequests.size(), 1);
    const TFileDialogOptions& Request = FDialogs->SaveRequests[0];
    QCOMPARE(Request.Title, QStringLiteral("Save Project As"));
    QCOMPARE(Request.DefaultSuffix, QStringLiteral("kvr"));
    QCOMPARE(Request.FileName, QStringLiteral("Untitled.kvr"));
    QVERIFY(!Request.ConfirmOverwrite);
    QVERIFY(Request.Filter.isEmpty());
    // Cancelled: nothing changes.
    QVERIFY(FPresenter->Project()->Modified());
    QCOMPARE(FDialogs->Events, QStringList{"save"});

    Command("actSaveProject").Run();
    QCOMPARE(FPresenter->Caption(), Prefix + PathOf("chosen.kvr"));
    QVERIFY(QFile::exists(PathOf("chosen.kvr")));
    QVERIFY(!FPresenter->Project()->Modified());
    QVERIFY(!Command("actSaveProject").Enabled());
    // Save with a name writes without a dialog and leaves the caption; Save As
    // starts from the last name.
    FPresenter->Project()->SetModified();
    FDialogs->Events.clear();
    Command("actSaveProject").Run();
    QVERIFY(FDialogs->Events.isEmpty());
    Command("actSaveProjectAs").Run();
    QCOMPARE(FDialogs->SaveRequests[2].FileName, PathOf("chosen.kvr"));
  }

  void AFailedSaveAsLeavesTheProjectUnsavedUnderItsNewName() {
    Start();
    const QString Unwritable = PathOf("no-such-folder/p.kvr");
    FDialogs->SaveAnswers = {Unwritable};
    QVERIFY(ErrorOf(Command("actSaveProjectAs")).startsWith(QStringLiteral("Unable to write to")));
    QVERIFY(FPresenter->Project()->Modified());
    QVERIFY(Command("actSaveProject").Enabled());
    // The caption names the project's file, as the project now does.
    QCOMPARE(FPresenter->Project()->FileName(), Unwritable.toStdString());
    QCOMPARE(FPresenter->Caption(), Prefix + Unwritable);
    FDialogs->ConfirmAnswers = {false};
    QVERIFY(!FPresenter->CanClose());
  }

  // A failed save says why, as report files do. The full device is a small
  // file system of its own, which only root can mount: elsewhere that row
  // is skipped.
  void AFailedSaveGivesTheReason_data() {
    QTest::addColumn<QString>("Where");
    QTest::addColumn<QString>("Reason");
    QTest::newRow("missing folder") << "no-such-folder"
                                    << "No such file or directory";
    QTest::newRow("file for a folder") << "a-file"
                                       << "Not a directory";
    QTest::newRow("folder nobody may write") << "/sys"
                                             << "Permission denied";
    QTest::newRow("full device") << "full"
                                 << "No space left on device";
  }

  void AFailedSaveGivesTheReason() {
    QFETCH(QString, Where);
    QFETCH(QString, Reason);
    WriteTextFile(PathOf("a-file"), {});
    const QString Folder = Where.startsWith('/') ? Where : PathOf(Where);
    std::unique_ptr<TSmallFileSystem> Full;
    if (Where == "full") {
      Full = std::make_unique<TSmallFileSystem>(Folder);
      if (!Full->Filled())
        QSKIP("no file system could be mounted and filled here (not root)");
    }
    Start();
    FPresenter->Project()->SetFileName(ToPath(Folder + "/p.kvr"));
    QCOMPARE(ErrorOf(Command("actSaveProject")),
             "Unable to write to " + Folder + "/p.kvr: " + Reason);
    QVERIFY(FPresenter->Project()->Modified());
  }

  // Two programs on one project: a save over a file that someone else wrote
  // since this program opened or saved it asks first, and No keeps their file
  // and leaves ours unsaved. Each row: what happens to the file between the
  // open and the save, the answer, whether it is asked, whether ours lands.
  void SavingOverAFileChangedElsewhereAsksFirst_data() {
    QTest::addColumn<QString>("Change");
    QTest::addColumn<bool>("Answer");
    QTest::addColumn<bool>("Asked");
    QTest::addColumn<bool>("Saved");
    QTest::newRow("untouched") << "" << false << false << true;
    QTest::newRow("our own save") << "save" << false << false << true;
    QTest::newRow("replaced, No") << "replace" << false << true << false;
    QTest::newRow("replaced, Yes") << "replace" << true << true << true;
    QTest::newRow("written in place") << "write" << false << true << false;
    QTest::newRow("only its time") << "touch" << false << true << false;
    QTest::newRow("replaced after our save") << "save replace" << false << true << false;
    QTest::newRow("removed") << "remove" << false << false << true;
  }

  void SavingOverAFileChangedElsewhereAsksFirst() {
    QFETCH(QString, Change);
    QFETCH(bool, Answer);
    QFETCH(bool, Asked);
    QFETCH(bool, Saved);
    const QString File = PathOf("p.kvr");
    const QStringList Theirs = HeadLines(0, 1) + QStringList{"[Scenarios]", "Name0=Theirs"};
    WriteTextFile(File, PlainProjectLines());
    Start({File});
    TProject* Project = FPresenter->Project();
    if (Change.contains("save")) {
      Project->Scenarios().AddByName("Earlier");
      Project->SetModified();
      QVERIFY(Command("actSaveProject").Run());
    }
    if (Change.contains("replace")) {
      WriteTextFile(PathOf("theirs.kvr"), Theirs);
      QCOMPARE(std::rename(qPrintable(PathOf("theirs.kvr")), qPrintable(File)), 0);
    } else if (Change == "write") {
      WriteTextFile(File, Theirs);
    } else if (Change == "touch") {
      QFile Touched(File);
      QVERIFY(Touched.open(QIODevice::ReadWrite));
      QVERIFY(Touched.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                  QFileDevice::FileModificationTime));
    } else if (Change == "remove") {
      QVERIFY(QFile::remove(File));
    }
    const QStringList Before = ReadTextLines(File);
    Project->Scenarios().AddByName("Ours");
    Project->SetModified();
    FDialogs->Events.clear();
    FDialogs->ConfirmAnswers = {Answer};
    QVERIFY(Command("actSaveProject").Run());
    QCOMPARE(FDialogs->Events, Asked ? QStringList{"confirm"} : QStringList());
    if (Asked)
      QCOMPARE(FDialogs->Questions.last(),
               File + "\rThe file has been changed by another program since it was opened or "
                      "saved here.\rSave over it?");
    QCOMPARE(ReadTextLines(File).join('\n').contains(QStringLiteral("=Ours")), Saved);
    if (!Saved)
      QCOMPARE(ReadTextLines(File), Before);
    QCOMPARE(Project->Modified(), !Saved);
    // Once saved here, the next save asks nothing.
    if (Saved) {
      Project->SetModified();
      QVERIFY(Command("actSaveProject").Run());
      QCOMPARE(FDialogs->Questions.size(), Asked ? 1 : 0);
    }
  }

  // Open answered No saves first; No to saving over a file changed elsewhere
  // stops the Open too, so that the project it would close stays.
  void OpenWaitsOnASaveDeclinedOverAChangedFile() {
    WriteTextFile(PathOf("current.kvr"), PlainProjectLines());
    WriteTextFile(PathOf("next.kvr"), PlainProjectLines());
    Start({PathOf("current.kvr")});
    TProject* Current = FPresenter->Project();
    Current->Scenarios().AddByName("Unsaved");
    Current->SetModified();
    WriteTextFile(PathOf("current.kvr"), HeadLines(0, 0));
    FDialogs->OpenAnswers = {PathOf("next.kvr")};
    FDialogs->ConfirmAnswers = {false, false};
    QVERIFY(Command("actOpenProject").Run());
    QCOMPARE(FDialogs->Events, (QStringList{"open", "confirm", "confirm"}));
    QCOMPARE(FPresenter->Project(), Current);
    QVERIFY(Current->Modified());
    QCOMPARE(ReadTextLines(PathOf("current.kvr")), HeadLines(0, 0));
  }
};

int RunProjectSaveTests(int argc, char** argv) {
  TProjectSavePresenterTest Tests;
  return QTest::qExec(&Tests, argc, argv);
}

#include "ProjectSavePresenterTest.moc"
