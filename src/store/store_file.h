#pragma once

#include "store/sqlite_handles.h"

#include <QString>
#include <QStringList>

#include <optional>

// What makes a file a store, judged without writing to it, and how a new store file comes to be.
// A store is one SQLite table "records" whose columns are the fields in position order.
namespace store_file {

// Per connection, not kept in the file. Beyond a full sync, the directory is synced once the
// journal is gone: until then a power loss could bring the journal back and with it a rollback
// of the transaction that had already been reported as written.
inline constexpr const char* Durability = "PRAGMA synchronous=EXTRA";

// What lies beside a file that SQLite acts on, writing, when it opens the file.
enum class Leftover {
    None,
    // A journal SQLite left to play back, or a log to take in.
    Replay,
    // Something of that name that SQLite did not write.
    Unknown,
};
Leftover leftoverBeside(const QString& path);
sql::Database openAsItLies(const QString& path);
std::optional<QStringList> storeColumns(sqlite3* db, const QStringList& expected);
bool passesQuickCheck(sqlite3* db);
// The columns are a store's, and the file is sound.
bool isStore(sqlite3* db, const QStringList& expected);
bool replaysIntoStore(const QString& path, const QStringList& expected);

// A new, empty store of these columns at path; refused when anything of that name is there.
bool create(const QString& path, const QStringList& columns);
void removeStagingLeftovers(const QString& path);
void removeStaleSuperJournals(const QStringList& paths);

} // namespace store_file
