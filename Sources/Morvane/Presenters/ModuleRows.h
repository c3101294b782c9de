// The rows of the modules tree as data: every module of the project with its
// load state, and under each loaded module its unit tests and their test
// methods. Nothing is sorted: rows follow the project's lists.
#pragma once

#include "ModuleImages.h"
#include "UnitTestBase.h"

#include <QString>

#include <vector>

namespace Kalvoro {

class TModuleList;

enum TModuleRowKind { mrkModule, mrkUnitTest, mrkMethod };

struct TModuleRow {
  TModuleRowKind Kind = mrkModule;
  // The columns Module, Path, Status and Kind (what the module's file holds,
  // as its last listing found it); unit-test and method rows fill only the
  // first.
  QString Name;
  QString Path;
  QString Status;
  QString KindText;
  // Why a module failed to load or list (the first line of the loader's
  // text): the row's tool tip and accessible description.
  QString Error;
  TModuleTreeImage Image = mtiNotLoaded;
  // The object the row stands for: the module of a module row, the unit test
  // of a unit-test row; a method row carries nothing.
  TModule* Module = nullptr;
  TUnitTestBase* UnitTest = nullptr;

  // 0 for a module, 1 for a unit test, 2 for a method.
  int Level() const { return static_cast<int>(Kind); }
};

// The status text of a module in a state, as the tree shows it.
QString ModuleStatusText(TModuleState aState);
// The tree image of a module in a state.
TModuleTreeImage ModuleStateImage(TModuleState aState);

// All rows in tree order: each row is followed by its children.
std::vector<TModuleRow> ModuleRows(const TModuleList& aModules);

} // namespace Kalvoro
