#pragma once

#include "ui/text_box.h"

#include <optional>

// The remark box of a device tile (超级编辑框N). Its stored field is 20 bytes of GBK text, so
// the box holds at most 20 bytes counted in whole characters: an ASCII character takes one
// byte, every other character two. Typing stops there (a key that would push characters out
// is refused), and a longer paste keeps what fits from the start.
//
// A remark is read from its start: whenever the box is not being typed in, and after a save,
// it shows its first characters with nothing selected. The whole remark is in its tooltip and
// accessible name, for a remark wider than the box.
class RemarkBox : public TextBox {
    Q_OBJECT
    // The design's tag: the tile number as text. Declared rather than set on each box, which
    // would give each of the 336 a store of dynamic properties of its own.
    Q_PROPERTY(QString tag READ tag CONSTANT)
public:
    static constexpr int MaxBytes = 20;

    // validator comes from createValidator(); one serves every box, as it keeps no state.
    RemarkBox(int tile, const QValidator* validator, QWidget* parent);

    QString tag() const { return QString::number(tile_); }

    // The colour behind the text while the box is being edited; none gives the default back.
    void setHighlight(std::optional<quint32> colour);
    std::optional<quint32> highlight() const { return highlight_; }

    // Scrolls back to the first character and drops the selection.
    void showStart();

    static QValidator* createValidator(QObject* parent);

    static int gbkLength(const QString& text);
    // The longest start of text that fits into the box, in whole characters.
    static QString fittingStart(const QString& text);

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void describeRemark();

    const int tile_;
    std::optional<quint32> highlight_;
};
