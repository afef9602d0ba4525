#include "ui/FlatProgressBar.h"

#include <QPainter>

#include <algorithm>

namespace ui {

namespace {

// The sunken edge is one dark and one light line on each side.
constexpr int kEdge = 1;
// A gap of the base colour between the edge and the fill.
constexpr int kGap = 1;

}  // namespace

FlatProgressBar::FlatProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int FlatProgressBar::filledWidth() const {
    const int inner = std::max(0, width() - 2 * (kEdge + kGap));
    // In 64 bits: the value range of a bar can span the whole int range.
    const long long span = static_cast<long long>(maximum()) - minimum();
    if (span <= 0) return value() >= maximum() ? inner : 0;
    const long long done = std::clamp<long long>(static_cast<long long>(value()) - minimum(), 0, span);
    return static_cast<int>(done * inner / span);
}

void FlatProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    const QRect area = rect();
    painter.fillRect(area, colours.color(QPalette::Base));
    painter.setPen(colours.color(QPalette::Dark));
    painter.drawLine(area.topLeft(), area.topRight());
    painter.drawLine(area.topLeft(), area.bottomLeft());
    painter.setPen(colours.color(QPalette::Light));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.topRight(), area.bottomRight());
    const QRect inner = area.adjusted(kEdge + kGap, kEdge + kGap, -(kEdge + kGap), -(kEdge + kGap));
    const int filled = filledWidth();
    if (filled > 0 && inner.height() > 0)
        painter.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), colours.color(QPalette::Highlight));
}

}  // namespace ui
