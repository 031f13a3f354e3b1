#include "ui/remark_box.h"

#include "ui/accessibility.h"
#include "ui/colours.h"
#include "ui/tile_numbering.h"

#include <QValidator>

namespace {
class GbkWidthValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return RemarkBox::gbkLength(input) <= RemarkBox::MaxBytes ? Acceptable : Invalid;
    }
};
} // namespace

RemarkBox::RemarkBox(int tile, const QValidator* validator, QWidget* parent) : TextBox(parent) {
    setObjectName(tiles::remarkBoxName(tile));
    setProperty("tag", QString::number(tile));
    setValidator(validator);
    setAccessibleName(accessibility::tileLabel(tile) + QStringLiteral(" 备注"));
    setAccessibleDescription(objectName());
}

void RemarkBox::setHighlight(std::optional<quint32> colour) {
    if (highlight_ == colour)
        return;
    highlight_ = colour;
    if (!colour) {
        // An empty palette inherits the window's again.
        setPalette(QPalette());
        return;
    }
    QPalette look = palette();
    look.setColor(QPalette::Base, colour::toQColor(*colour));
    setPalette(look);
}

QValidator* RemarkBox::createValidator(QObject* parent) {
    return new GbkWidthValidator(parent);
}

int RemarkBox::gbkLength(const QString& text) {
    int bytes = 0;
    for (char32_t c : text.toUcs4())
        bytes += c < 0x80 ? 1 : 2;
    return bytes;
}
