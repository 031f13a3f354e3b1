#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class BackgroundWriter;
class QObject;
struct sqlite3;

// What every board was last asked and what it confirmed, kept per board and slot in a file of
// its own beside the stores, so that unbinding (which empties the remark store) never forgets a
// slot that may be powered, and a board found on another link brings its slotStates with it. Only
// slotStates that may be on are stored: a row is a slot confirmed on, or one switched either way
// and not confirmed yet, which after a restart nobody can tell. Every write is synced before it
// counts: a frame goes out only once its intent is kept, and a switch counts as confirmed
// only once its confirmation is.
class KeptSwitches {
public:
    enum class Kept { Off, On, Asked };
    struct Change {
        QString deviceNumber;
        // 1 ... 42.
        int slot = 0;
        Kept kept = Kept::Off;
    };
    struct Board {
        // The hub link 1 ... 8 whose tiles show the board: the one it was last found on, 0 once
        // another board was found there.
        int link = 0;
        // Index slot - 1.
        QList<Kept> slotStates;
    };

    static inline const QString FileName = QStringLiteral("/switch-states.db");

    explicit KeptSwitches(BackgroundWriter& writer) : writer_(writer) {}
    KeptSwitches(const KeptSwitches&) = delete;
    KeptSwitches& operator=(const KeptSwitches&) = delete;

    // Opens or creates the file in directory; false with errorString() when it cannot be used.
    bool open(const QString& directory);
    bool isOpen() const { return db_ != nullptr; }
    // Whether the states once kept in the remark store were taken over already.
    bool migrated() const;
    bool markMigrated();
    QHash<QString, Board> load() const;
    // One transaction, synced before it returns; false, and nothing changed, when it could not
    // be written. Only while nothing is queued for the writer: at the start.
    bool write(const QList<Change>& changes, const QHash<QString, int>& boardLinks = {});
    // The same transaction through the writer, behind every write accepted before; answer runs
    // on receiver's thread once it is synced, or with the reason it could not be written.
    using Answer = std::function<void(bool written, const QString& error)>;
    void writeLater(const QList<Change>& changes, const QHash<QString, int>& boardLinks,
                    QObject* receiver, Answer answer);
    QString errorString() const { return error_; }

private:
    static bool writeTo(sqlite3* db, const QList<Change>& changes,
                        const QHash<QString, int>& boardLinks, QString* error);
    bool fail();

    BackgroundWriter& writer_;
    // Shared with the writes on their way, which may outlive this object at the end of a run.
    std::shared_ptr<sqlite3> db_;
    QString error_;
};
