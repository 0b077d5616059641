// The icon button's artwork and how it paints each of its states.
#include "tests/controls/icon_button_support.h"

using namespace icon_button_test;

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
};

QTEST_MAIN(IconButtonTest)
#include "icon_button_test.moc"
