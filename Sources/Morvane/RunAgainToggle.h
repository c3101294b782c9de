// "Run again after a rebuild": whether a reload of rebuilt modules runs the
// last run again. The user's choice for every project, kept in the user's
// settings; each change (a click, or one over the accessibility bus) and the
// kept choice at its start are told to aChanged.
#pragma once

#include <QCheckBox>

#include <functional>

namespace Kalvoro {

class TRunAgainToggle : public QCheckBox {
public:
  TRunAgainToggle(const std::function<void(bool)>& aChanged, QWidget* aParent);
};

} // namespace Kalvoro
