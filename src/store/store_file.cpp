#include "store/store_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace sql;

namespace store_file {

namespace {

// The one table of a new store.
QByteArray createStatement(const QStringList& columns) {
    QByteArray text = "CREATE TABLE records(";
    for (int i = 0; i < columns.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += quoted(columns[i]) + " TEXT";
    }
    return text + ')';
}

QByteArray readStart(const QString& path, qint64 length) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(length) : QByteArray();
}

bool syncPath(const QByteArray& path, int flags) {
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// The finished file appears under its name in one step and never replaces one that showed up
// there in the meantime.
bool publish(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // Filesystems without a no-replace rename still refuse to link over an existing name.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

void removeDatabaseFiles(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

bool buildEmptyStore(const QString& path, const QStringList& columns) {
    sqlite3* handle = nullptr;
    const int opened =
        sqlite3_open_v2(nativePath(path).constData(), &handle,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(handle);
    if (opened != SQLITE_OK)
        return false;
    const QByteArray statements =
        QByteArray("PRAGMA journal_mode=DELETE; ") + Durability + "; " + createStatement(columns);
    if (!execute(db.get(), statements.constData()))
        return false;
    return sqlite3_close(db.release()) == SQLITE_OK;
}

} // namespace

Leftover leftoverBeside(const QString& path) {
    auto found = Leftover::None;
    const QFileInfo journal(path + QLatin1String("-journal"));
    if (journal.exists() || journal.isSymLink()) {
        if (!journal.isFile())
            return Leftover::Unknown;
        // SQLite leaves the start of a journal zero until the journal is complete and synced,
        // and only then touches the file. A journal that starts with anything but SQLite's
        // mark was not written by SQLite, so what it would do to the file is unknown.
        static const QByteArray mark("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
        const QByteArray start = readStart(journal.filePath(), mark.size());
        if (!start.isEmpty() && start[0] != 0) {
            if (start != mark)
                return Leftover::Unknown;
            found = Leftover::Replay;
        }
    }
    const QFileInfo log(path + QLatin1String("-wal"));
    if (log.exists() || log.isSymLink())
        return log.isFile() ? Leftover::Replay : Leftover::Unknown;
    return found;
}

// Told that nothing changes the file, SQLite reads it exactly as it lies: it takes no lock,
// plays back no journal, takes in no log and creates nothing beside it.
Database openAsItLies(const QString& path) {
    const QByteArray uri =
        "file:" + QUrl::toPercentEncoding(path, QByteArrayLiteral("/")) + "?immutable=1";
    sqlite3* handle = nullptr;
    const int opened =
        sqlite3_open_v2(uri.constData(), &handle,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(handle);
    if (opened != SQLITE_OK)
        return nullptr;
    return db;
}

// The column names of a store: the one table "records" and nothing else, since an index, a
// trigger, a view or another table would each change what a write does or whether it lands.
// Its columns hold each text as written: declared TEXT in any spelling, without a constraint,
// a default or a generated value. With expected given, they are exactly those names in that
// order. Nothing when the file is no such store, damaged or not a database at all.
std::optional<QStringList> storeColumns(sqlite3* db, const QStringList& expected) {
    const Statement objects = prepare(db, "SELECT type, name, tbl_name FROM sqlite_master");
    if (!objects || sqlite3_step(objects.get()) != SQLITE_ROW ||
        columnText(objects.get(), 0) != QLatin1String("table") ||
        columnText(objects.get(), 1) != QLatin1String("records") ||
        columnText(objects.get(), 2) != QLatin1String("records") ||
        sqlite3_step(objects.get()) != SQLITE_DONE)
        return std::nullopt;
    const Statement info =
        prepare(db, "SELECT name, type, \"notnull\", dflt_value IS NULL, pk, hidden "
                    "FROM pragma_table_xinfo('records')");
    if (!info)
        return std::nullopt;
    QStringList columns;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(info.get())) == SQLITE_ROW) {
        sqlite3_stmt* column = info.get();
        if (columnText(column, 1).compare(QLatin1String("TEXT"), Qt::CaseInsensitive) != 0 ||
            sqlite3_column_int(column, 2) != 0 || sqlite3_column_int(column, 3) != 1 ||
            sqlite3_column_int(column, 4) != 0 || sqlite3_column_int(column, 5) != 0)
            return std::nullopt;
        columns << columnText(column, 0);
    }
    if (step != SQLITE_DONE || columns.isEmpty() || (!expected.isEmpty() && columns != expected))
        return std::nullopt;
    return columns;
}

bool passesQuickCheck(sqlite3* db) {
    const Statement check = prepare(db, "PRAGMA quick_check");
    return check && sqlite3_step(check.get()) == SQLITE_ROW &&
           columnText(check.get(), 0) == QLatin1String("ok");
}

bool isStore(sqlite3* db, const QStringList& expected) {
    return storeColumns(db, expected) && passesQuickCheck(db);
}

// Playing back a journal or taking in a log writes to the file, so it is first done to a copy
// far from it: only when the copy comes out as a store may SQLite do the same to the file.
bool replaysIntoStore(const QString& path, const QStringList& expected) {
    const QTemporaryDir scratch;
    if (!scratch.isValid())
        return false;
    const QString copy = scratch.filePath(QStringLiteral("store"));
    for (const char* suffix : {"", "-journal", "-wal"}) {
        const QString from = path + QLatin1String(suffix);
        if (QFileInfo::exists(from) && !QFile::copy(from, copy + QLatin1String(suffix)))
            return false;
    }
    {
        sqlite3* handle = nullptr;
        const int opened = sqlite3_open_v2(nativePath(copy).constData(), &handle,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        const Database db(handle);
        if (opened != SQLITE_OK ||
            journalModeAfter(db.get(), "PRAGMA journal_mode=DELETE") != QLatin1String("delete"))
            return false;
    }
    const Database replayed = openAsItLies(copy);
    return replayed && leftoverBeside(copy) == Leftover::None && isStore(replayed.get(), expected);
}

void removeStagingLeftovers(const QString& path) {
    const QFileInfo target(path);
    if (target.fileName().isEmpty())
        return;
    const QRegularExpression staging(QRegularExpression::anchoredPattern(
        QLatin1Char('.') + QRegularExpression::escape(target.fileName()) +
        QLatin1String("\\.[0-9a-f]{16}\\.creating(-journal|-wal|-shm)?")));
    // Only names that may be one are matched, so that no pattern is compiled on a start that
    // finds none (the regular expression library is then not even paged in).
    const QDir directory = target.absoluteDir();
    for (const QFileInfo& entry :
         directory.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
        if (entry.fileName().contains(QLatin1String(".creating")) &&
            staging.match(entry.fileName()).hasMatch())
            QFile::remove(entry.filePath());
}

// SQLite names a super-journal after the first file of the transaction, "-mj" and nine
// upper-case hex digits. A kill between its creation and the journals' pointing to it leaves
// one that nothing refers to; SQLite never removes those.
void removeStaleSuperJournals(const QStringList& paths) {
    QStringList stale;
    for (const QString& path : paths) {
        const QFileInfo store(path);
        const QRegularExpression superJournal(QRegularExpression::anchoredPattern(
            QRegularExpression::escape(store.fileName()) + QLatin1String("-mj[0-9A-F]{9}")));
        for (const QFileInfo& entry : store.absoluteDir().entryInfoList(
                 QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
            if (entry.fileName().contains(QLatin1String("-mj")) &&
                superJournal.match(entry.fileName()).hasMatch())
                stale << entry.filePath();
    }
    // Listed first: a super-journal still in use has journals that outlive it.
    for (const QString& path : paths) {
        const QFileInfo journal(path + QLatin1String("-journal"));
        if (journal.exists() || journal.isSymLink())
            return;
    }
    for (const QString& file : stale)
        QFile::remove(file);
}

bool create(const QString& path, const QStringList& columns) {
    removeStagingLeftovers(path);
    const QFileInfo target(path);
    if (columns.isEmpty() || target.exists() || target.isSymLink() ||
        !target.absoluteDir().exists())
        return false;
    // A journal or log left by a file of that name that is gone would be played into the new
    // one the first time it is opened.
    for (const char* suffix : {"-journal", "-wal"}) {
        const QFileInfo leftover(path + QLatin1String(suffix));
        if (leftover.exists() || leftover.isSymLink())
            return false;
    }
    // Built under a passing name next to its destination, so a crash midway never leaves a
    // half-made file where a store is expected.
    const QString staging = target.absoluteDir().filePath(
        QStringLiteral(".%1.%2.creating")
            .arg(target.fileName())
            .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
    const QByteArray destination = nativePath(target.absoluteFilePath());
    if (!buildEmptyStore(staging, columns) || !syncPath(nativePath(staging), O_RDONLY) ||
        !publish(nativePath(staging), destination)) {
        removeDatabaseFiles(staging);
        return false;
    }
    syncPath(nativePath(target.absolutePath()), O_RDONLY | O_DIRECTORY);
    return true;
}

} // namespace store_file
