#include "rack/rack_model.h"

#include "platform/waits.h"

#include <algorithm>

using tiles::firstTile;
using tiles::linkOf;
using tiles::slotOf;

RackModel::RackModel(KeptSwitches& kept, Waits& waits, QObject* parent)
    : QObject(parent), kept_(kept), waits_(waits), binding_(LinkCount) {}

void RackModel::load() {
    const QHash<QString, KeptSwitches::Board> stored = kept_.load();
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        Board& each = board(it.key());
        each.link = it.value().link;
        for (int slot = 0; slot < SlotsPerLink && slot < it.value().slotStates.size(); ++slot)
            each.slotStates[size_t(slot)] = it.value().slotStates[slot];
    }
    for (int link = 1; link <= LinkCount; ++link)
        changeLink(link);
}

RackModel::Board& RackModel::board(const QString& deviceNumber) {
    return boards_[deviceNumber];
}

const RackModel::Board* RackModel::shownBoard(int link) const {
    const QString device = shownDevice(link);
    const auto it = boards_.find(device);
    return device.isEmpty() || it == boards_.end() ? nullptr : &it.value();
}

QString RackModel::shownDevice(int link) const {
    if (isFound(link))
        return foundDevice(link);
    for (auto it = boards_.begin(); it != boards_.end(); ++it) {
        if (it.value().link == link)
            return it.key();
    }
    return {};
}

void RackModel::changeLink(int link) {
    emit linkChanged(link);
    for (int tile = firstTile(link); tile < firstTile(link) + SlotsPerLink; ++tile)
        emit tileChanged(tile);
}

void RackModel::linkFound(int link, const QString& deviceNumber, int portNumber) {
    // The lost board is back, here or on another link; or another board took its link.
    lost_[size_t(link - 1)].clear();
    for (QString& device : lost_) {
        if (device == deviceNumber)
            device.clear();
    }
    found_[size_t(link - 1)] = deviceNumber;
    ports_[size_t(link - 1)] = portNumber;
    int holders = 0;
    for (const QString& each : found_)
        holders += each == deviceNumber ? 1 : 0;
    if (holders > 1) {
        const bool first = !duplicates_.contains(deviceNumber);
        duplicates_.insert(deviceNumber);
        if (first)
            emit duplicateFound(deviceNumber);
        // Neither board's kept state applies any more: every tile of both reads unknown.
        for (int each = 1; each <= LinkCount; ++each) {
            if (found_[size_t(each - 1)] == deviceNumber)
                changeLink(each);
        }
        return;
    }
    // The board takes the link's tiles over from whichever board they showed; that one stays
    // known with whatever it kept, on no link, until it is found again.
    Board& found = board(deviceNumber);
    const int previous = found.link;
    for (auto it = boards_.begin(); it != boards_.end(); ++it) {
        if (it.key() != deviceNumber && it.value().link == link) {
            it.value().link = 0;
            unsavedLinks_.insert(it.key(), 0);
        }
    }
    if (previous != link) {
        found.link = link;
        unsavedLinks_.insert(deviceNumber, link);
        scheduleFlush();
    }
    changeLink(link);
    if (previous != 0 && previous != link)
        changeLink(previous);
}

void RackModel::linkGone(int link) {
    const QString device = std::exchange(found_[size_t(link - 1)], {});
    ports_[size_t(link - 1)] = 0;
    for (int tile = firstTile(link); tile < firstTile(link) + SlotsPerLink; ++tile)
        asked_[size_t(tile - 1)].key.clear();
    changeLink(link);
    // The board left on its own takes its tiles as a board found anew.
    const auto holder = std::find(found_.begin(), found_.end(), device);
    if (duplicates_.contains(device) && std::count(found_.begin(), found_.end(), device) < 2) {
        duplicates_.remove(device);
        if (holder != found_.end()) {
            const int other = int(holder - found_.begin()) + 1;
            linkFound(other, device, ports_[size_t(other - 1)]);
        }
    }
}

void RackModel::linkLost(int link) {
    lost_[size_t(link - 1)] = found_[size_t(link - 1)];
    linkGone(link);
}

void RackModel::setBinding(const QStringList& deviceNumbers) {
    binding_ = deviceNumbers;
    binding_.resize(LinkCount);
    for (int link = 1; link <= LinkCount; ++link)
        emit linkChanged(link);
}

bool RackModel::anyBinding() const {
    return std::any_of(binding_.begin(), binding_.end(),
                       [](const QString& device) { return !device.isEmpty(); });
}

SlotState RackModel::state(int tile) const {
    const int link = linkOf(tile);
    const Board* shown = shownBoard(link);
    const Kept kept = shown ? shown->slotStates[size_t(slotOf(tile) - 1)] : Kept::Off;
    const bool awaiting = !asked_[size_t(tile - 1)].key.isEmpty();
    if (!isFound(link))
        return kept != Kept::Off || awaiting ? SlotState::Unknown : SlotState::NotConnected;
    if (isDuplicate(foundDevice(link)) || awaiting || kept == Kept::Asked)
        return SlotState::Unknown;
    return kept == Kept::On ? SlotState::On : SlotState::Off;
}

bool RackModel::keptOn(int tile) const {
    const Board* shown = shownBoard(linkOf(tile));
    return shown && shown->slotStates[size_t(slotOf(tile) - 1)] == Kept::On &&
           asked_[size_t(tile - 1)].key.isEmpty() && !isDuplicate(foundDevice(linkOf(tile)));
}

const RackModel::Asked* RackModel::asked(int tile) const {
    const Asked& each = asked_[size_t(tile - 1)];
    return each.key.isEmpty() ? nullptr : &each;
}

bool RackModel::askedBefore(int tile) const {
    const Board* shown = shownBoard(linkOf(tile));
    return shown && shown->slotStates[size_t(slotOf(tile) - 1)] == Kept::Asked &&
           asked_[size_t(tile - 1)].key.isEmpty();
}

// The model says at once that the tiles await their echoes, so that an echo of an older frame
// confirms nothing meanwhile, and what the window and scripts read errs towards "on".
void RackModel::ask(const QList<int>& tiles, bool on, const QStringList& keys,
                    std::function<void(bool mayGo)> mayGo) {
    if (intents_.size() >= MaxWaitingIntents) {
        emit writeFailed(QStringLiteral("too many switches waiting to be kept"));
        mayGo(!on);
        return;
    }
    Intent intent{tiles, {}, on, keys, {}, {}, std::move(mayGo)};
    for (int i = 0; i < tiles.size(); ++i) {
        const int tile = tiles[i];
        const QString device = foundDevice(linkOf(tile));
        // A confirmation still to be written would overwrite the intent with an older truth.
        unsaved_.remove(tile);
        Kept& kept = board(device).slotStates[size_t(slotOf(tile) - 1)];
        intent.devices.append(device);
        intent.asked.append(asked_[size_t(tile - 1)]);
        intent.kept.append(kept);
        const bool wasOn = !on && (kept == Kept::On || asked_[size_t(tile - 1)].wasOn);
        kept = Kept::Asked;
        asked_[size_t(tile - 1)] = Asked{keys.value(i), on, wasOn, false};
        emit tileChanged(tile);
    }
    intents_.append(std::move(intent));
    // Nothing to gather behind: the frames need not wait a turn of the event loop.
    if (writesUnderWay_ == 0)
        flush();
}

void RackModel::forgetAsked(int tile) {
    Asked& each = asked_[size_t(tile - 1)];
    if (each.key.isEmpty())
        return;
    each = Asked{};
    emit tileChanged(tile);
}

bool RackModel::markOverdue(int tile, const QString& key) {
    Asked& each = asked_[size_t(tile - 1)];
    if (each.key.isEmpty() || each.key != key || each.overdue)
        return false;
    each.overdue = true;
    emit tileChanged(tile);
    return true;
}

void RackModel::confirm(int tile) {
    Asked& each = asked_[size_t(tile - 1)];
    const QString device = foundDevice(linkOf(tile));
    if (each.key.isEmpty() || device.isEmpty())
        return;
    const bool on = each.on;
    each = Asked{};
    board(device).slotStates[size_t(slotOf(tile) - 1)] = on ? Kept::On : Kept::Off;
    unsaved_.insert(tile, {device, on});
    scheduleFlush();
    emit tileChanged(tile);
}

void RackModel::scheduleFlush() {
    if (flushPlanned_ || writesUnderWay_ > 0)
        return;
    flushPlanned_ = true;
    waits_.callAfter(0, this, [this] { flush(); });
}

// Intents come first: a confirmation left in the same write is of a later switch.
void RackModel::flush() {
    flushPlanned_ = false;
    if (intents_.isEmpty() && unsaved_.isEmpty() && unsavedLinks_.isEmpty())
        return;
    const auto intents = std::exchange(intents_, {});
    const auto confirmed = std::exchange(unsaved_, {});
    QList<KeptSwitches::Change> changes;
    for (const Intent& intent : intents) {
        for (int i = 0; i < intent.tiles.size(); ++i)
            changes.append({intent.devices[i], slotOf(intent.tiles[i]), Kept::Asked});
    }
    for (auto it = confirmed.begin(); it != confirmed.end(); ++it)
        changes.append(
            {it.value().first, slotOf(it.key()), it.value().second ? Kept::On : Kept::Off});
    ++writesUnderWay_;
    kept_.writeLater(changes, std::exchange(unsavedLinks_, {}), this,
                     [this, intents, confirmed](bool written, const QString& error) {
                         --writesUnderWay_;
                         landed(intents, confirmed, written, error);
                         if (writesUnderWay_ == 0)
                             flush();
                     });
}

// A switch on whose intent could not be kept is taken back as if never asked, unless its tile
// was asked again since; a switch off goes out all the same, kept as possibly on.
void RackModel::landed(const QList<Intent>& intents,
                       const QHash<int, QPair<QString, bool>>& confirmed, bool written,
                       const QString& error) {
    if (!written)
        emit writeFailed(error);
    for (const Intent& intent : intents) {
        for (int i = 0; i < intent.tiles.size(); ++i) {
            const int tile = intent.tiles[i];
            Asked& asked = asked_[size_t(tile - 1)];
            if (asked.key != intent.keys.value(i))
                continue;
            if (written) {
                unkept_.remove(tile);
            } else if (intent.on) {
                asked = intent.asked[i];
                board(intent.devices[i]).slotStates[size_t(slotOf(tile) - 1)] = intent.kept[i];
                emit tileChanged(tile);
            } else {
                unkept_.insert(tile);
            }
        }
        intent.mayGo(written || !intent.on);
    }
    for (auto it = confirmed.begin(); it != confirmed.end(); ++it) {
        if (written)
            unkept_.remove(it.key());
        else
            unkept_.insert(it.key());
        emit switchKept(it.key(), it.value().second, written);
    }
}

int RackModel::switchableOn() const {
    int count = 0;
    for (int tile = 1; tile <= TileCount; ++tile)
        count += state(tile) == SlotState::On ? 1 : 0;
    return count;
}

int RackModel::unknownTiles(int link) const {
    int count = 0;
    for (int tile = firstTile(link); tile < firstTile(link) + SlotsPerLink; ++tile)
        count += state(tile) == SlotState::Unknown ? 1 : 0;
    return count;
}

int RackModel::possiblyOn(const Board& each) const {
    return int(std::count_if(each.slotStates.begin(), each.slotStates.end(),
                             [](Kept kept) { return kept != Kept::Off; }));
}

int RackModel::possiblyPowered() const {
    int count = 0;
    for (int link = 1; link <= LinkCount; ++link)
        count += unknownTiles(link);
    for (const AbsentBoard& absent : absentBoards())
        count += absent.possiblyOn;
    return count;
}

QList<RackModel::AbsentBoard> RackModel::absentBoards() const {
    QList<AbsentBoard> absent;
    for (auto it = boards_.begin(); it != boards_.end(); ++it) {
        const bool shown = it.value().link != 0 && shownDevice(it.value().link) == it.key();
        const int count = possiblyOn(it.value());
        if (!shown && count > 0 && !std::count(found_.begin(), found_.end(), it.key()))
            absent.append({it.key(), count});
    }
    std::sort(absent.begin(), absent.end(), [](const AbsentBoard& a, const AbsentBoard& b) {
        return a.deviceNumber < b.deviceNumber;
    });
    return absent;
}
