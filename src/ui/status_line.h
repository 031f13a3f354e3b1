#pragma once

#include <QLabel>
#include <QStringList>
#include <QTime>

// The line under the tile area that shows every prompt as it is spoken, with the time, so that
// an operator who cannot hear it (no sound device, a muted machine, a deaf operator) loses
// nothing. The last few lines are in its tooltip, which is also its accessible description.
class StatusLine : public QLabel {
    Q_OBJECT
public:
    static constexpr int HistorySize = 5;

    explicit StatusLine(QWidget* parent);

    void showLine(const QString& text, const QTime& at = QTime::currentTime());
    // Newest last.
    const QStringList& history() const { return history_; }

private:
    QStringList history_;
};
