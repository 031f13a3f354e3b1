#pragma once

#include "hub/dimensions.h"
#include "rack/slot_state.h"
#include "store/kept_switches.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class Waits;

// The truth about the rack, with no widgets in it: which board each hub link holds, what every
// board's slotStates have (on, off, or not known), what was asked and not echoed yet, and what is
// kept for the next start. The window draws from it, scripts and the broker read it, and every
// rule that asks "is anything powered?" asks it. Boards are known by their device number: a
// board found on another link brings its slotStates to that link's tiles, and another board on a
// link never erases the first one's kept state.
class RackModel : public QObject {
    Q_OBJECT
public:
    using Kept = KeptSwitches::Kept;

    // A switch frame that went out and whose echo is awaited.
    struct Asked {
        // Offsets 2 ... 9 of the frame sent, as text; what its echo must repeat.
        QString key;
        bool on = false;
        // A switch off of a slot confirmed on: the tile keeps the look of on until the echo.
        bool wasOn = false;
        // The confirmation time passed without an echo; a late echo still confirms.
        bool overdue = false;
    };

    // A board not on any link now whose slotStates may be powered.
    struct AbsentBoard {
        QString deviceNumber;
        int possiblyOn = 0;
    };

    RackModel(KeptSwitches& kept, Waits& waits, QObject* parent = nullptr);

    // Reads what the file kept; boards are placed on the links they were last found on.
    void load();

    // Link life, told by the one place that changes it.
    void linkFound(int link, const QString& deviceNumber, int portNumber);
    void linkGone(int link);
    // The board's port vanished while it was found: unlike a link taken off its port on
    // purpose, the board may have been left powering slots that nothing can switch off now.
    void linkLost(int link);
    bool isFound(int link) const { return !found_[size_t(link - 1)].isEmpty(); }
    bool anyFound() const {
        return std::any_of(found_.begin(), found_.end(),
                           [](const QString& d) { return !d.isEmpty(); });
    }
    QString foundDevice(int link) const { return found_[size_t(link - 1)]; }
    int port(int link) const { return ports_[size_t(link - 1)]; }
    // The link lost its board and has found none since; the board's device number.
    bool isLost(int link) const { return !lost_[size_t(link - 1)].isEmpty(); }
    QString lostDevice(int link) const { return lost_[size_t(link - 1)]; }
    // Tiles of the link that read unknown: may be powered, cannot be confirmed off from here.
    int unknownTiles(int link) const;
    // Two found links hold boards with this device number: their frames cannot be told apart.
    bool isDuplicate(const QString& deviceNumber) const {
        return duplicates_.contains(deviceNumber);
    }
    bool anyDuplicate() const { return !duplicates_.isEmpty(); }
    // The device numbers the binding record holds, index link - 1.
    void setBinding(const QStringList& deviceNumbers);
    QString boundDevice(int link) const { return binding_.value(link - 1); }
    bool anyBinding() const;

    // Tile 1 ... 336.
    SlotState state(int tile) const;
    // Confirmed on at the board that the tile shows, found or not.
    bool keptOn(int tile) const;
    const Asked* asked(int tile) const;
    // The slot of a board that was asked and never confirmed, from before this run.
    bool askedBefore(int tile) const;

    // Writes that the slotStates of tiles (all on found links) are being switched, before their
    // frames go out. The tiles await their frames' echoes at once; mayGo is told once the
    // intents are durable (true), or that they could not be kept: then a switch on is taken
    // back as if never asked (false) and its frames may not go out, while a switch off goes
    // out all the same (true). A frame whose tile has been asked again since is not sent.
    void ask(const QList<int>& tiles, bool on, const QStringList& keys,
             std::function<void(bool mayGo)> mayGo);
    // No echo may confirm the tile's last frame any more; the slot stays as it was asked.
    void forgetAsked(int tile);
    // True when the tile's frame with key was still awaited.
    bool markOverdue(int tile, const QString& key);
    // The board echoed the tile's frame: shown at once, kept on the next turn of the event loop,
    // and only then told through switchKept.
    void confirm(int tile);
    // Hands what is not kept yet to the writer now, in one transaction, even behind a write
    // still under way. Otherwise what is asked or confirmed while a write is under way waits
    // for it to land, so that on a slow disk all of it costs one sync together.
    void flush();

    // Tiles that read on and whose board can be told to switch them off.
    int switchableOn() const;
    // Slots that may be powered and cannot be confirmed off from here: unknown tiles, tiles on
    // links that are gone, and the slotStates kept on by boards on no link.
    int possiblyPowered() const;
    QList<AbsentBoard> absentBoards() const;
    // Tiles whose confirmed switch could not be kept.
    bool isUnkept(int tile) const { return unkept_.contains(tile); }

    Q_SIGNAL void tileChanged(int tile);
    Q_SIGNAL void linkChanged(int link);
    // The confirmed switch of tile is kept (kept false: it could not be written).
    Q_SIGNAL void switchKept(int tile, bool on, bool kept);
    Q_SIGNAL void writeFailed(const QString& reason);
    Q_SIGNAL void duplicateFound(const QString& deviceNumber);

    // Intents asked while a write is under way wait for the next; beyond this many a switch is
    // refused as one that cannot be kept.
    static constexpr int MaxWaitingIntents = 4 * TileCount;

private:
    struct Board {
        int link = 0;
        std::array<Kept, SlotsPerLink> slotStates{};
    };
    // The board whose slotStates link's tiles show: the one found there, else the one last found.
    const Board* shownBoard(int link) const;
    QString shownDevice(int link) const;
    Board& board(const QString& deviceNumber);
    void changeLink(int link);
    void scheduleFlush();
    // A switch asked whose intent waits to be written, and what its tiles were before.
    struct Intent {
        QList<int> tiles;
        QStringList devices;
        bool on = false;
        QStringList keys;
        QList<Asked> asked;
        QList<Kept> kept;
        std::function<void(bool mayGo)> mayGo;
    };
    void landed(const QList<Intent>& intents, const QHash<int, QPair<QString, bool>>& confirmed,
                bool written, const QString& error);
    int possiblyOn(const Board& board) const;

    KeptSwitches& kept_;
    Waits& waits_;
    QHash<QString, Board> boards_;
    std::array<QString, LinkCount> found_;
    std::array<int, LinkCount> ports_{};
    std::array<QString, LinkCount> lost_;
    QStringList binding_;
    QSet<QString> duplicates_;
    std::array<Asked, TileCount> asked_;
    // Confirmed switches to keep: tile to the device number and on.
    QHash<int, QPair<QString, bool>> unsaved_;
    QHash<QString, int> unsavedLinks_;
    QList<Intent> intents_;
    QSet<int> unkept_;
    bool flushPlanned_ = false;
    int writesUnderWay_ = 0;
};
