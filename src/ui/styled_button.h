#pragma once

#include <QAbstractButton>

class QPainter;

#include <array>
#include <optional>

// A button (超级按钮) that paints itself in a plain look or in a lit look drawn with four
// colour slots: 1 text, 2 border, 3 pressed fill, 4 fill. A slot no handler has set draws in a
// default highlight, so a button lit without colours still shows its caption; text and fill
// are drawn deepened where needed to stay readable (colour::readable). The look is
// independent of the caption and of the enabled state. Its sound switch says whether a click on it
// plays the prompt tune; every button starts with it off.
class StyledButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(bool soundOn READ isSoundOn WRITE setSoundOn)
public:
    StyledButton(const QString& name, const QString& caption, QWidget* parent);

    bool isLit() const { return lit_; }
    // Returning to the plain look undoes the slot colours.
    void setLit(bool lit);
    // slot is 1 ... 4; the colour is a blue-green-red value.
    void setColourSlot(int slot, quint32 colour);
    // 0 for a slot that has not been set since the button was last plain.
    quint32 colourSlot(int slot) const;

    // Whether the board has confirmed the button's last switch. Drawn over either look as a
    // frame, so that the caption and the colour slots keep meaning the slot's state.
    enum class Confirmation { Confirmed, Awaited, Missing };
    Confirmation confirmation() const { return confirmation_; }
    void setConfirmation(Confirmation confirmation);

    bool isSoundOn() const { return soundOn_; }
    void setSoundOn(bool on) { soundOn_ = on; }

    QSize sizeHint() const override { return {88, 40}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintConfirmation(QPainter& painter, const QRectF& frame);

    bool lit_ = false;
    bool soundOn_ = false;
    Confirmation confirmation_ = Confirmation::Confirmed;
    std::array<std::optional<quint32>, 4> slots_{};
};
