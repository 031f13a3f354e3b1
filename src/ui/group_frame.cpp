#include "ui/group_frame.h"

#include <QPainter>

namespace {
// Where the frame's top edge runs, and where the title starts along it.
constexpr int FrameTop = 7;
constexpr int TitleLeft = 6;
constexpr int TitlePadding = 2;
} // namespace

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font());
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, FrameTop + 0.5, -0.5, -0.5), 3, 3);
    const int titleWidth = metrics.horizontalAdvance(title()) + 2 * TitlePadding;
    const QRect titleRect(TitleLeft, FrameTop - metrics.height() / 2, titleWidth, metrics.height());
    painter.fillRect(titleRect, palette().color(QPalette::Window));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(titleRect, Qt::AlignCenter, title());
}
