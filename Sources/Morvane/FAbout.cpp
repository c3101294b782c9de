#include "FAbout.h"

#include "Dialogs.h"
#include "HyperlinkLabel.h"
#include "Images.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace Kalvoro {

TAboutBox::TAboutBox(QWidget* aParent) : QDialog(aParent) {
  setWindowTitle(QStringLiteral("About"));
  setObjectName(QStringLiteral("AboutBox"));

  imgIcon = new QLabel(this);
  imgIcon->setFixedSize(48, 48);
  imgIcon->setAlignment(Qt::AlignCenter);

  lblTitle = new QLabel(QStringLiteral("Morvane"), this);
  QFont TitleFont = lblTitle->font();
  TitleFont.setBold(true);
  TitleFont.setPointSizeF(TitleFont.pointSizeF() * 2);
  lblTitle->setFont(TitleFont);

  auto* VersionCaption = new QLabel(QStringLiteral("Version"), this);
  lblVersion = new QLabel(this);
  lblProduct = new QLabel(QStringLiteral("Part of the Kalvoro"), this);
  lblAuthor = new QLabel(QString::fromLatin1(AboutAuthor), this);
  auto* MailCaption = new QLabel(QStringLiteral("E-mail"), this);
  lblMail =
      new THyperlinkLabel(QString::fromLatin1(AboutMailAddress),
                          QUrl(QStringLiteral("mailto:") + QLatin1String(AboutMailAddress)), this);
  auto* SiteCaption = new QLabel(QStringLiteral("Site"), this);
  lblSite = new THyperlinkLabel(QString::fromLatin1(AboutSite),
                                QUrl(QString::fromLatin1(AboutSite)), this);

  btnClose = new QPushButton(QStringLiteral("Close"), this);
  btnClose->setDefault(true);
  btnClose->setAutoDefault(true);
  // Close is also the cancel button: Escape closes the box the same way.
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);

  auto* Heading = new QHBoxLayout;
  Heading->addWidget(imgIcon);
  Heading->addSpacing(8);
  Heading->addWidget(lblTitle, 1);

  auto* Details = new QGridLayout;
  Details->setHorizontalSpacing(12);
  Details->addWidget(VersionCaption, 0, 0);
  Details->addWidget(lblVersion, 0, 1);
  Details->addWidget(lblProduct, 1, 0, 1, 2);
  Details->addWidget(lblAuthor, 2, 0, 1, 2);
  Details->addWidget(MailCaption, 3, 0);
  Details->addWidget(lblMail, 3, 1);
  Details->addWidget(SiteCaption, 4, 0);
  Details->addWidget(lblSite, 4, 1);
  Details->setColumnStretch(1, 1);

  auto* Buttons = new QHBoxLayout;
  Buttons->addStretch(1);
  Buttons->addWidget(btnClose);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(18, 16, 18, 14);
  Layout->setSpacing(10);
  Layout->addLayout(Heading);
  Layout->addLayout(Details);
  Layout->addSpacing(6);
  Layout->addLayout(Buttons);
  // A fixed-size box.
  Layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TAboutBox::SetVersion(const QString& aVersion) {
  lblVersion->setText(aVersion);
}

void TAboutBox::SetIcon(const QIcon& aIcon) {
  imgIcon->setPixmap(aIcon.pixmap(48, 48));
}

void TAboutBox::ShowAbout(const QString& aVersion, IDialogs& aDialogs) {
  // Made without an owner and gone when it closes, whatever happens.
  TAboutBox Box;
  Box.SetVersion(aVersion);
  // The application's icon; the program's own one when the application has none.
  const QIcon Icon = QApplication::windowIcon();
  Box.SetIcon(Icon.isNull() || Icon.availableSizes().isEmpty() ? ApplicationIcon() : Icon);
  Box.adjustSize();
  const QWidget* Anchor = QApplication::activeWindow();
  const QRect Area = Anchor != nullptr         ? Anchor->frameGeometry()
                     : Box.screen() != nullptr ? Box.screen()->availableGeometry()
                                               : QRect();
  if (Area.isValid())
    Box.move(Area.center() - Box.rect().center());
  aDialogs.Execute(Box);
}

} // namespace Kalvoro
