#include "tiles/tile_switches.h"

#include "hub/frame_codec.h"
#include "platform/waits.h"
#include "state/context.h"
#include "state/rack_events.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "tiles/open_devices_list.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"
#include "ui/tile_numbering.h"

#include <QVector>

namespace {
// Kept in front of the device number while a switch of the slot awaits its echo: after a kill
// nobody can tell which way the slot went, and the tile must not claim either.
const QString UnconfirmedMark = QStringLiteral("?");

bool isConfirmedOn(const QString& kept) {
    return !kept.isEmpty() && !kept.startsWith(UnconfirmedMark);
}

StyledButton& buttonOf(Context& context, int tile) {
    return *context.window.tile(tile).button;
}

// The remark store under an alias of its own, so that a walk of the remark alias that an
// event is in the middle of keeps its place; the table that was current is current again after.
class SwitchStateSession {
public:
    explicit SwitchStateSession(Context& context)
        : store_(context.store), previous_(store_.currentAlias()),
          session_(store_, context.programDir + stores::RemarkFile, stores::SwitchStateAlias,
                   StoreSession::OnLeave::Close, stores::remarkColumns()) {}
    ~SwitchStateSession() {
        if (!previous_.isEmpty())
            store_.makeCurrent(previous_);
    }
    SwitchStateSession(const SwitchStateSession&) = delete;
    SwitchStateSession& operator=(const SwitchStateSession&) = delete;

    bool isOpen() const { return session_.isOpen(); }
    TableStore& store() const { return store_; }

private:
    TableStore& store_;
    QString previous_;
    StoreSession session_;
};
} // namespace

void TileSwitches::requested(int tile, bool on, const QString& frameText) {
    PendingSwitch& pending = context_.state.pendingSwitches[size_t(tile - 1)];
    pending.key = frame::echoKey(frameText);
    pending.switchingOn = on;
    pending.overdue = false;
    buttonOf(context_, tile).setConfirmation(StyledButton::Confirmation::Awaited);
    const LinkState& link = context_.state.links[size_t(tiles::linkOf(tile) - 1)];
    keepState(tile, UnconfirmedMark + link.deviceNumber);
    emit context_.events.switchRequested(tile, on, context_.state.switchCause);
    Context& context = context_;
    const QString key = pending.key;
    context_.services.waits.callAfter(ConfirmationMs, &context_.window, [&context, tile, key] {
        TileSwitches(context).overdue(tile, key);
    });
}

void TileSwitches::forgetRequest(int tile) {
    PendingSwitch& pending = context_.state.pendingSwitches[size_t(tile - 1)];
    pending.key.clear();
    pending.overdue = false;
    buttonOf(context_, tile).setConfirmation(StyledButton::Confirmation::Confirmed);
}

void TileSwitches::onEcho(int link, const QString& frameText) {
    const QString key = frame::echoKey(frameText);
    const int first = (link - 1) * SlotsPerLink + 1;
    for (int tile = first; tile < first + SlotsPerLink; ++tile) {
        const PendingSwitch& pending = context_.state.pendingSwitches[size_t(tile - 1)];
        if (pending.key == key) {
            confirmed(tile, pending.switchingOn);
            return;
        }
    }
}

// The look changes at once; the open-devices line of a tile switched on follows with the write
// that keeps its state, so that a burst of echoes reads the remark store once.
void TileSwitches::confirmed(int tile, bool on) {
    forgetRequest(tile);
    showLook(tile, on);
    const LinkState& link = context_.state.links[size_t(tiles::linkOf(tile) - 1)];
    keepState(tile, on ? link.deviceNumber : QString());
    emit context_.events.switchConfirmed(tile, on);
}

// Only the frame that set the deadline: a newer click has a deadline of its own.
void TileSwitches::overdue(int tile, const QString& key) {
    PendingSwitch& pending = context_.state.pendingSwitches[size_t(tile - 1)];
    if (pending.key.isEmpty() || pending.key != key || pending.overdue)
        return;
    pending.overdue = true;
    buttonOf(context_, tile).setConfirmation(StyledButton::Confirmation::Missing);
    emit context_.events.switchUnconfirmed(tile, pending.switchingOn);
}

// The caption, the look and the lamp; a tile switched off loses its open-devices line at once,
// one switched on gets it from whoever reads its remark.
void TileSwitches::showLook(int tile, bool on) {
    const MainWindow::Tile& controls = context_.window.tile(tile);
    StyledButton& button = *controls.button;
    if (on) {
        button.setLit(true);
        button.setColourSlot(4, colour::Green);
        button.setColourSlot(1, colour::White);
        button.setColourSlot(2, colour::Blue);
        button.setColourSlot(3, colour::DarkGreen);
        button.setText(captions::TileOpened);
        controls.lamp->setColour(colour::Blue);
    } else {
        button.setLit(false);
        button.setText(captions::TileClosed);
        controls.lamp->setColour(colour::Red);
        open_devices::remove(context_, tile);
    }
}

// A burst of switches is written as one transaction shortly after it has been handled.
void TileSwitches::keepState(int tile, const QString& deviceNumber) {
    GlobalState& state = context_.state;
    const bool first = state.unsavedSwitchStates.isEmpty();
    state.unsavedSwitchStates.insert(tile, deviceNumber);
    if (!first)
        return;
    Context& context = context_;
    context_.services.waits.callAfter(SaveDelayMs, &context_.window,
                                      [&context] { TileSwitches(context).saveStates(); });
}

void TileSwitches::saveStates() {
    const QMap<int, QString> states = std::exchange(context_.state.unsavedSwitchStates, {});
    if (states.isEmpty())
        return;
    QMap<int, QString> remarksOfOpened;
    {
        const SwitchStateSession session(context_);
        TableStore& store = session.store();
        TableStore::Batch batch(store);
        // The tiles come in order, so one walk reaches them all.
        int record = 1;
        for (auto it = states.begin(); it != states.end(); ++it) {
            for (; record < it.key(); ++record)
                store.skip();
            if (isConfirmedOn(it.value()))
                remarksOfOpened.insert(it.key(), store.readField(stores::RemarkField));
            store.writeField(stores::SwitchStateField, it.value());
        }
    }
    // A tile switched off again since keeps no line.
    for (auto it = remarksOfOpened.begin(); it != remarksOfOpened.end(); ++it) {
        if (buttonOf(context_, it.key()).text() == captions::TileOpened)
            open_devices::add(context_, it.key(), it.value());
    }
}

void TileSwitches::onLinkFound(int link, const QString& deviceNumber) {
    // What is still to be written is what the tiles show now.
    saveStates();
    const int first = (link - 1) * SlotsPerLink + 1;
    QVector<QString> kept(SlotsPerLink);
    QVector<QString> remarks(SlotsPerLink);
    {
        const SwitchStateSession session(context_);
        if (!session.isOpen())
            return;
        TableStore& store = session.store();
        goToRecord(store, first);
        for (int slot = 0; slot < SlotsPerLink; ++slot, store.skip()) {
            kept[slot] = store.readField(stores::SwitchStateField);
            remarks[slot] = store.readField(stores::RemarkField);
        }
    }
    for (int slot = 0; slot < SlotsPerLink; ++slot) {
        const int tile = first + slot;
        const bool on = kept[slot] == deviceNumber;
        const bool unknown = kept[slot] == UnconfirmedMark + deviceNumber;
        if (!on && !unknown && !kept[slot].isEmpty())
            keepState(tile, QString());
        StyledButton& button = buttonOf(context_, tile);
        if (on != (button.text() == captions::TileOpened))
            showLook(tile, on);
        if (on)
            open_devices::add(context_, tile, remarks[slot]);
        if (unknown && context_.state.pendingSwitches[size_t(tile - 1)].key.isEmpty())
            button.setConfirmation(StyledButton::Confirmation::Missing);
    }
}
