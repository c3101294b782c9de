#include "FMain.h"

#include "Application.h"
#include "CaptionBar.h"
#include "Dialogs.h"
#include "FAbout.h"
#include "FModules.h"
#include "FResults.h"
#include "FScenarios.h"
#include "Images.h"
#include "NavigationBar.h"
#include "Paths.h"
#include "Project.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

#include <algorithm>

namespace Kalvoro {

namespace {

constexpr int WindowWidth = 865;
constexpr int WindowHeight = 637;
const char* const UntitledName = "Untitled.kvr";

} // namespace

TMainForm::TMainForm(IDialogs& aDialogs, const QStringList& aArguments, QWidget* aParent)
    : QMainWindow(aParent), FDialogs(aDialogs), FSaveAsFileName(QLatin1String(UntitledName)),
      FImages(MainActionImages()) {
  setObjectName(QStringLiteral("MainForm"));
  BuildMenus();
  BuildLayout();

  // 1. No view is active. 2. The three views, hidden, filling the working area.
  FActiveFrame = nullptr;
  FModulesFrame = new TModulesFrame(FDialogs, FViewPanel);
  FScenariosFrame = new TScenariosFrame(FDialogs, FViewPanel);
  FResultsFrame = new TResultsFrame(FDialogs, FViewPanel);
  for (QWidget* Frame :
       {static_cast<QWidget*>(FModulesFrame), static_cast<QWidget*>(FScenariosFrame),
        static_cast<QWidget*>(FResultsFrame)}) {
    FViewPanel->layout()->addWidget(Frame);
    Frame->hide();
  }

  // 3. Caption and application title.
  setWindowTitle(MainTitle());
  if (TMorvaneApplication* Application = TMorvaneApplication::Instance())
    Application->SetTitle(MainTitle());

  resize(WindowWidth, WindowHeight);
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - rect().center());

  // 4. The project of the command line, or a new one. An error here is shown
  // and the window opens with the project as far as it was read.
  if (aArguments.size() == 1)
    RunGuarded([&] { OpenProject(aArguments.constFirst()); });
  else
    actNewProjectExecute();
}

TMainForm::~TMainForm() {
  SwitchFrame(nullptr);
  // Releasing the project unloads its modules; the views go with the window.
  FProject.reset();
}

TAction* TMainForm::MakeAction(const QString& aCaption, int aImage) {
  auto* Action = new TAction(aCaption, this);
  Action->setIcon(FImages.value(aImage));
  return Action;
}

void TMainForm::BuildMenus() {
  actNewProject = MakeAction(QStringLiteral("New"), 0);
  actOpenProject = MakeAction(QStringLiteral("Open..."), 1);
  actSaveProject = MakeAction(QStringLiteral("Save"), 2);
  actSaveProjectAs = MakeAction(QStringLiteral("Save As..."), 3);
  actPrint = MakeAction(QStringLiteral("Print..."), 4);
  actModuleView = MakeAction(QStringLiteral("Modules"), 6);
  actScenarioView = MakeAction(QStringLiteral("Scenario's"), 7);
  actResultView = MakeAction(QStringLiteral("Results"), 8);

  actSaveProject->SetUpdate([this] { return FProject != nullptr && FProject->Modified(); });
  actSaveProjectAs->SetUpdate([this] { return FProject != nullptr; });

  actNewProject->SetExecute([this] { actNewProjectExecute(); });
  actOpenProject->SetExecute([this] { actOpenProjectExecute(); });
  actSaveProject->SetExecute([this] { actSaveProjectExecute(); });
  actSaveProjectAs->SetExecute([this] { actSaveProjectAsExecute(); });
  actModuleView->SetExecute([this] { SwitchFrame(FModulesFrame); });
  actScenarioView->SetExecute([this] { SwitchFrame(FScenariosFrame); });
  actResultView->SetExecute([this] { SwitchFrame(FResultsFrame); });

  const auto Link = [this](TAction* aAction, const char* aHint) {
    return new TActionLink(aAction, TActionLink::lkMenuItem, QString::fromLatin1(aHint), this);
  };

  FProjectMenu = new QMenu(QStringLiteral("Project"), this);
  FProjectMenu->addAction(Link(actNewProject, "New Project|Create a new project"));
  FProjectMenu->addAction(Link(actOpenProject, ""));
  FProjectMenu->addAction(Link(actSaveProject, ""));
  FProjectMenu->addAction(
      Link(actSaveProjectAs, "Save Project As|Save the project to different file"));
  FProjectMenu->addSeparator();
  FProjectMenu->addAction(Link(actPrint, ""));
  FProjectMenu->addSeparator();
  mniExit = MakeMenuEntry(QStringLiteral("Exit"), QStringLiteral("|Exit the Kalvoro"), this);
  mniExit->setIcon(FImages.value(5));
  connect(mniExit, &QAction::triggered, this, &QWidget::close);
  FProjectMenu->addAction(mniExit);

  FViewMenu = new QMenu(QStringLiteral("View"), this);
  FViewMenu->addAction(Link(actModuleView, "Modules View|Switch to the Modules View"));
  FViewMenu->addAction(Link(actScenarioView, "Scenario's View|Switch to the Scenario's View"));
  FViewMenu->addAction(Link(actResultView, "Results View|Switch to the Results View"));

  FHelpMenu = new QMenu(QStringLiteral("Help"), this);
  mniAbout =
      MakeMenuEntry(QStringLiteral("About"), QStringLiteral("Aboutbox|Show the aboutbox"), this);
  connect(mniAbout, &QAction::triggered, this, [this] {
    RunGuarded([this] { TAboutBox::ShowAbout(QLatin1String(MorvaneVersion), FDialogs); });
  });
  FHelpMenu->addAction(mniAbout);

  FOwnMenu = {TMenuGroup{FProjectMenu, 0}, TMenuGroup{FViewMenu, 4}, TMenuGroup{FHelpMenu, 5}};
  RebuildMenuBar();
}

void TMainForm::BuildLayout() {
  auto* Central = new QWidget(this);
  auto* Layout = new QVBoxLayout(Central);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);

  // The tool strip: the main tool bar, then the host of the active view's tool bar.
  auto* ToolStrip = new QWidget(Central);
  ToolStrip->setObjectName(QStringLiteral("ToolStrip"));
  ToolStrip->setAttribute(Qt::WA_StyledBackground);
  ToolStrip->setStyleSheet(QStringLiteral(
      "#ToolStrip { border-bottom: 1px solid palette(mid); }"
      "#ToolStrip QToolBar { border: none; background: transparent; spacing: 2px; }"));
  auto* StripLayout = new QHBoxLayout(ToolStrip);
  StripLayout->setContentsMargins(2, 1, 2, 1);
  StripLayout->setSpacing(0);
  FMainToolBar = new QToolBar(QStringLiteral("Project"), ToolStrip);
  FMainToolBar->setObjectName(QStringLiteral("MainToolBar"));
  FMainToolBar->setIconSize(QSize(24, 24));
  FMainToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  FMainToolBar->setMovable(false);
  const auto Button = [this](TAction* aAction, const char* aHint) {
    return new TActionLink(aAction, TActionLink::lkButton, QString::fromLatin1(aHint), this);
  };
  FMainToolBar->addAction(Button(actNewProject, "New Project|Create a new project"));
  FMainToolBar->addAction(Button(actOpenProject, "Open Project|Open an existing project"));
  FMainToolBar->addAction(Button(actSaveProject, "Save project|Save the project to a file"));
  StripLayout->addWidget(FMainToolBar);
  auto* Divider = new QFrame(ToolStrip);
  Divider->setFrameShape(QFrame::VLine);
  Divider->setFrameShadow(QFrame::Sunken);
  StripLayout->addWidget(Divider);
  FToolBarHost = new QWidget(ToolStrip);
  FToolBarHost->setObjectName(QStringLiteral("ToolBarHost"));
  auto* HostLayout = new QHBoxLayout(FToolBarHost);
  HostLayout->setContentsMargins(0, 0, 0, 0);
  HostLayout->setSpacing(0);
  StripLayout->addWidget(FToolBarHost, 1);
  Layout->addWidget(ToolStrip);

  auto* Body = new QHBoxLayout;
  Body->setContentsMargins(0, 0, 0, 0);
  Body->setSpacing(0);
  FNavigationBar = new TNavigationBar(Central);
  const int ViewGroup = FNavigationBar->AddGroup(QStringLiteral("View"));
  const QList<QIcon> NavigationIcons = NavigationImages();
  int Index = 0;
  for (TAction* Action : {actModuleView, actScenarioView, actResultView}) {
    auto* NavLink = new TActionLink(Action, TActionLink::lkButton, {}, this);
    NavLink->SetOwnIcon(NavigationIcons.value(Index++));
    FNavigationBar->AddButton(ViewGroup, NavLink);
    FNavigationLinks.append(NavLink);
  }
  Body->addWidget(FNavigationBar);

  auto* WorkArea = new QWidget(Central);
  auto* WorkLayout = new QVBoxLayout(WorkArea);
  WorkLayout->setContentsMargins(0, 0, 0, 0);
  WorkLayout->setSpacing(0);
  FCaptionBar = new TCaptionBar(WorkArea);
  WorkLayout->addWidget(FCaptionBar);
  FViewPanel = new QWidget(WorkArea);
  FViewPanel->setObjectName(QStringLiteral("ViewPanel"));
  auto* PanelLayout = new QVBoxLayout(FViewPanel);
  PanelLayout->setContentsMargins(0, 0, 0, 0);
  PanelLayout->setSpacing(0);
  WorkLayout->addWidget(FViewPanel, 1);
  Body->addWidget(WorkArea, 1);
  Layout->addLayout(Body, 1);
  setCentralWidget(Central);

  FStatusLabel = new QLabel(this);
  FStatusLabel->setObjectName(QStringLiteral("StatusText"));
  statusBar()->addWidget(FStatusLabel, 1);
  statusBar()->setSizeGripEnabled(true);
}

void TMainForm::RebuildMenuBar() {
  // Own menus whose group index a merged menu has are replaced by it; the rest
  // go in group order, own menus before merged ones of the same group.
  TFrameMenu Menus;
  for (const TMenuGroup& Own : FOwnMenu) {
    const bool Replaced =
        std::any_of(FMergedMenu.begin(), FMergedMenu.end(), [&](const TMenuGroup& aMerged) {
          return aMerged.GroupIndex == Own.GroupIndex;
        });
    if (!Replaced)
      Menus.append(Own);
  }
  Menus.append(FMergedMenu);
  std::stable_sort(Menus.begin(), Menus.end(),
                   [](const TMenuGroup& aLeft, const TMenuGroup& aRight) {
                     return aLeft.GroupIndex < aRight.GroupIndex;
                   });
  QMenuBar* Bar = menuBar();
  Bar->clear();
  for (const TMenuGroup& Group : Menus)
    if (Group.Menu != nullptr)
      Bar->addMenu(Group.Menu);
}

void TMainForm::SwitchFrame(IFrame* aFrame) {
  if (aFrame == FActiveFrame)
    return;
  if (FActiveFrame != nullptr) {
    // The tool bar goes home, to the top of the view's own control.
    QToolBar* ToolBar = FActiveFrame->GetToolBar();
    QWidget* Home = FActiveFrame->GetFrame();
    if (ToolBar != nullptr && Home != nullptr) {
      FToolBarHost->layout()->removeWidget(ToolBar);
      if (auto* Box = qobject_cast<QBoxLayout*>(Home->layout()))
        Box->insertWidget(0, ToolBar);
      else
        ToolBar->setParent(Home);
      ToolBar->show();
    }
    FMergedMenu.clear();
    RebuildMenuBar();
    FCaptionBar->SetText(QString());
    FCaptionBar->SetPicture(QPixmap());
    FActiveFrame->Hide();
    FActiveFrame->Deactivate();
  }
  FActiveFrame = aFrame;
  // The navigation bar marks the button of the active view.
  const QList<IFrame*> Views{FModulesFrame, FScenariosFrame, FResultsFrame};
  FNavigationBar->SetHighlighted(FNavigationLinks.value(static_cast<int>(Views.indexOf(aFrame))));
  if (aFrame == nullptr)
    return;
  aFrame->Show();
  aFrame->Activate(FProject.get());
  FMergedMenu = aFrame->GetMenu();
  RebuildMenuBar();
  FCaptionBar->SetText(aFrame->GetCaption());
  FCaptionBar->SetPicture(aFrame->GetIcon().pixmap(32, 32));
  if (QToolBar* ToolBar = aFrame->GetToolBar()) {
    FToolBarHost->layout()->addWidget(ToolBar);
    ToolBar->show();
  }
}

void TMainForm::SetCaption(const QString& aCaption) {
  setWindowTitle(aCaption);
}

QString TMainForm::StatusText() const {
  return FStatusLabel->text();
}

void TMainForm::SetStatusText(const QString& aText) {
  FStatusLabel->setText(aText);
}

bool TMainForm::event(QEvent* aEvent) {
  // The hint-change notification: the long part of the current hint (menus and
  // tool buttons send it as their status tip) goes to the status line.
  if (aEvent->type() == QEvent::StatusTip) {
    SetStatusText(static_cast<QStatusTipEvent*>(aEvent)->tip());
    return true;
  }
  return QMainWindow::event(aEvent);
}

void TMainForm::showEvent(QShowEvent* aEvent) {
  QMainWindow::showEvent(aEvent);
  if (!aEvent->spontaneous())
    SwitchFrame(FModulesFrame);
}

void TMainForm::closeEvent(QCloseEvent* aEvent) {
  if (FProject != nullptr && FProject->Modified() &&
      !FDialogs.Confirm(QStringLiteral("Project is not saved.\rQuit Anyway?"))) {
    aEvent->ignore();
    return;
  }
  aEvent->accept();
}

void TMainForm::OpenProject(const QString& aFileName) {
  IFrame* Remembered = FActiveFrame;
  SwitchFrame(nullptr);
  FProject.reset();
  FProject = std::make_unique<TProject>(ToPath(aFileName));
  SetCaption(MainTitle() + QStringLiteral(" - ") + FromPath(FProject->FileName()));
  std::string Report;
  bool Loaded = false;
  try {
    Loaded = FProject->LoadProject(Report);
  } catch (...) {
    // The views show the new project before the error is shown.
    SwitchFrame(Remembered);
    throw;
  }
  SwitchFrame(Remembered);
  if (!Loaded)
    FDialogs.ShowMessage(ApplicationTitle(), QString::fromStdString(Report));
}

void TMainForm::actNewProjectExecute() {
  if (FProject != nullptr && FProject->Modified() &&
      !FDialogs.Confirm(
          QStringLiteral("Current project is not saved.\rCreate a new project anyway?")))
    return;
  IFrame* Remembered = FActiveFrame;
  SwitchFrame(nullptr);
  FProject.reset();
  FProject = std::make_unique<TProject>();
  SwitchFrame(Remembered);
  SetCaption(MainTitle() + QStringLiteral(" - ") + QLatin1String(UntitledName));
}

void TMainForm::actOpenProjectExecute() {
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Open Project");
  Options.DefaultSuffix = QStringLiteral("kvr");
  if (!FDialogs.OpenFile(Options))
    return;
  // No is no way back: it saves first, and the chosen file is opened either way.
  if (FProject != nullptr && FProject->Modified() &&
      !FDialogs.Confirm(
          QStringLiteral("The current project is not saved.\rChanges will be lost. Proceed?")))
    actSaveProject->Execute();
  OpenProject(Options.FileName);
}

void TMainForm::SaveProjectFile() {
  try {
    FProject->SaveProject();
  } catch (...) {
    // The file does not hold the changes: the project stays unsaved, so that
    // Save stays enabled and quitting still asks.
    FProject->SetModified();
    throw;
  }
}

void TMainForm::actSaveProjectExecute() {
  if (FProject == nullptr)
    return;
  if (!FProject->FileName().empty())
    SaveProjectFile();
  else
    actSaveProjectAs->Execute();
}

void TMainForm::actSaveProjectAsExecute() {
  if (FProject == nullptr)
    return;
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Save Project As");
  Options.DefaultSuffix = QStringLiteral("kvr");
  Options.FileName = FSaveAsFileName;
  Options.ConfirmOverwrite = false;
  if (!FDialogs.SaveFile(Options))
    return;
  FSaveAsFileName = Options.FileName;
  FProject->SetFileName(ToPath(Options.FileName));
  SaveProjectFile();
  SetCaption(MainTitle() + QStringLiteral(" - ") + FromPath(FProject->FileName()));
}

} // namespace Kalvoro
