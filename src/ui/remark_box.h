#pragma once

#include "ui/text_box.h"

#include <optional>

// The remark box of a device tile (超级编辑框N). Its stored field is 20 bytes of GBK text, so
// typing stops at 20 bytes counted in whole characters: an ASCII character takes one byte,
// every other character two.
class RemarkBox : public TextBox {
    Q_OBJECT
public:
    static constexpr int MaxBytes = 20;

    // validator comes from createValidator(); one serves every box, as it keeps no state.
    RemarkBox(int tile, const QValidator* validator, QWidget* parent);

    // The colour behind the text while the box is being edited; none gives the default back.
    void setHighlight(std::optional<quint32> colour);
    std::optional<quint32> highlight() const { return highlight_; }

    static QValidator* createValidator(QObject* parent);

    static int gbkLength(const QString& text);

private:
    std::optional<quint32> highlight_;
};
