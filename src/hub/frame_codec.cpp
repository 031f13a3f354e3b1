#include "hub/frame_codec.h"

namespace {
int digitValue(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}
} // namespace

void append_hex(QString& text, int value) {
    const int byte = value & 0xFF;
    text += QLatin1Char(frame::HexDigits[byte >> 4]);
    text += QLatin1Char(frame::HexDigits[byte & 0xF]);
}

QString byte_to_hex(int value) {
    QString text;
    text.reserve(2);
    append_hex(text, value);
    return text;
}

QByteArray hex_to_bytes(const QString& text) {
    QString digits = text;
    digits.remove(u',').remove(u'{').remove(u'}');
    QByteArray bytes;
    bytes.reserve((digits.size() + 1) / 2);
    // Characters that are no digit count 0; every frame text is composed from hex digits.
    auto value = [](QChar c) { return qMax(0, digitValue(c)); };
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2)
        bytes.append(char(value(digits[i]) * 16 + value(digits[i + 1])));
    if (digits.size() % 2 == 1)
        bytes.append(char(value(digits.back())));
    return bytes;
}

int hex_to_int(const QString& text) {
    if (text.size() > 8)
        return -1;
    quint32 result = 0;
    for (QChar c : text) {
        const int digit = digitValue(c);
        if (digit < 0)
            return -1;
        result = result * 16 + quint32(digit);
    }
    return int(result);
}

QString text_between(const QString& text, const QString& left, const QString& right) {
    if (left.isEmpty() || right.isEmpty())
        return {};
    const qsizetype start = text.indexOf(left, 0, Qt::CaseInsensitive);
    if (start < 0)
        return {};
    const qsizetype from = start + left.size();
    const qsizetype end = text.indexOf(right, from, Qt::CaseInsensitive);
    if (end < 0)
        return {};
    return text.mid(from, end - from);
}

namespace frame {

QString queryText(int probeNumber) {
    return QStringLiteral("a5a680") + byte_to_hex(probeNumber) + QStringLiteral("0000000000") +
           byte_to_hex(459 + probeNumber) + QStringLiteral("a7a8");
}

QString switchText(const QString& linkAddress, const QString& deviceNumber, int slot,
                   Command command) {
    const int value = int(command);
    const int checksum = 460 + value + hex_to_int(linkAddress) + hex_to_int(deviceNumber) + slot;
    return QStringLiteral("A5A681") + linkAddress + deviceNumber + QStringLiteral("00") +
           byte_to_hex(slot) +
           (command == Command::On ? QStringLiteral("01") : QStringLiteral("00")) +
           byte_to_hex(checksum) + QStringLiteral("A7A8");
}

QString confirmationKey(const QString& frameText) {
    return text_between(frameText, QStringLiteral("6"), QStringLiteral("A"));
}

bool isFramed(const QString& frameText) {
    return frameText.size() == TextLength && frameText.startsWith(QLatin1String("A5A6")) &&
           frameText.endsWith(QLatin1String("A7A8"));
}

QString echoKey(const QString& frameText) {
    return frameText.mid(4, 16).toUpper();
}

QString deviceNumber(const QString& frameText) {
    return frameText.mid(8, 4);
}

} // namespace frame
