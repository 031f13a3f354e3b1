#include "tiles/tile_switches.h"

#include "hub/frame_codec.h"
#include "platform/serial_port.h"
#include "platform/waits.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "ui/main_window.h"
#include "ui/tile_numbering.h"

void TileSwitches::send(const QList<int>& tiles, bool on, RackEvents::Cause cause,
                        std::function<void(bool sent)> sent) {
    QStringList frames;
    QStringList keys;
    for (int tile : tiles) {
        const int linkNumber = tiles::linkOf(tile);
        const LinkState& link = context_.state.links[size_t(linkNumber - 1)];
        frames.append(frame::switchText(byte_to_hex(context_.rack.port(linkNumber)),
                                        link.deviceNumber, tiles::slotOf(tile),
                                        on ? frame::Command::On : frame::Command::Off));
        keys.append(frame::echoKey(frames.last()));
    }
    // A failure is said by whoever follows the model's writes.
    Context& context = context_;
    context_.rack.ask(tiles, on, keys, [&context, tiles, on, cause, frames, keys, sent](bool go) {
        if (go)
            TileSwitches(context).transmit(tiles, on, cause, frames, keys);
        if (sent)
            sent(go);
    });
}

// Only the frames whose tiles still await them: a lost link or a newer switch has let go.
void TileSwitches::transmit(const QList<int>& tiles, bool on, RackEvents::Cause cause,
                            const QStringList& frames, const QStringList& keys) {
    Context& context = context_;
    for (int i = 0; i < tiles.size(); ++i) {
        const int tile = tiles[i];
        const RackModel::Asked* asked = context_.rack.asked(tile);
        if (!asked || asked->key != keys[i])
            continue;
        context_.ports[size_t(tiles::linkOf(tile) - 1)]->send(hex_to_bytes(frames[i]));
        emit context_.events.switchRequested(tile, on, cause);
        const QString key = keys[i];
        context_.services.waits.callAfter(ConfirmationMs, &context_.window, [&context, tile, key] {
            TileSwitches(context).overdue(tile, key);
        });
    }
}

void TileSwitches::onEcho(int link, const QString& frameText) {
    const QString key = frame::echoKey(frameText);
    const int first = tiles::firstTile(link);
    for (int tile = first; tile < first + SlotsPerLink; ++tile) {
        const RackModel::Asked* asked = context_.rack.asked(tile);
        if (asked && asked->key == key) {
            context_.rack.confirm(tile);
            return;
        }
    }
}

// Only the frame that set the deadline: a newer switch has a deadline of its own.
void TileSwitches::overdue(int tile, const QString& key) {
    const RackModel::Asked* asked = context_.rack.asked(tile);
    const bool on = asked && asked->on;
    if (context_.rack.markOverdue(tile, key))
        emit context_.events.switchUnconfirmed(tile, on);
}
