// Driving the real morvane program as a screen reader drives it: through
// the desktop's accessibility bus, on a virtual screen of its own (on-own-display) under
// dbus-run-session. Objects are found by name and role, buttons and menu entries pressed, text
// fields filled and texts read; the program starts on a project with a scratch folder for the
// user's settings.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QMetaType>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

// An accessible object on the bus: its service and object path.
struct TAccessible {
  QString Service;
  QDBusObjectPath Path;
};
Q_DECLARE_METATYPE(TAccessible)

QDBusArgument& operator<<(QDBusArgument& aArgument, const TAccessible& aObject);
const QDBusArgument& operator>>(const QDBusArgument& aArgument, TAccessible& aObject);

namespace Kalvoro {

// The accessibility bus's role numbers.
inline constexpr unsigned RoleMenuItem = 35;
inline constexpr unsigned RolePushButton = 43;
inline constexpr unsigned RoleText = 61;
inline constexpr unsigned RoleEntry = 79;
// The roles of controls that a person operates: check box, combo box,
// menu item, page tab, push button, radio button, spin button, toggle
// button, entry.
inline const QList<unsigned> ControlRoles = {7, 11, 35, 37, 43, 45, 52, 62, 79};
inline const QList<unsigned> TreeRoles = {55, 64, 65}; // table, tree, tree table

void WriteLines(const QString& aPath, const QStringList& aLines);
// Waits until the file exists and has kept its size for half a second.
bool WaitForFile(const QString& aPath, int aTimeout);

class TBus {
public:
  // The session's accessibility bus; Connected() is false without one.
  TBus();

  bool Connected() const { return FConnection.isConnected(); }
  // The desktop: the applications on the bus are its children.
  static TAccessible Root();

  QDBusMessage Call(const TAccessible& aObject, const QString& aInterface, const QString& aMethod,
                    const QVariantList& aArguments = {});
  QList<TAccessible> Children(const TAccessible& aObject);
  QString Name(const TAccessible& aObject);
  unsigned Role(const TAccessible& aObject);
  // The first object of that name (a menu entry's without its shortcut) and
  // one of aRoles below aRoot, depth first.
  std::optional<TAccessible> Find(const TAccessible& aRoot, const QString& aName,
                                  const QList<unsigned>& aRoles, int aDepth = 0);
  // The same below the desktop, asked again until it is there (aTimeout ms).
  std::optional<TAccessible> WaitFor(const QString& aName, const QList<unsigned>& aRoles,
                                     int aTimeout = 10000);
  std::optional<TAccessible> FindButton(const TAccessible& aRoot, const QString& aName) {
    return Find(aRoot, aName, {RolePushButton});
  }
  // The texts of a tree's cells as a screen reader reads them: the column
  // headers, then each shown row's cells in turn.
  QStringList CellTexts(const TAccessible& aTree);
  // A text field's whole text.
  QString Text(const TAccessible& aField);
  // Puts the text into an editable text field, as typing would.
  void SetText(const TAccessible& aField, const QString& aText);
  // The shown controls below aRoot without a name, as "role path".
  void Unnamed(const TAccessible& aRoot, QStringList& aFound, int aDepth = 0);
  // Presses the button or menu entry without waiting: the press runs the
  // whole command (a modal dialog's, too).
  void Press(const TAccessible& aObject);

private:
  QDBusConnection FConnection;
};

// Starts morvane on the project as a person would, its user settings in
// aConfigHome (XDG_CONFIG_HOME), and switches to the results view; returns
// its Start All button.
std::optional<TAccessible> StartMorvane(TBus& aBus, QProcess& aMorvane, const QString& aProject,
                                        const QString& aConfigHome);

} // namespace Kalvoro
