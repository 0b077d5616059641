#include "controls/icon_button.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "resources/init_resources.h"

namespace {

// Distinct colours for every role the button paints with, so a pixel tells which one won.
const QColor kFace(192, 192, 192);
const QColor kText(0, 0, 255);
const QColor kLight(255, 255, 255);
const QColor kMidlight(224, 224, 224);
const QColor kDark(128, 128, 128);
const QColor kShadow(32, 32, 32);

constexpr int kW = 100;
constexpr int kH = 30;
// Where a 16x16 icon lands on a kW x kH button with a caption.
const QRect kIconAtRest(3, (kH - 16) / 2, 16, 16);

QPalette TestPalette() {
    QPalette pal;
    pal.setColor(QPalette::Button, kFace);
    pal.setColor(QPalette::ButtonText, kText);
    pal.setColor(QPalette::Light, kLight);
    pal.setColor(QPalette::Midlight, kMidlight);
    pal.setColor(QPalette::Dark, kDark);
    pal.setColor(QPalette::Shadow, kShadow);
    return pal;
}

void Prepare(CIconButton& b, const char* caption = "Go") {
    b.setPalette(TestPalette());
    b.setText(QString::fromLatin1(caption));
    b.resize(kW, kH);
}

QImage Grab(CIconButton& b) {
    return b.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor At(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}

bool Near(const QColor& a, const QColor& b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <=
           tolerance;
}

// True when every pixel of the one-pixel ring just inside r has colour c.
bool RingIs(const QImage& img, const QRect& r, const QColor& c) {
    for (int x = r.left(); x <= r.right(); ++x) {
        if (At(img, x, r.top()) != c || At(img, x, r.bottom()) != c) return false;
    }
    for (int y = r.top(); y <= r.bottom(); ++y) {
        if (At(img, r.left(), y) != c || At(img, r.right(), y) != c) return false;
    }
    return true;
}

int CountNear(const QImage& img, const QRect& area, const QColor& c, int tolerance = 40) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (Near(At(img, x, y), c, tolerance)) ++n;
        }
    }
    return n;
}

// Bounding box of the pixels in area that are not the face colour.
QRect InkBox(const QImage& img, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (At(img, x, y) != kFace) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

void SendEnter(QWidget& w, QPoint pos) {
    QEnterEvent e(pos, pos, w.mapToGlobal(pos));
    QApplication::sendEvent(&w, &e);
}

void SendLeave(QWidget& w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}

void SendMouse(QWidget& w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(pos), QPointF(w.mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

void SendMove(QWidget& w, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton) {
    SendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, buttons);
}

// A shown, active window holding a line edit and two buttons, in this tab order.
struct FocusWindow {
    QWidget window;
    QLineEdit* edit;
    CIconButton* first;
    CIconButton* second;

    FocusWindow() {
        auto* layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        first = new CIconButton(&window);
        second = new CIconButton(&window);
        first->setText(QStringLiteral("First"));
        second->setText(QStringLiteral("Second"));
        layout->addWidget(edit);
        layout->addWidget(first);
        layout->addWidget(second);
    }

    bool Activate() {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

}  // namespace

class IconButtonTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InitTapwatchResources(); }

    // --- artwork and icon loading ---

    void everyIconOfTheWindowsLoadsAndHasInk() {
        for (unsigned id :
             {128u, 134u, 135u, 137u, 138u, 141u, 143u, 145u, 149u, 150u, 153u, 154u, 163u}) {
            CIconButton b;
            Prepare(b, "");
            QCOMPARE(b.SetIconResource(id), 0);
            QVERIFY2(b.HasIcon(), qPrintable(QString::number(id)));
            // No caption: the icon sits centred; it must have painted something there.
            const QImage img = Grab(b);
            QVERIFY2(InkBox(img, QRect((kW - 16) / 2, (kH - 16) / 2, 16, 16)).isValid(),
                     qPrintable(QString::number(id)));
        }
    }

    void bitmapsHaveTheirPictureProportions() {
        QSvgRenderer banner(QStringLiteral(":/bitmaps/164.svg"));
        QVERIFY(banner.isValid());
        QCOMPARE(banner.defaultSize(), QSize(25, 287));
        QSvgRenderer about(QStringLiteral(":/bitmaps/129.svg"));
        QVERIFY(about.isValid());
        QCOMPARE(about.defaultSize(), QSize(60, 55));
        QSvgRenderer large(QStringLiteral(":/icons/128_large.svg"));
        QVERIFY(large.isValid());
        QCOMPARE(large.defaultSize(), QSize(64, 64));
    }

    void missingIconFailsAndDropsThePreviousOne() {
        CIconButton b;
        Prepare(b);
        QCOMPARE(b.SetIconResource(135), 0);
        QCOMPARE(b.SetIconResource(999), 1);
        QVERIFY(!b.HasIcon());

        // Without icon the caption is centred in the whole button, exactly as on a button
        // that never had one.
        CIconButton plain;
        Prepare(plain);
        QCOMPARE(Grab(b), Grab(plain));
    }

    void iconPushesTheCaptionRight() {
        CIconButton plain;
        Prepare(plain);
        CIconButton withIcon;
        Prepare(withIcon);
        withIcon.SetIconResource(149);
        const QRect captionArea(20, 3, kW - 24, kH - 6);
        const QRect a = InkBox(Grab(plain), captionArea);
        const QRect b = InkBox(Grab(withIcon), captionArea);
        QVERIFY(a.isValid() && b.isValid());
        // The caption is centred in the rest right of the icon: half of icon + margins.
        QCOMPARE(b.left() - a.left(), (16 + 3) / 2);
    }

    void wrappedCaptionStaysRightOfTheIconAndCentred() {
        CIconButton b;
        b.setPalette(TestPalette());
        b.setText(QStringLiteral("Save the log"));
        b.SetIconResource(137);
        const int width =
            19 + QFontMetrics(b.font()).horizontalAdvance(QStringLiteral("Save")) + 12;
        b.resize(width, 44);
        const QImage img = Grab(b);
        const QRect ink = InkBox(img, QRect(19, 2, width - 21, 40));
        QVERIFY(ink.isValid());
        // Two lines at least, all of it right of the icon, and centred in that area.
        QVERIFY(ink.height() > QFontMetrics(b.font()).height());
        QVERIFY(ink.left() >= 19);
        const int leftGap = ink.left() - 19;
        const int rightGap = (width - 1) - ink.right();
        QVERIFY2(std::abs(leftGap - rightGap) <= 3,
                 qPrintable(QStringLiteral("%1 vs %2").arg(leftGap).arg(rightGap)));
    }

    // --- painting of the states ---

    void flatButtonAtRestHasNoBorderAndHoverRaisesOne() {
        CIconButton b;
        Prepare(b);
        QVERIFY(b.isFlat());
        QVERIFY(RingIs(Grab(b), b.rect(), kFace));

        SendEnter(b, QPoint(10, 10));
        QVERIFY(b.IsHovered());
        const QImage hovered = Grab(b);
        QCOMPARE(At(hovered, 0, 10), kLight);
        QCOMPARE(At(hovered, 10, 0), kLight);
        QCOMPARE(At(hovered, kW - 1, 10), kDark);
        QCOMPARE(At(hovered, 10, kH - 1), kDark);

        SendLeave(b);
        QVERIFY(!b.IsHovered());
        QVERIFY(RingIs(Grab(b), b.rect(), kFace));
    }

    void flatPressedIsSunkenAndShiftsTheIcon() {
        CIconButton b;
        Prepare(b);
        b.SetIconResource(135);
        const QImage rest = Grab(b);
        b.setDown(true);
        const QImage pressed = Grab(b);
        QCOMPARE(At(pressed, 0, 10), kDark);
        QCOMPARE(At(pressed, 10, 0), kDark);
        QCOMPARE(At(pressed, kW - 1, 10), kLight);
        QCOMPARE(At(pressed, 10, kH - 1), kLight);
        QCOMPARE(pressed.copy(kIconAtRest.translated(1, 1)), rest.copy(kIconAtRest));
    }

    void raisedEdgeOfAnOrdinaryButton() {
        CIconButton b;
        Prepare(b);
        b.SetFlat(false, true);
        const QImage img = Grab(b);
        const int y = kH / 2, x = kW / 2;
        QCOMPARE(At(img, 0, y), kLight);
        QCOMPARE(At(img, x, 0), kLight);
        QCOMPARE(At(img, 1, y), kMidlight);
        QCOMPARE(At(img, x, 1), kMidlight);
        QCOMPARE(At(img, kW - 1, y), kShadow);
        QCOMPARE(At(img, x, kH - 1), kShadow);
        QCOMPARE(At(img, kW - 2, y), kDark);
        QCOMPARE(At(img, x, kH - 2), kDark);
        // Corners: the far sides paint over the near ones.
        QCOMPARE(At(img, kW - 1, 0), kShadow);
        QCOMPARE(At(img, 0, kH - 1), kShadow);
        QCOMPARE(At(img, 2, 2), kFace);
        // No focus rectangle without the focus.
        QCOMPARE(At(img, 3, y), kFace);
    }

    void ordinaryButtonPressedHasShadowFrameAndShiftsIconAndCaption() {
        CIconButton b;
        Prepare(b);
        b.SetFlat(false, true);
        b.SetIconResource(141);
        const QImage rest = Grab(b);
        b.setDown(true);
        const QImage pressed = Grab(b);
        QVERIFY(RingIs(pressed, b.rect(), kDark));
        QCOMPARE(At(pressed, 1, kH / 2), kFace);
        QCOMPARE(pressed.copy(kIconAtRest.translated(1, 1)), rest.copy(kIconAtRest));
        const QRect captionArea(21, 3, kW - 25, kH - 6);
        QCOMPARE(InkBox(pressed, captionArea), InkBox(rest, captionArea).translated(1, 1));
    }

    void defaultButtonHasBlackFrameAroundTheRaisedEdge() {
        CIconButton b;
        Prepare(b);
        b.SetFlat(false, true);
        b.setDefault(true);
        const QImage img = Grab(b);
        QVERIFY(RingIs(img, b.rect(), Qt::black));
        QCOMPARE(At(img, 1, kH / 2), kLight);
        QCOMPARE(At(img, kW - 2, kH / 2), kShadow);
        // A flat default button shows none of it.
        b.SetFlat(true, true);
        QVERIFY(RingIs(Grab(b), b.rect(), kFace));
    }

    void focusedOrdinaryButtonShowsFrameAndFocusRectangle() {
        FocusWindow w;
        QVERIFY(w.Activate());
        CIconButton& b = *w.first;
        b.setPalette(TestPalette());
        b.SetFlat(false, true);
        b.setFocus();
        QVERIFY(b.hasFocus());
        const QImage img = Grab(b);
        const QRect r = b.rect();
        QVERIFY(RingIs(img, r, Qt::black));
        // Black frame (1) plus inset (3): the dotted rectangle starts at 4.
        QCOMPARE(At(img, 4, 4), kText);
        QCOMPARE(At(img, 5, 4), kFace);
        QCOMPARE(At(img, 6, 4), kText);
        QCOMPARE(At(img, 4, 6), kText);

        b.SetFlat(true, true);
        const QImage flat = Grab(b);
        QCOMPARE(At(flat, 4, 4), kFace);
        QCOMPARE(At(flat, 0, 4), kFace);
    }

    void disabledButtonEmbossesCaptionAndGreysIcon() {
        CIconButton b;
        Prepare(b, "Capture");
        b.SetIconResource(135);
        const QRect captionArea(20, 2, kW - 22, kH - 4);
        const QImage enabled = Grab(b);
        QVERIFY(CountNear(enabled, captionArea, kText) > 0);
        QCOMPARE(CountNear(enabled, captionArea, kLight, 10), 0);

        b.setEnabled(false);
        const QImage disabled = Grab(b);
        QCOMPARE(CountNear(disabled, captionArea, kText), 0);
        QVERIFY(CountNear(disabled, captionArea, kLight, 10) > 0);
        QVERIFY(CountNear(disabled, captionArea, kDark, 10) > 0);
        // The green of the capture icon is gone in the disabled rendering.
        const QImage icon = disabled.copy(kIconAtRest);
        QVERIFY(icon != enabled.copy(kIconAtRest));
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                const QColor c = icon.pixelColor(x, y);
                QVERIFY(c.green() - std::max(c.red(), c.blue()) < 40);
            }
        }
    }

    void checkedCheckBoxIsSunkenWithoutShift() {
        CIconButton b(true, nullptr);
        Prepare(b);
        b.SetIconResource(145);
        const QImage rest = Grab(b);
        b.SetCheck(1);
        const QImage checked = Grab(b);
        QCOMPARE(At(checked, 0, 10), kDark);
        QCOMPARE(At(checked, kW - 1, 10), kLight);
        // The icon stays where it was: its own pixels are unchanged, only the
        // face shows through its soft edges in the checked tint.
        int iconPixels = 0;
        for (int y = kIconAtRest.top(); y <= kIconAtRest.bottom(); ++y) {
            for (int x = kIconAtRest.left(); x <= kIconAtRest.right(); ++x) {
                if (Near(At(rest, x, y), kFace, 60)) continue;
                ++iconPixels;
                QVERIFY2(Near(At(checked, x, y), At(rest, x, y), 60),
                         qPrintable(QStringLiteral("icon pixel %1,%2 moved").arg(x).arg(y)));
            }
        }
        QVERIFY(iconPixels > 20);
    }

    void checkedCheckBoxShowsAsPlainlyAsAPushedToggle() {
        // A thin edge alone is easy to miss: the face itself changes, towards
        // the selection colour, and a second, dark edge sits inside the first.
        for (const bool flat : {true, false}) {
            CIconButton b(true, nullptr);
            Prepare(b);
            b.SetFlat(flat, true);
            b.SetIconResource(145);
            const QImage rest = Grab(b);
            b.SetCheck(1);
            const QImage checked = Grab(b);
            const QPoint face(kW - 8, kH / 2);  // right of the caption
            const QColor before = At(rest, face.x(), face.y());
            const QColor after = At(checked, face.x(), face.y());
            QVERIFY2(!Near(before, after, 45), qPrintable(after.name()));
            QVERIFY2(after.lightness() < before.lightness(), qPrintable(after.name()));
            const QColor highlight = b.palette().color(QPalette::Highlight);
            const auto towards = [](const QColor& c, const QColor& h) {
                return (h.blue() - h.red()) * (c.blue() - c.red()) > 0 ||
                       (h.green() - h.red()) * (c.green() - c.red()) > 0;
            };
            QVERIFY2(towards(after, highlight), qPrintable(after.name()));
            // Unchecking gives the plain face back.
            b.SetCheck(0);
            QCOMPARE(At(Grab(b), face.x(), face.y()), before);
            if (flat) {
                b.SetCheck(1);
                const QImage again = Grab(b);
                QCOMPARE(At(again, 1, 10), kShadow);
                QCOMPARE(At(again, 10, 1), kShadow);
                QCOMPARE(At(again, kW - 2, 10), kMidlight);
            }
        }
    }

    // --- behaviour ---

    void hoverIsForFlatButtonsAndEndsOnMoveOutFocusLossAndDisable() {
        CIconButton b;
        Prepare(b);
        SendMove(b, QPoint(5, 5));
        QVERIFY(b.IsHovered());
        SendMove(b, QPoint(kW + 5, 5));
        QVERIFY(!b.IsHovered());

        // A drag that starts elsewhere does not light it up.
        SendMove(b, QPoint(5, 5), Qt::LeftButton);
        QVERIFY(!b.IsHovered());

        SendEnter(b, QPoint(5, 5));
        QVERIFY(b.IsHovered());
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(&b, &out);
        QVERIFY(!b.IsHovered());

        SendEnter(b, QPoint(5, 5));
        b.setEnabled(false);
        QVERIFY(!b.IsHovered());
        b.setEnabled(true);

        SendEnter(b, QPoint(5, 5));
        QVERIFY(b.IsHovered());
        b.SetFlat(false, true);
        QVERIFY(!b.IsHovered());
        SendEnter(b, QPoint(5, 5));
        QVERIFY(!b.IsHovered());
    }

    void hoverEndsWhenTheWindowIsDeactivated() {
        FocusWindow w;
        QVERIFY(w.Activate());
        SendEnter(*w.first, QPoint(5, 5));
        QVERIFY(w.first->IsHovered());
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        QVERIFY(!w.first->IsHovered());
    }

    void clickTogglesOnlyInCheckBoxMode() {
        CIconButton box;
        Prepare(box);
        box.SetCheckBoxMode(true);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(box.GetCheck(), 1);
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(box.GetCheck(), 0);

        CIconButton plain;
        Prepare(plain);
        QTest::mouseClick(&plain, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(plain.GetCheck(), 0);
    }

    void setCheckStatesInCheckBoxMode() {
        CIconButton b(true, nullptr);
        QSignalSpy toggled(&b, &QAbstractButton::toggled);
        b.SetCheck(2);
        QCOMPARE(b.GetCheck(), 1);
        b.SetCheck(0);
        QCOMPARE(b.GetCheck(), 0);
        b.SetCheck(1);
        QCOMPARE(b.GetCheck(), 1);
        b.SetCheck(7);
        QCOMPARE(b.GetCheck(), 0);
        QCOMPARE(toggled.count(), 4);
    }

    void setCheckOnAnOrdinaryButtonChangesNothing() {
        CIconButton b;
        Prepare(b);
        const QImage before = Grab(b);
        QSignalSpy toggled(&b, &QAbstractButton::toggled);
        b.SetCheck(2);
        b.SetCheck(1);
        QCOMPARE(b.GetCheck(), 0);
        QCOMPARE(toggled.count(), 0);
        QCOMPARE(Grab(b), before);
    }

    void doubleClickIsTwoClicks() {
        // Both orders a window system may deliver: with or without a second press before
        // the double-click event.
        for (bool secondPress : {false, true}) {
            CIconButton b;
            Prepare(b);
            QSignalSpy clicked(&b, &QAbstractButton::clicked);
            QSignalSpy pressed(&b, &QAbstractButton::pressed);
            const QPoint at(10, 10);
            SendMouse(b, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            if (secondPress) {
                SendMouse(b, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            }
            SendMouse(b, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
            SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
            QCOMPARE(clicked.count(), 2);
            QCOMPARE(pressed.count(), 2);
        }
    }

    void doubleClickTogglesACheckBoxTwice() {
        CIconButton b(true, nullptr);
        Prepare(b);
        QSignalSpy toggled(&b, &QAbstractButton::toggled);
        const QPoint at(10, 10);
        SendMouse(b, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        SendMouse(b, QEvent::MouseButtonDblClick, at, Qt::LeftButton, Qt::LeftButton);
        SendMouse(b, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(b.GetCheck(), 0);
    }

    void disablingTheFocusedButtonMovesTheFocusOn() {
        FocusWindow w;
        QVERIFY(w.Activate());
        w.first->setFocus();
        QVERIFY(w.first->hasFocus());
        w.first->setEnabled(false);
        QVERIFY(w.second->hasFocus());

        // The last one wraps around to the start of the tab chain.
        w.second->setEnabled(false);
        QVERIFY(w.edit->hasFocus());
    }

    void disablingAnUnfocusedButtonLeavesTheFocusAlone() {
        FocusWindow w;
        QVERIFY(w.Activate());
        w.edit->setFocus();
        QVERIFY(w.edit->hasFocus());
        w.first->setEnabled(false);
        QVERIFY(w.edit->hasFocus());
        w.second->setEnabled(false);
        QVERIFY(w.edit->hasFocus());
    }

    void disablingTheOnlyFocusableButtonGivesTheFocusToTheWindow() {
        QWidget window;
        auto* b = new CIconButton(&window);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        b->setFocus();
        QVERIFY(b->hasFocus());
        b->setEnabled(false);
        QVERIFY(!b->hasFocus());
        // Keys now go to the window itself.
        QVERIFY(QApplication::focusObject() == window.windowHandle() ||
                QApplication::focusObject() == &window);
    }

    void tooltipShowsOnlyWhenActivated() {
        FocusWindow w;
        QVERIFY(w.Activate());
        CIconButton& b = *w.first;
        b.SetTooltipText("Clear the log window", false);
        QVERIFY(!b.IsTooltipActive());
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), b.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&b, &help);
        QVERIFY(!QToolTip::isVisible());

        b.SetTooltipText("Capture the packet\nPress Ctrl+F12", true);
        QVERIFY(b.IsTooltipActive());
        b.SetTooltipText(nullptr, true);
        QCOMPARE(b.toolTip(), QStringLiteral("Capture the packet\nPress Ctrl+F12"));
        QApplication::sendEvent(&b, &help);
        QVERIFY(QToolTip::isVisible());
        QVERIFY(QToolTip::text().contains(QStringLiteral("Capture the packet\nPress Ctrl+F12")));

        // false later does not switch an active tooltip off.
        b.SetTooltipText("Clear the log window", false);
        QVERIFY(b.IsTooltipActive());
        QToolTip::hideText();
    }

    void tooltipMarkupCharactersAreShownAsText() {
        FocusWindow w;
        QVERIFY(w.Activate());
        w.first->SetTooltipText("<b>not bold</b> & more", true);
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), w.first->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(w.first, &help);
        QVERIFY(QToolTip::isVisible());
        QVERIFY(QToolTip::text().contains(QStringLiteral("&lt;b&gt;not bold&lt;/b&gt; &amp;")));
        QToolTip::hideText();
    }

    void tooltipLinesWrapAt400Pixels() {
        const QFont font = QToolTip::font();
        const QFontMetrics fm(font);
        const QString longLine = QStringLiteral(
            "Only the traffic between the specified source and destination IPs will be tapped, "
            "and everything else that passes the interface is left out of the list");
        QVERIFY(fm.horizontalAdvance(longLine) > 400);
        const QString text = QStringLiteral("Engage the IP tracking mode\n") + longLine;
        const QStringList lines = WrapTooltipText(text, font, 400).split(QLatin1Char('\n'));
        QVERIFY(lines.size() >= 3);
        QCOMPARE(lines.first(), QStringLiteral("Engage the IP tracking mode"));
        for (const QString& line : lines) QVERIFY(fm.horizontalAdvance(line) <= 400);
        // Nothing lost, nothing added: the wrapped lines rejoin into the original line.
        QCOMPARE(lines.mid(1).join(QLatin1Char(' ')), longLine);

        // A single word wider than the limit is still cut to fit.
        const QString word(200, QLatin1Char('W'));
        for (const QString& line : WrapTooltipText(word, font, 400).split(QLatin1Char('\n'))) {
            QVERIFY(fm.horizontalAdvance(line) <= 400);
        }
        QCOMPARE(WrapTooltipText(QStringLiteral("a\n\nb"), font, 400), QStringLiteral("a\n\nb"));
    }
};

QTEST_MAIN(IconButtonTest)
#include "icon_button_test.moc"
