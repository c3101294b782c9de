// The results view: the project's scenarios with their unit tests and methods
// and the result of the last run, the commands that start runs, and the
// Summary, Log and Errors pages with their file controls. What it shows and
// does comes from its presenter; the view builds the widgets and forwards.
#pragma once

#include "FrameView.h"
#include "ResultsPresenter.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace Kalvoro {

class IDialogs;
class TAction;
class TCommandActions;
class TDesktopEditorLauncher;
class TFilterBar;
class TLinesView;
class TTreeView;

class TResultsFrame : public TFrameView, private IResultsView {
  Q_OBJECT

public:
  explicit TResultsFrame(IDialogs& aDialogs, QWidget* aOwner = nullptr);
  ~TResultsFrame() override;

  // IFrame
  void Activate(TProject* aProject) override;
  void Deactivate() override;

  TResultsPresenter& Presenter() { return FPresenter; }
  TTreeView* Tree() const { return FTree; }
  TFilterBar* Filter() const { return FFilter; }
  QPlainTextEdit* DetailsPane() const { return FDetails; }
  // The "Run again after a rebuild" toggle, kept in the user's settings.
  QCheckBox* RunAgainToggle() const { return FRunAgain; }
  // Over the tree while the results are out of date; hidden otherwise.
  QLabel* OutOfDateLabel() const { return FOutOfDate; }
  QMenu* PopupMenu() const { return FPopupMenu; }
  QTabWidget* ErrorTab() const { return FErrorTab; }
  TAction* Action(const QString& aName) const;
  TLinesView* PageView(TPageKind aPage) const { return FPageViews[aPage]; }
  QCheckBox* ToFileBox(TPageKind aPage) const { return FToFile[aPage]; }
  QLineEdit* FileNameBox(TPageKind aPage) const { return FFileName[aPage]; }
  QToolButton* ChooserButton(TPageKind aPage) const { return FChooser[aPage]; }

private:
  QWidget* MakePage(TPageKind aPage);
  // IResultsView
  int CurrentRow() const override;
  std::vector<int> SelectedRows() const override;
  void SelectRow(int aRow) override;
  void RefreshTree() override;
  void ShowFilter() override;
  void ShowFileControls() override;

  void FillTree();
  // Shows new results on rows that stand for the same objects; false when the
  // rows differ.
  bool UpdateInPlace();
  // Column widths: Status and Duration as their texts need, UnitTest the rest.
  void TreeResize();
  // Shows the details of the tree's current row.
  void ShowDetails();
  // Opens the row's failure in the editor; a failure to do so goes to the
  // status bar.
  void OpenFailure(int aRow);

  TResultsPresenter FPresenter;
  std::vector<int> FSelection;
  QMenu* FPopupMenu;
  QMenu* FResultsMenu;
  std::unique_ptr<TCommandActions> FActions;
  TTreeView* FTree;
  std::unique_ptr<TDesktopEditorLauncher> FEditor;
  TFilterBar* FFilter;
  QPlainTextEdit* FDetails;
  QCheckBox* FRunAgain;
  QLabel* FOutOfDate;
  QSplitter* FSplitter;
  QTabWidget* FErrorTab;
  TPerPage<TLinesView*> FPageViews{};
  TPerPage<QCheckBox*> FToFile{};
  TPerPage<QLineEdit*> FFileName{};
  TPerPage<QToolButton*> FChooser{};
};

} // namespace Kalvoro
