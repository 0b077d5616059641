// What the icon button tests share: a prepared button, synthetic mouse and
// hover events, and a shown window to host buttons in.
#pragma once

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

#include "controls/icon_button.h"
#include "resources/init_resources.h"

namespace icon_button_test {

// Distinct colours for every role the button paints with, so a pixel tells which one won.
inline const QColor kFace(192, 192, 192);
inline const QColor kText(0, 0, 255);
inline const QColor kLight(255, 255, 255);
inline const QColor kMidlight(224, 224, 224);
inline const QColor kDark(128, 128, 128);
inline const QColor kShadow(32, 32, 32);

constexpr int kW = 100;
constexpr int kH = 30;
// Where a 16x16 icon lands on a kW x kH button with a caption.
inline const QRect kIconAtRest(3, (kH - 16) / 2, 16, 16);

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

inline void Prepare(CIconButton& b, const char* caption = "Go") {
    b.setPalette(TestPalette());
    b.setText(QString::fromLatin1(caption));
    b.resize(kW, kH);
}

inline QImage Grab(CIconButton& b) {
    return b.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor At(const QImage& img, int x, int y) {
    return img.pixelColor(x, y);
}

inline bool Near(const QColor& a, const QColor& b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <=
           tolerance;
}

// True when every pixel of the one-pixel ring just inside r has colour c.
inline bool RingIs(const QImage& img, const QRect& r, const QColor& c) {
    for (int x = r.left(); x <= r.right(); ++x) {
        if (At(img, x, r.top()) != c || At(img, x, r.bottom()) != c) return false;
    }
    for (int y = r.top(); y <= r.bottom(); ++y) {
        if (At(img, r.left(), y) != c || At(img, r.right(), y) != c) return false;
    }
    return true;
}

inline int CountNear(const QImage& img, const QRect& area, const QColor& c, int tolerance = 40) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (Near(At(img, x, y), c, tolerance)) ++n;
        }
    }
    return n;
}

// Bounding box of the pixels in area that are not the face colour.
inline QRect InkBox(const QImage& img, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (At(img, x, y) != kFace) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

inline void SendEnter(QWidget& w, QPoint pos) {
    QEnterEvent e(pos, pos, w.mapToGlobal(pos));
    QApplication::sendEvent(&w, &e);
}

inline void SendLeave(QWidget& w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}

inline void SendMouse(QWidget& w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(pos), QPointF(w.mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

inline void SendMove(QWidget& w, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton) {
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

}  // namespace icon_button_test
