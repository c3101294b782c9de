// A label that looks like a link and, when clicked, opens its address through
// the desktop: a web page, or a new mail for a "mailto:" address.
#pragma once

#include <QLabel>
#include <QUrl>

#include <functional>

namespace Kalvoro {

class THyperlinkLabel : public QLabel {
  Q_OBJECT

public:
  using TUrlOpener = std::function<bool(const QUrl&)>;

  explicit THyperlinkLabel(QWidget* aParent = nullptr);
  THyperlinkLabel(const QString& aText, const QUrl& aUrl, QWidget* aParent = nullptr);

  QUrl Url() const { return FUrl; }
  void SetUrl(const QUrl& aUrl);
  QString Caption() const { return FCaption; }
  void SetCaption(const QString& aCaption);

  // Opens the address; returns what the desktop said.
  bool Open();

  // How every hyperlink label opens addresses (the desktop by default). Returns
  // the opener that was in force.
  static TUrlOpener SetUrlOpener(TUrlOpener aOpener);

signals:
  void Clicked(const QUrl& aUrl);

protected:
  void mouseReleaseEvent(QMouseEvent* aEvent) override;
  void keyPressEvent(QKeyEvent* aEvent) override;

private:
  void Render();

  QUrl FUrl;
  QString FCaption;
};

} // namespace Kalvoro
