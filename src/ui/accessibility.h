#pragma once

#include "ui/marks.h"

#include <QAccessible>
#include <QString>

#include <optional>

class QObject;

// What screen readers and test tools read of the window (AT-SPI through Qt): every control
// names itself and the state it shows, and its design name is its description, so that a tool
// finds 超级按钮12 as surely as a handler does. The program's own control kinds get interfaces
// of their own here; the standard ones get their texts where the window creates them.
namespace accessibility {

// Puts the interfaces of the styled buttons, lamps and the tile area in place; the window calls
// it before it creates its first control. Calling it again changes nothing.
void install();

// Tile N reads as 设备N wherever a member of the tile is named, so that the button, the remark
// box and the lamp of one tile are heard as belonging together.
QString tileLabel(int tile);

// A lamp's colour in words, as a lamp reads it out.
QString colourName(std::optional<quint32> colour);

// What a lamp's mark says after its design name in its description; empty for none.
QString markNote(Mark mark);
// What the tab of a lost link says after its design name in its description.
inline const QString LostPageNote = QStringLiteral("已断开");

// Tell a listening tool that what it read of object is out of date. Without one they return at
// once.
void notifyNameChanged(QObject* object);
void notifyDescriptionChanged(QObject* object);
void notifyStateChanged(QObject* object, QAccessible::State changed);

} // namespace accessibility
