#include "store/kept_switches.h"

#include "platform/background_writer.h"
#include "store/sqlite_handles.h"

namespace {
constexpr int SlotCount = 42;

const char* keptWord(KeptSwitches::Kept kept) {
    return kept == KeptSwitches::Kept::On ? "on" : "asked";
}
} // namespace

bool KeptSwitches::fail() {
    error_ = db_ ? QString::fromUtf8(sqlite3_errmsg(db_.get())) : QStringLiteral("cannot open");
    return false;
}

bool KeptSwitches::open(const QString& directory) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(sql::nativePath(directory + FileName).constData(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sql::Database owned(db);
    if (opened != SQLITE_OK) {
        error_ = QString::fromUtf8(sqlite3_errstr(opened));
        return false;
    }
    // One sync per commit: the write-ahead log with full syncs keeps every commit through a
    // power loss, which a switch's intent needs before its frame goes out.
    sqlite3_busy_timeout(db, 2000);
    if (sql::journalModeAfter(db, "PRAGMA journal_mode=WAL") != QLatin1String("wal") ||
        !sql::execute(db, "PRAGMA synchronous=FULL") ||
        !sql::execute(db, "CREATE TABLE IF NOT EXISTS slots(device TEXT NOT NULL, slot INTEGER "
                          "NOT NULL CHECK(slot BETWEEN 1 AND 42), state TEXT NOT NULL "
                          "CHECK(state IN ('on','asked')), PRIMARY KEY(device, slot))") ||
        !sql::execute(db, "CREATE TABLE IF NOT EXISTS boards(device TEXT PRIMARY KEY, link "
                          "INTEGER NOT NULL CHECK(link BETWEEN 0 AND 8))")) {
        error_ = QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    }
    db_.reset(owned.release(), sql::Close());
    return true;
}

bool KeptSwitches::migrated() const {
    const sql::Statement version = sql::prepare(db_.get(), "PRAGMA user_version");
    return version && sqlite3_step(version.get()) == SQLITE_ROW &&
           sqlite3_column_int(version.get(), 0) >= 1;
}

bool KeptSwitches::markMigrated() {
    return sql::execute(db_.get(), "PRAGMA user_version=1") || fail();
}

QHash<QString, KeptSwitches::Board> KeptSwitches::load() const {
    QHash<QString, Board> boards;
    const auto board = [&boards](const QString& device) -> Board& {
        Board& each = boards[device];
        if (each.slotStates.isEmpty())
            each.slotStates = QList<Kept>(SlotCount, Kept::Off);
        return each;
    };
    if (const sql::Statement links = sql::prepare(db_.get(), "SELECT device, link FROM boards")) {
        while (sqlite3_step(links.get()) == SQLITE_ROW)
            board(sql::columnText(links.get(), 0)).link = sqlite3_column_int(links.get(), 1);
    }
    if (const sql::Statement slotStates =
            sql::prepare(db_.get(), "SELECT device, slot, state FROM slots")) {
        while (sqlite3_step(slotStates.get()) == SQLITE_ROW) {
            const int slot = sqlite3_column_int(slotStates.get(), 1);
            board(sql::columnText(slotStates.get(), 0)).slotStates[slot - 1] =
                sql::columnText(slotStates.get(), 2) == QLatin1String("on") ? Kept::On
                                                                            : Kept::Asked;
        }
    }
    return boards;
}

bool KeptSwitches::write(const QList<Change>& changes, const QHash<QString, int>& boardLinks) {
    if (!db_)
        return fail();
    return writeTo(db_.get(), changes, boardLinks, &error_);
}

void KeptSwitches::writeLater(const QList<Change>& changes, const QHash<QString, int>& boardLinks,
                              QObject* receiver, Answer answer) {
    if (!db_) {
        fail();
        answer(false, error_);
        return;
    }
    // Written on the writer's thread before the answer is posted, read only in the answer.
    const auto error = std::make_shared<QString>();
    const bool taken =
        writer_.submit([db = db_, changes, boardLinks,
                        error] { return writeTo(db.get(), changes, boardLinks, error.get()); },
                       receiver, [answer, error](bool written) { answer(written, *error); });
    if (!taken)
        answer(false, QStringLiteral("too many writes waiting"));
}

bool KeptSwitches::writeTo(sqlite3* db, const QList<Change>& changes,
                           const QHash<QString, int>& boardLinks, QString* error) {
    const auto failed = [db, error] {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        return false;
    };
    const sql::Statement put =
        sql::prepare(db, "INSERT OR REPLACE INTO slots(device, slot, state) VALUES(?1, ?2, ?3)");
    const sql::Statement drop = sql::prepare(db, "DELETE FROM slots WHERE device=?1 AND slot=?2");
    const sql::Statement link =
        sql::prepare(db, "INSERT OR REPLACE INTO boards(device, link) VALUES(?1, ?2)");
    if (!put || !drop || !link || !sql::execute(db, "BEGIN IMMEDIATE"))
        return failed();
    bool written = true;
    for (const Change& change : changes) {
        sqlite3_stmt* statement = change.kept == Kept::Off ? drop.get() : put.get();
        const sql::ResetOnExit reset(statement);
        const QByteArray device = change.deviceNumber.toUtf8();
        sqlite3_bind_text(statement, 1, device.constData(), int(device.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(statement, 2, change.slot);
        if (change.kept != Kept::Off)
            sqlite3_bind_text(statement, 3, keptWord(change.kept), -1, SQLITE_STATIC);
        written = written && sqlite3_step(statement) == SQLITE_DONE;
    }
    for (auto it = boardLinks.begin(); it != boardLinks.end(); ++it) {
        const sql::ResetOnExit reset(link.get());
        const QByteArray device = it.key().toUtf8();
        sqlite3_bind_text(link.get(), 1, device.constData(), int(device.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(link.get(), 2, it.value());
        written = written && sqlite3_step(link.get()) == SQLITE_DONE;
    }
    if (written && sql::execute(db, "COMMIT"))
        return true;
    failed();
    sql::execute(db, "ROLLBACK");
    return false;
}
