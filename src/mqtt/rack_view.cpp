#include "mqtt/rack_view.h"

#include "script/script_commands.h"
#include "state/dimensions.h"

#include <QJsonArray>

namespace rack_view {

QStringList stateWords(Context& context, const QList<int>& tiles) {
    const QJsonObject status = ScriptCommands(context).status();
    const QJsonArray links = status.value(QStringLiteral("links")).toArray();
    const QJsonArray on = status.value(QStringLiteral("on")).toArray();
    const QJsonArray unconfirmed = status.value(QStringLiteral("unconfirmed")).toArray();
    QStringList words;
    for (int tile : tiles) {
        const bool found =
            links.at((tile - 1) / SlotsPerLink).toObject().value(QStringLiteral("found")).toBool();
        const bool isOn = on.contains(tile);
        if (!found)
            words.append(isOn ? QStringLiteral("unknown") : QStringLiteral("not connected"));
        else if (unconfirmed.contains(tile))
            words.append(QStringLiteral("unknown"));
        else
            words.append(isOn ? QStringLiteral("on") : QStringLiteral("off"));
    }
    return words;
}

} // namespace rack_view
