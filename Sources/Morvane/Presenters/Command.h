// User commands described as data: what a view shows for a command (caption,
// image, shortcut, hint), when it may run (the enabling rule) and what it does
// (the effect). A presenter holds its view's commands in one list; the view
// builds its actions, tool bar, menus and context menu from that list, so a
// command cannot have one rule on the tool bar and another in a menu.
#pragma once

#include <QKeySequence>
#include <QString>

#include <functional>
#include <vector>

namespace Kalvoro {

// Where the view shows a command besides its own action (and its shortcut).
enum TCommandPlace : unsigned {
  cpToolBar = 1u << 0, // a tool button that carries the command's hint
  cpMenu = 1u << 1,    // an entry of the view's merged menu
  cpPopup = 1u << 2,   // an entry of the tree's context menu
  cpEverywhere = cpToolBar | cpMenu | cpPopup,
};

// Built with designated initializers, naming only what a command has:
// {.Name = "actSave", .Caption = "Save", .Rule = ..., .Effect = ...}. The
// empty initializers below let a command leave any member out.
struct TCommand {
  // The action's object name ("actAddModule"); empty for a separator.
  QString Name{};
  QString Caption{};
  // Index into the view's action images; -1 for none.
  int Image = -1;
  QKeySequence Shortcut{};
  // "short|long": the tool-tip, then the status-bar text.
  QString Hint{};
  // Where the hint stands (menus and tool bars may differ: a menu entry can
  // carry it while its tool button does not); elsewhere there is none.
  unsigned HintPlaces = cpToolBar;
  // No rule: always enabled.
  std::function<bool()> Rule{};
  std::function<void()> Effect{};
  unsigned Places = cpEverywhere;

  bool IsSeparator() const { return Name.isEmpty(); }
  bool Enabled() const { return !Rule || Rule(); }
  // Runs the effect when the rule allows it; returns whether it ran. Errors of
  // the effect go on to the caller.
  bool Run() const;

  // A separator between groups of commands, shown where aPlaces say.
  static TCommand Separator(unsigned aPlaces = cpEverywhere);
};

using TCommandList = std::vector<TCommand>;

// The command of that name; raises an assertion error when there is none.
const TCommand& FindCommand(const TCommandList& aCommands, const QString& aName);

} // namespace Kalvoro
