#include "ui/remark_box.h"

#include "ui/accessibility.h"
#include "ui/colours.h"
#include "ui/key_codes.h"
#include "ui/tile_numbering.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QValidator>

#include <algorithm>

namespace {
class GbkWidthValidator : public QValidator {
public:
    using QValidator::QValidator;
    // The box takes the text as corrected here, so a paste is cut instead of refused.
    State validate(QString& input, int& position) const override {
        if (RemarkBox::gbkLength(input) > RemarkBox::MaxBytes) {
            input = RemarkBox::fittingStart(input);
            position = std::min(position, int(input.size()));
        }
        return Acceptable;
    }
};
} // namespace

RemarkBox::RemarkBox(int tile, const QValidator* validator, QWidget* parent)
    : TextBox(parent), tile_(tile) {
    setObjectName(tiles::remarkBoxName(tile));
    setValidator(validator);
    setAccessibleDescription(objectName());
    describeRemark();
    connect(this, &QLineEdit::textChanged, this, &RemarkBox::describeRemark);
}

void RemarkBox::showStart() {
    deselect();
    setCursorPosition(0);
}

void RemarkBox::focusOutEvent(QFocusEvent* event) {
    // A context menu takes the focus for a moment; its paste or copy acts on the selection.
    if (event->reason() != Qt::PopupFocusReason)
        showStart();
    TextBox::focusOutEvent(event);
}

void RemarkBox::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool character =
        !typed.isEmpty() && typed.front().isPrint() && !event->matches(QKeySequence::Paste);
    if (character && gbkLength(text()) - gbkLength(selectedText()) + gbkLength(typed) > MaxBytes) {
        // The box keeps what it holds; the handlers still hear the key.
        event->accept();
        emit keyDown(keys::designCode(event->key()));
        return;
    }
    TextBox::keyPressEvent(event);
}

void RemarkBox::describeRemark() {
    const QString label = accessibility::tileLabel(tile_) + QStringLiteral(" 备注");
    setAccessibleName(text().isEmpty() ? label : label + u' ' + text());
    // Unchanged at the creation of every empty box, where setting it anyway costs a change
    // event each.
    if (toolTip() != text())
        setToolTip(text());
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

QString RemarkBox::fittingStart(const QString& text) {
    int bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype next =
            text[end].isHighSurrogate() && end + 1 < text.size() ? end + 2 : end + 1;
        bytes += text[end].unicode() < 0x80 ? 1 : 2;
        if (bytes > MaxBytes)
            break;
        end = next;
    }
    return text.left(end);
}

int RemarkBox::gbkLength(const QString& text) {
    int bytes = 0;
    for (char32_t c : text.toUcs4())
        bytes += c < 0x80 ? 1 : 2;
    return bytes;
}
