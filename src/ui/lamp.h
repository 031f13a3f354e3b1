#pragma once

#include <QWidget>

#include <optional>

// A status lamp (外形框): a round light filled with its colour, or drawn without fill when it
// has none.
class Lamp : public QWidget {
    Q_OBJECT
public:
    Lamp(const QString& name, std::optional<quint32> colour, QWidget* parent);

    std::optional<quint32> colour() const { return colour_; }
    void setColour(std::optional<quint32> colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<quint32> colour_;
};
