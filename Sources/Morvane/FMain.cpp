#include "FMain.h"

#include "Application.h"
#include "CaptionBar.h"
#include "Dialogs.h"
#include "EditorLauncher.h"
#include "FAbout.h"
#include "FModules.h"
#include "FOptions.h"
#include "FPreferences.h"
#include "FResults.h"
#include "FScenarios.h"
#include "Images.h"
#include "NavigationBar.h"
#include "RebuildWatcher.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

namespace Kalvoro {

namespace {

constexpr int WindowWidth = 865;
constexpr int WindowHeight = 637;

} // namespace

TMainForm::TMainForm(IDialogs& aDialogs, const QStringList& aArguments, QWidget* aParent)
    : QMainWindow(aParent), FDialogs(aDialogs), FPresenter(aDialogs, *this),
      FImages(MainActionImages()) {
  setObjectName(QStringLiteral("MainForm"));
  FPresenter.SetOptionsDialog(
      [this](TOptionsFields& aFields) { return ShowOptionsDialog(FDialogs, aFields, this); });
  BuildLayout();
  BuildMenus();

  // 1. No view is active. 2. The three views, hidden, filling the working area.
  FModulesFrame = new TModulesFrame(FDialogs, FViewPanel);
  FScenariosFrame = new TScenariosFrame(FDialogs, FViewPanel);
  FResultsFrame = new TResultsFrame(FDialogs, FViewPanel);
  for (QWidget* Frame :
       {static_cast<QWidget*>(FModulesFrame), static_cast<QWidget*>(FScenariosFrame),
        static_cast<QWidget*>(FResultsFrame)}) {
    FViewPanel->layout()->addWidget(Frame);
    Frame->hide();
  }

  // The watch over the modules' files: a reload shows the project again in
  // the active view (the results view has its rows from the reload).
  TRebuildHost Host;
  Host.Project = [this] { return FPresenter.Project(); };
  Host.RefreshViews = [this] { FViews.ModulesReloaded(); };
  Host.SetStatus = [this](const QString& aText) { SetStatusText(aText); };
  Host.ShowResults = [this] { SwitchFrame(FResultsFrame); };
  FRebuild = std::make_unique<TRebuildWatcher>(std::move(Host), *FResultsFrame);

  // 3. Caption and application title.
  setWindowTitle(FPresenter.Caption());
  if (TMorvaneApplication* Application = TMorvaneApplication::Instance())
    Application->SetTitle(MainTitle());

  resize(WindowWidth, WindowHeight);
  if (const QScreen* Screen = QGuiApplication::primaryScreen())
    move(Screen->availableGeometry().center() - rect().center());

  // 4. The project of the command line, or a new one. An error here is shown
  // and the window opens with the project as far as it was read.
  RunGuarded([&] { FPresenter.Start(aArguments); });
}

TMainForm::~TMainForm() {
  FRebuild.reset();
  SwitchFrame(nullptr);
  // The presenter then releases the project, which unloads its modules; the
  // views go with the window.
}

TAction* TMainForm::Action(const QString& aName) const {
  if (TAction* Found = FProjectActions->Find(aName))
    return Found;
  return FViewActions->Find(aName);
}

TCommandList TMainForm::ViewCommands() {
  // Choosing the active view again does nothing (SwitchFrame).
  return {
      {.Name = "actModuleView",
       .Caption = "Modules",
       .Image = maiModules,
       .Hint = "Modules View|Switch to the Modules View",
       .HintPlaces = cpMenu,
       .Effect = [this] { SwitchFrame(FModulesFrame); },
       .Places = cpMenu},
      {.Name = "actScenarioView",
       .Caption = "Scenario's",
       .Image = maiScenarios,
       .Hint = "Scenario's View|Switch to the Scenario's View",
       .HintPlaces = cpMenu,
       .Effect = [this] { SwitchFrame(FScenariosFrame); },
       .Places = cpMenu},
      {.Name = "actResultView",
       .Caption = "Results",
       .Image = maiResults,
       .Hint = "Results View|Switch to the Results View",
       .HintPlaces = cpMenu,
       .Effect = [this] { SwitchFrame(FResultsFrame); },
       .Places = cpMenu},
  };
}

void TMainForm::BuildMenus() {
  // The project commands: the main tool bar and the "Project" menu, whose
  // last entry, "Exit", is no command: it closes the window, which asks the
  // close question.
  FProjectMenu = new QMenu(QStringLiteral("Project"), this);
  FProjectActions = std::make_unique<TCommandActions>(
      FPresenter.Commands(), FImages, this, TCommandWidgets{FMainToolBar, FProjectMenu, nullptr});
  FProjectMenu->addSeparator();
  mniExit = MakeMenuEntry(QStringLiteral("Exit"), QStringLiteral("|Exit the Kalvoro"), this);
  mniExit->setIcon(FImages.value(maiExit));
  connect(mniExit, &QAction::triggered, this, &QWidget::close);
  FProjectMenu->addAction(mniExit);

  // The view commands: the "View" menu and the navigation buttons, which show
  // their own images and no hint.
  FViewMenu = new QMenu(QStringLiteral("View"), this);
  FViewActions = std::make_unique<TCommandActions>(ViewCommands(), FImages, this,
                                                   TCommandWidgets{nullptr, FViewMenu, nullptr});
  const QList<QIcon> NavigationIcons = NavigationImages();
  for (TAction* ViewAction : FViewActions->Actions()) {
    auto* NavLink = new TActionLink(ViewAction, TActionLink::lkButton, {}, this);
    NavLink->SetOwnIcon(NavigationIcons.value(static_cast<int>(FNavigationLinks.size())));
    FNavigationBar->AddButton(0, NavLink);
    FNavigationLinks.append(NavLink);
  }

  // The user's own settings, which hold for every project.
  FToolsMenu = new QMenu(QStringLiteral("Tools"), this);
  mniPreferences = MakeMenuEntry(QStringLiteral("Preferences..."),
                                 QStringLiteral("Preferences|Choose your own settings, such as "
                                                "the editor that opens a failure"),
                                 this);
  connect(mniPreferences, &QAction::triggered, this, [this] {
    RunGuarded([this] {
      TDesktopEditorLauncher Settings;
      EditPreferences(Settings, FDialogs, [this](TPreferencesFields& aFields) {
        return ShowPreferencesDialog(FDialogs, aFields, this);
      });
    });
  });
  FToolsMenu->addAction(mniPreferences);

  FHelpMenu = new QMenu(QStringLiteral("Help"), this);
  mniAbout =
      MakeMenuEntry(QStringLiteral("About"), QStringLiteral("Aboutbox|Show the aboutbox"), this);
  connect(mniAbout, &QAction::triggered, this, [this] {
    RunGuarded([this] { TAboutBox::ShowAbout(QLatin1String(MorvaneVersion), FDialogs); });
  });
  FHelpMenu->addAction(mniAbout);

  FOwnMenu = {TMenuGroup{FProjectMenu, 0}, TMenuGroup{FViewMenu, 4}, TMenuGroup{FToolsMenu, 4},
              TMenuGroup{FHelpMenu, 5}};
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
  FNavigationBar->AddGroup(QStringLiteral("View"));
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
  std::vector<int> OwnGroups;
  for (const TMenuGroup& Own : FOwnMenu)
    OwnGroups.push_back(Own.GroupIndex);
  std::vector<int> MergedGroups;
  for (const TMenuGroup& Merged : FMergedMenu)
    MergedGroups.push_back(Merged.GroupIndex);
  QMenuBar* Bar = menuBar();
  Bar->clear();
  for (const TMenuPlace& Place : MergedMenus(OwnGroups, MergedGroups))
    if (QMenu* Menu = (Place.Merged ? FMergedMenu : FOwnMenu)[Place.Index].Menu)
      Bar->addMenu(Menu);
}

void TMainForm::SwitchFrame(IFrame* aFrame) {
  FViews.Show(ViewOf(aFrame));
}

IFrame* TMainForm::FrameOf(TMainView aView) const {
  IFrame* const Frames[] = {FModulesFrame, FScenariosFrame, FResultsFrame};
  return aView == mvNone ? nullptr : Frames[aView];
}

TMainView TMainForm::ViewOf(const IFrame* aFrame) const {
  for (TMainView View : {mvModules, mvScenarios, mvResults})
    if (aFrame != nullptr && FrameOf(View) == aFrame)
      return View;
  return mvNone;
}

void TMainForm::LeaveView(TMainView aView) {
  IFrame* Frame = FrameOf(aView);
  // The tool bar goes home, to the top of the view's own control.
  QToolBar* ToolBar = Frame->GetToolBar();
  QWidget* Home = Frame->GetFrame();
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
  Frame->Hide();
  Frame->Deactivate();
}

void TMainForm::EnterView(TMainView aView) {
  // The navigation bar marks the button of the active view.
  FNavigationBar->SetHighlighted(FNavigationLinks.value(static_cast<int>(aView)));
  IFrame* Frame = FrameOf(aView);
  if (Frame == nullptr)
    return;
  Frame->Show();
  Frame->Activate(FPresenter.Project());
  FMergedMenu = Frame->GetMenu();
  RebuildMenuBar();
  FCaptionBar->SetText(Frame->GetCaption());
  FCaptionBar->SetPicture(Frame->GetIcon().pixmap(32, 32));
  if (QToolBar* ToolBar = Frame->GetToolBar()) {
    FToolBarHost->layout()->addWidget(ToolBar);
    ToolBar->show();
  }
}

void TMainForm::RenewView(TMainView aView) {
  FrameOf(aView)->Refresh(FPresenter.Project());
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
  aEvent->setAccepted(FPresenter.CanClose());
}

void TMainForm::DeactivateView() {
  FRebuild->Forget();
  FViews.PutAside();
}

void TMainForm::ReactivateView() {
  FViews.Restore();
}

void TMainForm::CaptionChanged() {
  setWindowTitle(FPresenter.Caption());
}

} // namespace Kalvoro
