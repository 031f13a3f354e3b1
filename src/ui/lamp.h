#pragma once

#include "ui/marks.h"

#include <QWidget>

#include <optional>

// A status lamp (外形框): a round light filled with its colour, or drawn without fill when it
// has none. A lamp may also carry a label drawn across it and a mark in its upper right corner
// for what its colour cannot tell.
class Lamp : public QWidget {
    Q_OBJECT
public:
    Lamp(const QString& name, std::optional<quint32> colour, QWidget* parent);

    std::optional<quint32> colour() const { return colour_; }
    void setColour(std::optional<quint32> colour);
    QString label() const { return label_; }
    // What the label says to a screen reader, in words.
    QString spokenLabel() const { return spokenLabel_; }
    // drawn: lines separated by '\n', each drawn as large as the light allows.
    void setLabel(const QString& drawn, const QString& spoken);
    Mark mark() const { return mark_; }
    void setMark(Mark mark);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintLabel(QPainter& painter, const QRectF& light);

    std::optional<quint32> colour_;
    QString label_;
    QString spokenLabel_;
    Mark mark_ = Mark::None;
};
