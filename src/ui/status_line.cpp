#include "ui/status_line.h"

#include "ui/accessibility.h"

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    // Not a control of the window design, so no design name.
    setObjectName(QStringLiteral("statusLine"));
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
    // A screen reader reads the line itself as the name, and the tooltip, the last few, as
    // the description.
    setToolTip(recent);
    accessibility::notifyNameChanged(this);
}
