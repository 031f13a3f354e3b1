#include "mqtt/rack_view.h"

#include "rack/rack_model.h"
#include "state/context.h"

namespace rack_view {

QStringList stateWords(Context& context, const QList<int>& tiles) {
    QStringList words;
    for (int tile : tiles)
        words.append(slotWord(context.rack.state(tile)));
    return words;
}

} // namespace rack_view
