// The caption bar, the contrast of the bars' text in light and dark
// palettes, the hyperlink label and the navigation bar.
#include "GuiTestSupport.h"

#include "CaptionBar.h"
#include "Contrast.h"
#include "HyperlinkLabel.h"
#include "NavigationBar.h"

#include <QAction>
#include <QApplication>
#include <QToolButton>

using namespace Kalvoro;

class TBarsTest : public QObject {
  Q_OBJECT

private slots:
  void CaptionBarPaintsWhiteOnTheShadowColour() {
    TCaptionBar Bar;
    Bar.resize(300, 42);
    Bar.SetText(QStringLiteral("Modules"));
    QPixmap Picture(32, 32);
    Picture.fill(Qt::green);
    Bar.SetPicture(Picture);
    QCOMPARE(Bar.Text(), QStringLiteral("Modules"));
    QCOMPARE(Bar.accessibleName(), QStringLiteral("Modules"));
    QVERIFY(Bar.font().bold());
    QCOMPARE(Bar.TextColor(), QColor(Qt::white));
    // The shadow colour's hue, darkened only.
    const QColor Shadow = Bar.palette().color(QPalette::Dark);
    QCOMPARE(Bar.BackgroundColor().hslHue(), Shadow.hslHue());
    QVERIFY(Bar.BackgroundColor().lightness() <= Shadow.lightness());
    const QImage Image = Bar.grab().toImage();
    QCOMPARE(Image.pixel(2, 2), Bar.BackgroundColor().rgb());
    // The picture sits at the right end.
    QCOMPARE(Image.pixel(Image.width() - 8 - 16, 21), QColor(Qt::green).rgb());
    bool HasWhite = false;
    for (int X = 0; X < 120 && !HasWhite; ++X)
      for (int Y = 0; Y < Image.height() && !HasWhite; ++Y)
        HasWhite = Image.pixel(X, Y) == QColor(Qt::white).rgb();
    QVERIFY2(HasWhite, "the caption is drawn in white");

    Bar.SetText(QString());
    Bar.SetPicture(QPixmap());
    QVERIFY(Bar.Picture().isNull());
    const QImage Empty = Bar.grab().toImage();
    QCOMPARE(Empty.pixel(Empty.width() - 8 - 16, 21), Bar.BackgroundColor().rgb());
  }

  void TextOfTheBarsReadsInLightAndDarkPalettes() {
    QCOMPARE(ContrastRatio(Qt::white, Qt::black), 21.0);
    QCOMPARE(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white),
             ContrastRatio(Qt::white, QColor(0x77, 0x77, 0x77)));
    QVERIFY(qAbs(ContrastRatio(QColor(0xa0, 0xa0, 0xa0), Qt::white) - 2.6) < 0.05);

    QPalette Dark;
    Dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    Dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    Dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    Dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    Dark.setColor(QPalette::Dark, QColor(0x23, 0x23, 0x23));
    Dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    // A dark theme whose shadow colour is too light for white text.
    QPalette DarkLightShadow = Dark;
    DarkLightShadow.setColor(QPalette::Dark, QColor(0x90, 0x90, 0x90));
    const QPalette Light = QApplication::palette();
    const auto Restore = qScopeGuard([Light] { QApplication::setPalette(Light); });

    // The strongest contrast of any pixel in aArea of aImage against aBackground:
    // the text's own colour where a glyph is solid.
    const auto TextContrast = [](const QImage& aImage, const QRect& aArea,
                                 const QColor& aBackground) {
      double Result = 1;
      for (int Y = aArea.top(); Y <= aArea.bottom(); ++Y)
        for (int X = aArea.left(); X <= aArea.right(); ++X)
          Result = std::max(Result, ContrastRatio(aImage.pixelColor(X, Y), aBackground));
      return Result;
    };
    const QList<QPalette> Palettes{Light, Dark, DarkLightShadow};
    for (int Index = 0; Index < Palettes.size(); ++Index) {
      const QPalette& Palette = Palettes[Index];
      QApplication::setPalette(Palette);
      const bool IsDark = Index > 0;
      TCaptionBar Caption;
      Caption.resize(300, 42);
      Caption.SetText(QStringLiteral("Modules"));
      const QImage CaptionImage = Caption.grab().toImage();
      const QColor CaptionBack = CaptionImage.pixelColor(2, 2);
      QCOMPARE(CaptionBack.rgb(), Caption.BackgroundColor().rgb());
      QVERIFY(TextContrast(CaptionImage, QRect(8, 0, 120, 42), CaptionBack) >= 4.5);
      // The palette's shadow colour, only darkened, and kept where it reads.
      QVERIFY(RelativeLuminance(CaptionBack) <= RelativeLuminance(Palette.color(QPalette::Dark)));
      if (Index == 1)
        QCOMPARE(CaptionBack.rgb(), Palette.color(QPalette::Dark).rgb());

      TNavigationBar Navigation;
      const int View = Navigation.AddGroup(QStringLiteral("View"));
      QAction First(QStringLiteral("Modules"));
      QAction Second(QStringLiteral("Scenario's"));
      Navigation.AddButton(View, &First);
      Navigation.AddButton(View, &Second);
      Navigation.SetHighlighted(&Second);
      Navigation.resize(120, 300);
      Navigation.show();
      QVERIFY(QTest::qWaitForWindowExposed(&Navigation));
      const TNavigationColors& Colors = Navigation.Colors();
      const QImage Image = Navigation.grab().toImage();
      const QColor Bar = Image.pixelColor(2, Image.height() - 3);
      QCOMPARE(Bar.rgb(), Colors.Bar.rgb());
      const QRect Plain = Navigation.Buttons(View).at(0)->geometry().translated(
          Navigation.Buttons(View).at(0)->parentWidget()->pos());
      const QRect Current = Navigation.Buttons(View).at(1)->geometry().translated(
          Navigation.Buttons(View).at(1)->parentWidget()->pos());
      QVERIFY2(TextContrast(Image, Plain.adjusted(2, 2, -2, -2), Bar) >= 4.5, "plain button");
      const QColor CurrentBack = Image.pixelColor(Current.left() + 4, Current.center().y());
      QCOMPARE(CurrentBack.rgb(), Colors.Current.rgb());
      QVERIFY2(TextContrast(Image, Current.adjusted(2, 2, -2, -2), CurrentBack) >= 4.5,
               "current button");
      // Under the pointer and pressed: the colours of the style sheet.
      for (const QColor& Back : {Colors.Hover, Colors.Pressed})
        QVERIFY(ContrastRatio(Colors.Text, Back) >= 4.5);
      const QRect Heading = Navigation.findChildren<QToolButton*>().at(0)->geometry();
      for (const QColor& Back : {Colors.HeadingTop, Colors.HeadingBottom, Colors.HeadingHover})
        QVERIFY(ContrastRatio(Colors.HeadingText, Back) >= 4.5);
      const QColor HeadingBack = Image.pixelColor(Heading.right() - 3, Heading.center().y());
      QVERIFY2(TextContrast(Image, Heading, HeadingBack) >= 4.5, "heading");
      // A dark theme gets dark headings, not the light ones.
      QCOMPARE(RelativeLuminance(HeadingBack) < 0.2, IsDark);
    }
  }

  void HyperlinkLabelOpensItsAddress() {
    QList<QUrl> Opened;
    const auto Previous = THyperlinkLabel::SetUrlOpener([&](const QUrl& aUrl) {
      Opened << aUrl;
      return true;
    });
    THyperlinkLabel Mail(QString(), QUrl(QStringLiteral("mailto:team@kalvoro.invalid")));
    QCOMPARE(Mail.text(), QStringLiteral("team@kalvoro.invalid"));
    Mail.resize(200, 20);
    QTest::mouseClick(&Mail, Qt::LeftButton, {}, QPoint(5, 5));
    // A right click opens nothing.
    QTest::mouseClick(&Mail, Qt::RightButton, {}, QPoint(5, 5));
    THyperlinkLabel Site(QStringLiteral("Site"), QUrl(QStringLiteral("https://kalvoro.invalid/")));
    QTest::keyClick(&Site, Qt::Key_Return);
    THyperlinkLabel::SetUrlOpener(Previous);
    QCOMPARE(Opened, (QList<QUrl>{QUrl(QStringLiteral("mailto:team@kalvoro.invalid")),
                                  QUrl(QStringLiteral("https://kalvoro.invalid/"))}));
    QVERIFY(Mail.font().underline());
  }

  void NavigationButtonsFollowTheirActions() {
    TNavigationBar Bar;
    const int View = Bar.AddGroup(QStringLiteral("View"));
    const int Other = Bar.AddGroup(QStringLiteral("Other"));
    QAction First(QStringLiteral("Modules"));
    QAction Second(QStringLiteral("Results"));
    int Triggered = 0;
    connect(&First, &QAction::triggered, [&] { ++Triggered; });
    QToolButton* Button = Bar.AddButton(View, &First);
    Bar.AddButton(View, &Second);
    QCOMPARE(Bar.GroupCaption(View), QStringLiteral("View"));
    QCOMPARE(Bar.Buttons(View).size(), 2);
    QCOMPARE(Button->text(), QStringLiteral("Modules"));
    QCOMPARE(Button->accessibleName(), QStringLiteral("Modules"));
    QCOMPARE(Bar.findChild<QToolButton*>()->accessibleName(), QStringLiteral("View"));
    QCOMPARE(Button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QCOMPARE(Button->iconSize(), QSize(32, 32));
    QCOMPARE(Bar.OpenGroup(), View);
    QVERIFY(Bar.AddButton(7, &First) == nullptr);

    Bar.resize(120, 400);
    Bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Bar));
    QTest::mouseClick(Button, Qt::LeftButton);
    QCOMPARE(Triggered, 1);

    // The caption under the icon is not repeated as a tool-tip; a tool-tip of
    // the action's own is shown.
    QCOMPARE(ShownToolTip(Button), QString());
    // The name follows the caption, without its mnemonic.
    Second.setText(QStringLiteral("&Results"));
    QCOMPARE(Bar.Buttons(View).at(1)->accessibleName(), QStringLiteral("Results"));
    Second.setToolTip(QStringLiteral("Show the results"));
    QCOMPARE(ShownToolTip(Bar.Buttons(View).at(1)), QStringLiteral("Show the results"));

    First.setEnabled(false);
    QVERIFY(!Button->isEnabled());
    QTest::mouseClick(Button, Qt::LeftButton);
    QCOMPARE(Triggered, 1);

    Bar.SetHighlighted(&Second);
    QVERIFY(Bar.Buttons(View).at(1)->property("navCurrent").toBool());
    QVERIFY(!Button->property("navCurrent").toBool());
    Bar.SetOpenGroup(Other);
    QVERIFY(!Button->isVisible());
  }
};

KALVORO_GUI_TEST_MAIN(TBarsTest)
#include "BarsTest.moc"
