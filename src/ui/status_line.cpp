#include "ui/status_line.h"

#include "ui/accessibility.h"

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("状态行"));
    setAccessibleName(QStringLiteral("提示"));
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setIndent(4);
}

void StatusLine::showLine(const QString& text, const QTime& at) {
    const QString line = at.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + text;
    history_.append(line);
    if (history_.size() > HistorySize)
        history_.removeFirst();
    setText(line);
    const QString recent = history_.join(QLatin1Char('\n'));
    setToolTip(recent);
    setAccessibleDescription(recent);
    accessibility::notifyNameChanged(this);
}
