#include "controls/icon_button.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QSvgRenderer>
#include <QTextLayout>
#include <QToolTip>

#include "resources/init_resources.h"

namespace {

constexpr int kCaptionFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::TextShowMnemonic;

// One-pixel rectangle edge: top and left in topLeft, bottom and right in bottomRight. The
// bottom-right colour owns both far corners.
void Draw3dRect(QPainter& p, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    p.fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), topLeft);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), topLeft);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

void FrameRect(QPainter& p, const QRect& r, const QColor& c) {
    Draw3dRect(p, r, c, c);
}

// Dotted rectangle, every other pixel along the edge.
void DrawFocusFrame(QPainter& p, const QRect& r, const QColor& c) {
    if (r.width() < 1 || r.height() < 1) return;
    for (int x = r.left(); x <= r.right(); x += 2) {
        p.fillRect(x, r.top(), 1, 1, c);
        p.fillRect(x, r.bottom(), 1, 1, c);
    }
    for (int y = r.top(); y <= r.bottom(); y += 2) {
        p.fillRect(r.left(), y, 1, 1, c);
        p.fillRect(r.right(), y, 1, 1, c);
    }
}

// The face of a checked check box: the button's face tinted towards the
// selection colour and a shade darker, so that the state shows at a glance as
// a pushed-in, coloured button rather than by its edge alone.
QColor CheckedFace(const QPalette& pal) {
    const QColor face = pal.color(QPalette::Button);
    const QColor tint = pal.color(QPalette::Highlight);
    const auto mix = [](int a, int b) { return (3 * a + b) / 4; };
    return QColor(mix(face.red(), tint.red()), mix(face.green(), tint.green()),
                  mix(face.blue(), tint.blue()))
        .darker(108);
}

QPixmap RenderSvg(QSvgRenderer& svg, int side) {
    QImage img(side, side, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    svg.render(&p, QRectF(0, 0, side, side));
    p.end();
    return QPixmap::fromImage(img);
}

}  // namespace

CIconButton::CIconButton(QWidget* parent) : CIconButton(false, parent) {}

CIconButton::CIconButton(bool checkBoxMode, QWidget* parent) : QPushButton(parent) {
    InitTapwatchResources();
    QPushButton::setFlat(true);
    setCheckable(checkBoxMode);
    setIconSize(QSize(kIconSize, kIconSize));
    // Moves without a mouse button held are needed for the hover highlight.
    setMouseTracking(true);
}

CIconButton::~CIconButton() = default;

int CIconButton::SetIconResource(unsigned nIconId) {
    m_icon = QIcon();
    int result = 1;
    const QString path = QStringLiteral(":/icons/%1.svg").arg(nIconId);
    if (QFile::exists(path)) {
        QSvgRenderer svg(path);
        if (svg.isValid()) {
            // Two sizes so that a 2x screen gets a sharp icon too.
            m_icon.addPixmap(RenderSvg(svg, kIconSize));
            m_icon.addPixmap(RenderSvg(svg, 2 * kIconSize));
            result = 0;
        }
    }
    // The base class only uses the icon for its size hint; painting is ours.
    setIcon(m_icon);
    update();
    return result;
}

void CIconButton::SetTooltipText(const char* text, bool bActivate) {
    if (text == nullptr) return;
    m_bTooltipCreated = true;
    setToolTip(QString::fromUtf8(text));
    // Deactivating is never asked for: false leaves an active tooltip active.
    if (bActivate) m_bTooltipActive = true;
}

bool CIconButton::IsTooltipActive() const {
    if (toolTip().isEmpty()) return false;
    // A tooltip that came from a .ui file (never through SetTooltipText) shows as usual.
    return m_bTooltipActive || !m_bTooltipCreated;
}

void CIconButton::SetFlat(bool bFlat, bool bRepaint) {
    if (!bFlat) m_bHover = false;
    QPushButton::setFlat(bFlat);
    if (bRepaint) update();
}

void CIconButton::SetCheckBoxMode(bool on) {
    setCheckable(on);
    update();
}

void CIconButton::SetCheck(int nState) {
    if (!isCheckable()) return;
    setChecked(nState == 1 || nState == 2);
    update();
}

bool CIconButton::IsHovered() const {
    return m_bHover && isFlat();
}

void CIconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    m_bPressed = isDown() || (isCheckable() && isChecked());
    m_bFocused = hasFocus();
    m_bDisabled = !isEnabled();
    m_bDefault = isDefault();

    const QRect item = rect();
    QRect r = item;
    OnDrawBackground(p, r);
    OnDrawBorder(p, r);

    const QString caption = text();
    QRect captionRect = item;
    if (HasIcon()) DrawTheIcon(p, !caption.isEmpty(), captionRect);
    if (!caption.isEmpty()) DrawTheText(p, caption, captionRect);

    if (!isFlat() && m_bFocused) {
        DrawFocusFrame(p, r.adjusted(kFocusInset, kFocusInset, -kFocusInset, -kFocusInset),
                       palette().color(QPalette::ButtonText));
    }
}

void CIconButton::OnDrawBackground(QPainter& p, QRect& r) {
    if (!isFlat() && (m_bFocused || m_bDefault)) {
        FrameRect(p, r, Qt::black);
        r.adjust(1, 1, -1, -1);
    }
    const bool checked = isCheckable() && isChecked();
    p.fillRect(r, checked ? CheckedFace(palette()) : palette().color(QPalette::Button));
}

void CIconButton::OnDrawBorder(QPainter& p, const QRect& r) {
    const QPalette& pal = palette();
    const bool hovered = IsHovered();
    if (isFlat()) {
        if (!m_bFlatBorder) return;
        if (m_bPressed) {
            Draw3dRect(p, r, pal.color(QPalette::Dark), pal.color(QPalette::Light));
            // A checked box is pushed in deeper: a second, darker edge inside.
            if (isCheckable() && isChecked() && r.width() > 2 && r.height() > 2) {
                Draw3dRect(p, r.adjusted(1, 1, -1, -1), pal.color(QPalette::Shadow),
                           pal.color(QPalette::Midlight));
            }
        } else if (hovered) {
            Draw3dRect(p, r, pal.color(QPalette::Light), pal.color(QPalette::Dark));
        }
        return;
    }
    if (m_bPressed) {
        FrameRect(p, r, pal.color(QPalette::Dark));
        return;
    }
    // Raised edge: highlight and light along the top and left, dark shadow and shadow along
    // the bottom and right, each later line painting over the corners of the earlier ones.
    const int l = r.left(), t = r.top(), rt = r.right(), b = r.bottom();
    const QColor highlight = pal.color(QPalette::Light);
    p.fillRect(QRect(QPoint(l, t), QPoint(l, b)), highlight);
    p.fillRect(QRect(QPoint(l, t), QPoint(rt, t)), highlight);
    const QColor light = pal.color(QPalette::Midlight);
    p.fillRect(QRect(QPoint(l + 1, t + 1), QPoint(l + 1, b)), light);
    p.fillRect(QRect(QPoint(l + 1, t + 1), QPoint(rt, t + 1)), light);
    const QColor darkShadow = pal.color(QPalette::Shadow);
    p.fillRect(QRect(QPoint(l, b), QPoint(rt - 1, b)), darkShadow);
    p.fillRect(QRect(QPoint(rt, t), QPoint(rt, b)), darkShadow);
    const QColor shadow = pal.color(QPalette::Dark);
    p.fillRect(QRect(QPoint(l + 1, b - 1), QPoint(rt - 2, b - 1)), shadow);
    p.fillRect(QRect(QPoint(rt - 1, t + 1), QPoint(rt - 1, b - 1)), shadow);
}

void CIconButton::DrawTheIcon(QPainter& p, bool hasCaption, QRect& caption) {
    const QRect item = rect();
    int x;
    if (hasCaption) {
        x = item.left() + kIconMargin;
        caption.setLeft(caption.left() + kIconSize + kIconMargin);
    } else {
        x = item.left() + (item.width() - kIconSize) / 2;
    }
    int y = item.top() + (item.height() - kIconSize) / 2;
    if (m_bPressed && !isCheckable()) {
        ++x;
        ++y;
    }
    const QPixmap pm = m_icon.pixmap(QSize(kIconSize, kIconSize), devicePixelRatioF(),
                                     m_bDisabled ? QIcon::Disabled : QIcon::Normal);
    p.drawPixmap(QRect(x, y, kIconSize, kIconSize), pm);
}

void CIconButton::DrawTheText(QPainter& p, const QString& caption, QRect area) {
    if (m_bPressed && !isCheckable()) area.translate(1, 1);
    p.setFont(font());
    const QRect measured = QFontMetrics(font()).boundingRect(area, kCaptionFlags, caption);
    // Centred vertically by hand; the horizontal centring is the flag's, across the width.
    const QRect textRect(area.left(), area.top() + (area.height() - measured.height()) / 2,
                         area.width(), measured.height());
    const QPalette& pal = palette();
    if (m_bDisabled) {
        p.setPen(pal.color(QPalette::Light));
        p.drawText(textRect.translated(1, 1), kCaptionFlags, caption);
        p.setPen(pal.color(QPalette::Dark));
        p.drawText(textRect, kCaptionFlags, caption);
    } else {
        p.setPen(pal.color(QPalette::ButtonText));
        p.drawText(textRect, kCaptionFlags, caption);
    }
}

bool CIconButton::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        if (IsTooltipActive()) {
            ShowTooltip(static_cast<QHelpEvent*>(e)->globalPos());
        } else {
            QToolTip::hideText();
            e->ignore();
        }
        return true;
    }
    // Children hear of their window's deactivation through this event, not through
    // ActivationChange, which only the window itself receives.
    if (e->type() == QEvent::WindowDeactivate) EndHover();
    return QPushButton::event(e);
}

void CIconButton::ShowTooltip(QPoint globalPos) {
    const QString lines = WrapTooltipText(toolTip(), QToolTip::font(), kTooltipWidth);
    // Rich text with kept white space: the label then neither rewraps our lines nor takes
    // a caption that looks like markup for markup.
    const QString html =
        QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(lines.toHtmlEscaped());
    QToolTip::showText(globalPos, html, this, rect());
}

void CIconButton::changeEvent(QEvent* e) {
    QPushButton::changeEvent(e);
    // Qt itself passes the focus on to the next widget of the tab chain when the focused
    // widget is disabled, and leaves it alone otherwise, which is what a button wants: an
    // unrelated widget, such as the packet list, keeps the focus.
    if (e->type() == QEvent::EnabledChange && !isEnabled()) EndHover();
}

void CIconButton::enterEvent(QEnterEvent* e) {
    QPushButton::enterEvent(e);
    TrackHover(e->position().toPoint(), QApplication::mouseButtons());
}

void CIconButton::leaveEvent(QEvent* e) {
    QPushButton::leaveEvent(e);
    EndHover();
}

void CIconButton::mouseMoveEvent(QMouseEvent* e) {
    QPushButton::mouseMoveEvent(e);
    TrackHover(e->position().toPoint(), e->buttons());
}

void CIconButton::mouseDoubleClickEvent(QMouseEvent* e) {
    // The second click of a double click must be a click of its own. Where the platform
    // delivered its press as well, the button is down already and there is nothing to add;
    // otherwise the base class treats the double click as that press.
    if (e->button() == Qt::LeftButton && isDown()) {
        e->accept();
        return;
    }
    QPushButton::mouseDoubleClickEvent(e);
}

void CIconButton::focusOutEvent(QFocusEvent* e) {
    QPushButton::focusOutEvent(e);
    EndHover();
}

void CIconButton::hideEvent(QHideEvent* e) {
    QPushButton::hideEvent(e);
    EndHover();
}

void CIconButton::TrackHover(QPoint pos, Qt::MouseButtons buttons) {
    if (!isFlat()) return;
    // A drag that started elsewhere does not light the button up.
    if ((buttons & Qt::LeftButton) && !m_bHover) return;
    const bool tracking = m_bAlwaysTrack || isActiveWindow();
    if (tracking && rect().contains(pos)) {
        if (!m_bHover) {
            m_bHover = true;
            update();
        }
    } else {
        EndHover();
    }
}

void CIconButton::EndHover() {
    if (!m_bHover) return;
    m_bHover = false;
    if (isFlat()) update();
}

QString WrapTooltipText(const QString& text, const QFont& font, int maxWidth) {
    QStringList out;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        if (paragraph.isEmpty()) {
            out << QString();
            continue;
        }
        QTextLayout layout(paragraph, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(maxWidth);
        }
        layout.endLayout();
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            QString piece = paragraph.mid(line.textStart(), line.textLength());
            // The space a line was broken at belongs to neither line.
            while (piece.endsWith(QLatin1Char(' '))) piece.chop(1);
            out << piece;
        }
    }
    return out.join(QLatin1Char('\n'));
}
