// A small tree for the widget tests: A(a1(x, y), a2), B, C(c1).
#pragma once

#include "TreeView.h"

#include <QStringList>

namespace Kalvoro {

// A(a1(x, y), a2), B, C(c1): flat order A a1 x y a2 B C c1.
struct TSampleTree {
  TTreeView Tree;
  TTreeNode *A, *A1, *X, *Y, *A2, *B, *C, *C1;

  TSampleTree() {
    Tree.SetColumns({QStringLiteral("Name"), QStringLiteral("Info")});
    A = Tree.AddChild(nullptr, QStringLiteral("A"));
    A1 = Tree.AddChild(A, QStringLiteral("a1"));
    X = Tree.AddChild(A1, QStringLiteral("x"));
    Y = Tree.AddChild(A1, QStringLiteral("y"));
    A2 = Tree.AddChild(A, QStringLiteral("a2"));
    B = Tree.AddChild(nullptr, QStringLiteral("B"));
    C = Tree.AddChild(nullptr, QStringLiteral("C"));
    C1 = Tree.AddChild(C, QStringLiteral("c1"));
  }
  QStringList SelectedTexts() const {
    QStringList Result;
    for (const TTreeNode* Node : Tree.SelectedNodes())
      Result << Node->Text(0);
    return Result;
  }
};

} // namespace Kalvoro
