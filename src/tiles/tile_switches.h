#pragma once

#include "state/rack_events.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct Context;

// The life of a tile's switch, in one place: the intent is kept, then the frame goes out and
// the tile waits for its echo; the echo confirms it in the rack model, which keeps it; an echo
// that is overdue shows on the tile until it comes.
class TileSwitches {
public:
    // How long a board has to echo a switch before the tile says it was not confirmed.
    static constexpr int ConfirmationMs = 1000;

    explicit TileSwitches(Context& context) : context_(context) {}

    // Switches the slots of tiles, all on found links, the way on says: one synced write keeps
    // every intent, and once the writer says so each frame goes out; the window does not wait
    // for it. sent is told false, nothing sent, for a switch on whose intents could not be
    // kept; a switch off goes out all the same.
    void send(const QList<int>& tiles, bool on, RackEvents::Cause cause,
              std::function<void(bool sent)> sent = {});
    // A complete switch echo on link 1 ... 8. An echo that repeats no frame awaited on that
    // link changes nothing.
    void onEcho(int link, const QString& frameText);

private:
    void transmit(const QList<int>& tiles, bool on, RackEvents::Cause cause,
                  const QStringList& frames, const QStringList& keys);
    void overdue(int tile, const QString& key);

    Context& context_;
};
