#include "tiles/power_cycle.h"

#include "platform/speech.h"
#include "platform/waits.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "tiles/tile_click_rules.h"
#include "tiles/tile_switches.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/tile_numbering.h"

void PowerCycle::onCycleChosen(StyledButton* button) {
    const int tile = tiles::numberFromName(button->objectName(), tiles::ButtonPrefix);
    if (tile < 1 || tile > TileCount)
        return;
    if (const auto refused = tile_click_rules::refusal(context_, tile)) {
        context_.services.speech.speak(refused->prompt);
        return;
    }
    if (!cycle({tile}, DefaultOffMs, RackEvents::Cause::Click).isEmpty())
        context_.services.speech.speak(QStringLiteral("正在断电重启"));
}

QList<int> PowerCycle::cycle(const QList<int>& tiles, int offMs, RackEvents::Cause cause) {
    GlobalState& state = context_.state;
    QList<int> refused;
    QList<int> switchedOff;
    for (int tile : tiles) {
        if (state.powerCycles.contains(tile)) {
            refused.append(tile);
            continue;
        }
        const int id = ++state.lastPowerCycle;
        state.powerCycles.insert(tile, id);
        if (context_.rack.state(tile) == SlotState::On)
            switchedOff.append(tile);
        Context& context = context_;
        context_.services.waits.callAfter(offMs, &context_.window, [&context, tile, id, cause] {
            PowerCycle(context).switchBackOn(tile, id, cause);
        });
    }
    if (!switchedOff.isEmpty())
        TileSwitches(context_).send(switchedOff, false, cause);
    return refused;
}

void PowerCycle::switchBackOn(int tile, int cycleId, RackEvents::Cause cause) {
    GlobalState& state = context_.state;
    // A cycle cut short, and one the window no longer runs, end where they are.
    if (state.powerCycles.value(tile) != cycleId || state.closing)
        return;
    state.powerCycles.remove(tile);
    if (const auto refused = tile_click_rules::refusal(context_, tile)) {
        emit context_.events.powerCycleCutShort(tile, refused->prompt);
        return;
    }
    if (context_.rack.state(tile) != SlotState::On)
        TileSwitches(context_).send({tile}, true, cause);
}
