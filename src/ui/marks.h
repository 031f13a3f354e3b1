#pragma once

#include <QIcon>
#include <QRectF>

class QPainter;

// The small signs that tell what a colour alone cannot: a lamp that is red because its slot is
// off looks just like one whose board never confirmed, or whose board is out of reach. Each
// mark differs from the others in shape as well as colour, so that it reads without colour.
enum class Mark {
    None,
    // The board did not confirm the last switch: a magenta disc with "?", as on the button.
    Unconfirmed,
    // The board's link was lost while it may still power the slot: a yellow triangle with "!".
    Lost,
};

namespace marks {
// Draws mark filling box, which should be square.
void paint(QPainter& painter, const QRectF& box, Mark mark);
// The mark as an icon of the given side, for places that show icons (a tab).
QIcon icon(Mark mark, int side = 16);
} // namespace marks
