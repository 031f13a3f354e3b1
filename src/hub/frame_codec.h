#pragma once

#include <QByteArray>
#include <QString>

// Frames to and from the hub boards are handled as text, two hexadecimal digits per byte;
// these conversions and the two frames the program sends are the whole codec.

// Two upper-case hexadecimal digits of the low 8 bits of value.
QString byte_to_hex(int value);
// The same two digits appended to text, without a temporary string.
void append_hex(QString& text, int value);
// Pairs of hexadecimal digits to bytes; ',', '{' and '}' are ignored and a last single digit
// gives one byte of its own value.
QByteArray hex_to_bytes(const QString& text);
// Up to 8 hexadecimal digits (any case) as a number; -1 for anything else, 0 for empty text.
int hex_to_int(const QString& text);
// The text between the first occurrence of left and the first occurrence of right after it,
// letter case ignored; empty when either marker is empty or not found.
QString text_between(const QString& text, const QString& left, const QString& right);

namespace frame {
// The digits byte_to_hex writes, by nibble value.
inline constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr int Bytes = 12;
constexpr int TextLength = 2 * Bytes;
// Whether a received frame text begins with A5 A6 and ends with A7 A8, as a board frames it.
bool isFramed(const QString& frameText);

// The query frame that probes serial port probeNumber during a link scan.
QString queryText(int probeNumber);
// The query frame of a bound connect; the same bytes as queryText(1).
inline const QString BoundQueryText = QStringLiteral("a5a680010000000000cca7a8");

enum class Command { Off = 0, On = 1 };
// The tile switch frame for a slot of the board at linkAddress (2 digits) with deviceNumber
// (4 digits). The checksum leaves out offset 4: only the low 8 bits of the sum count.
QString switchText(const QString& linkAddress, const QString& deviceNumber, int slot,
                   Command command);
// The key that ties a switch frame to its echo: from the frame kind to before the first 'A'.
QString confirmationKey(const QString& frameText);
// What ties a switch frame to its echo without cutting it anywhere: offsets 2 ... 9 (frame
// kind, address, device number, slot, command, checksum) as upper-case text.
QString echoKey(const QString& frameText);
// The board's device number: offsets 4..5 of a complete frame text.
QString deviceNumber(const QString& frameText);
} // namespace frame
