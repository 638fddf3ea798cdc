#pragma once

// Sizes of the window layouts are given in dialog units, which scale with the dialog's font:
// a horizontal unit is a quarter of the average character width, a vertical one an eighth of
// the character height. The windows arrange their controls with Qt's layouts (margins and
// spacing as the style has them) and give the controls at least their sizes in these units.

#include "app/screen_fit.h"

#include <QFont>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace mwdx {

class DialogUnits final {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        // The average over the Latin letters, as the base unit has always been measured.
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
        m_baseY = metrics.height();
    }

    int X(int units) const { return (units * m_baseX + 2) / 4; }
    int Y(int units) const { return (units * m_baseY + 4) / 8; }
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }
    QRect Rect(int x, int y, int width, int height) const { return {X(x), Y(y), X(width), Y(height)}; }

private:
    int m_baseX = 6;
    int m_baseY = 13;
};

// A new child control named `name` at a fixed `geometry` in its parent. Prefer MakeChild and a
// layout, which keep texts whole in every language.
template <class Widget> Widget* Place(QWidget* parent, const char* name, const QRect& geometry) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

// A new child widget named `name` (tests find it by that name), at least `minimum` large.
template <class Widget> Widget* MakeChild(QWidget* parent, const char* name, QSize minimum = QSize(0, 0)) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setMinimumSize(minimum);
    return widget;
}

// A push button `minimum` large where there is room and, whatever its text in whatever language,
// wide enough to keep about a character's width clear of each edge: on a narrow screen it gives up
// the template's width, never its text.
class TemplateButton final : public QPushButton {
public:
    TemplateButton(QWidget* parent, const char* name, const DialogUnits& units, QSize minimum)
        : QPushButton(parent), m_minimum(minimum), m_padding(units.X(8)) {
        setObjectName(QLatin1String(name));
        // A button's own policy would keep its whole usual width as its least.
        setSizePolicy(QSizePolicy::Preferred, sizePolicy().verticalPolicy());
    }

    QSize sizeHint() const override { return minimumSizeHint().expandedTo(m_minimum); }
    QSize minimumSizeHint() const override {
        // The style's own size has room enough for a short text; a long one gets its clearance.
        const QSize hint = QPushButton::sizeHint();
        const int margins = 2 * style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, this);
        const int width = std::max(hint.width(), fontMetrics().horizontalAdvance(text()) + m_padding + margins);
        return {width, std::max(m_minimum.height(), hint.height())};
    }

private:
    QSize m_minimum;
    int m_padding;
};

// OK and Cancel side by side at the right of a row, as at the bottom of every dialog.
inline QHBoxLayout* OkCancelRow(QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

// The width a window's caption needs in a title bar: its text in a bold font, with room for the
// window menu and three buttons of about two lines' height each.
inline int CaptionWidth(const QWidget& window) {
    QFont bold = window.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    return metrics.horizontalAdvance(window.windowTitle()) + 4 * 2 * metrics.height();
}

// Fixes `window` at the size its layout needs with the texts it shows now, and wide enough for
// its caption (nothing is cut, in any language, at any scale), but never smaller than `least`,
// its size as it was first drawn, unless the screen has no room for that much.
inline void FitToContents(QWidget& window, QSize least) {
    QSize size = window.minimumSizeHint().expandedTo(least.boundedTo(AvailableRoom(window)));
    if (!window.windowFlags().testFlag(Qt::FramelessWindowHint)) {
        size.setWidth(std::max(size.width(), CaptionWidth(window)));
    }
    window.setFixedSize(size);
}

} // namespace mwdx
