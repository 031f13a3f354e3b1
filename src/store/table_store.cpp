#include "store/table_store.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace {

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

struct Close {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, Close>;

// Leaves a statement ready for its next use however the step ended.
class ResetOnExit {
public:
    explicit ResetOnExit(sqlite3_stmt* statement) : statement_(statement) {}
    ~ResetOnExit() { sqlite3_reset(statement_); }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    sqlite3_stmt* statement_;
};

constexpr int BusyTimeoutMs = 2000;

QByteArray quoted(const QString& name) {
    QString escaped = name;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return '"' + escaped.toUtf8() + '"';
}

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

bool execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

Statement prepare(sqlite3* db, const QByteArray& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT,
                           &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

QString columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

// SQLite answers a journal mode change with the mode in force afterwards.
QString journalModeAfter(sqlite3* db, const char* pragma) {
    const Statement statement = prepare(db, pragma);
    return statement && sqlite3_step(statement.get()) == SQLITE_ROW ? columnText(statement.get(), 0)
                                                                    : QString();
}

// A blank text is stored as NULL, so every blank field looks the same in the file.
void bindText(sqlite3_stmt* statement, int index, const QString& text) {
    if (text.isEmpty()) {
        sqlite3_bind_null(statement, index);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text64(statement, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
}

// The one table of a new store.
QByteArray createStatement(const QStringList& columns) {
    QByteArray sql = "CREATE TABLE records(";
    for (int i = 0; i < columns.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql += quoted(columns[i]) + " TEXT";
    }
    return sql + ')';
}

// Per connection, not kept in the file. Beyond a full sync, the directory is synced once the
// journal is gone: until then a power loss could bring the journal back and with it a rollback
// of the transaction that had already been reported as written.
constexpr const char* Durability = "PRAGMA synchronous=EXTRA";

QByteArray readStart(const QString& path, qint64 length) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(length) : QByteArray();
}

// What lies beside a file that SQLite acts on, writing, when it opens the file.
enum class Leftover {
    None,
    // A journal SQLite left to play back, or a log to take in.
    Replay,
    // Something of that name that SQLite did not write.
    Unknown,
};

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
    const QByteArray sql =
        QByteArray("PRAGMA journal_mode=DELETE; ") + Durability + "; " + createStatement(columns);
    if (!execute(db.get(), sql.constData()))
        return false;
    return sqlite3_close(db.release()) == SQLITE_OK;
}

QByteArray joinedSchema(std::size_t index) {
    return "joined" + QByteArray::number(qulonglong(index));
}

} // namespace

// One open store file, shared by every alias it is open under. The records are held in memory
// as well, so that reading never waits on SQLite's per-statement file locking; every write
// goes to the file first and only then to memory.
//
// While writeTogether runs, the statements go through the connection of the first joined file
// instead, which has this file attached under a schema name of its own.
struct TableStore::Connection {
    struct Record {
        sqlite3_int64 rowid = 0;
        QStringList fields;
    };

    Database db;
    QString path;
    sqlite3* active = nullptr;
    QByteArray schema = "main";
    bool joined = false;
    // A write failed while joined: the joint transaction must not commit.
    bool writeFailed = false;
    QStringList columns;
    // The name by which statements reach the rowid; a field may have taken the plain "rowid".
    QByteArray rowidName;
    // In rowid order, which is the record order.
    std::vector<Record> records;
    std::vector<Statement> updates;
    Statement insert;
    Statement removeAll;
    Statement dataVersion;
    sqlite3_int64 seenDataVersion = 0;
    int batchDepth = 0;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    static std::shared_ptr<Connection> open(const QString& path, const QStringList& expected);
    static std::shared_ptr<Connection> connect(const QString& path, const QStringList& expected,
                                               bool replay);

    int fieldCount() const { return int(columns.size()); }
    std::size_t recordCount() const { return records.size(); }
    QByteArray table() const { return quoted(QString::fromUtf8(schema)) + ".records"; }

    bool loadRecords();
    sqlite3_int64 readDataVersion();
    void refresh();
    // Prepared on first use and kept until the connection statements go through changes.
    template <typename MakeSql> sqlite3_stmt* statement(Statement& slot, MakeSql makeSql) {
        if (!slot)
            slot = prepare(active, makeSql());
        return slot.get();
    }
    void dropStatements();
    void join(sqlite3* leader, const QByteArray& name);
    void leave();
    bool mayWrite() const;
    // Passes on a write's outcome, remembering a failure while joined.
    bool noted(bool written) {
        writeFailed = writeFailed || (joined && !written);
        return written;
    }

    QString read(std::size_t index, int position) const;
    bool write(std::size_t& index, int position, const QString& text);
    bool append(const QStringList& texts, std::size_t& index);
    bool removeAllRecords();
    bool finish(sqlite3_stmt* statement);
    bool beginBatch();
    void endBatch();
};

// A file that SQLite would write to on opening, by playing back a journal or taking in a log,
// has to prove on a copy that it comes out as a store; any other is judged as it lies.
std::shared_ptr<TableStore::Connection> TableStore::Connection::open(const QString& path,
                                                                     const QStringList& expected) {
    if (!QFileInfo(path).isFile())
        return nullptr;
    switch (leftoverBeside(path)) {
    case Leftover::None: {
        const Database asItLies = openAsItLies(path);
        return asItLies && isStore(asItLies.get(), expected) ? connect(path, expected, false)
                                                             : nullptr;
    }
    case Leftover::Replay:
        return replaysIntoStore(path, expected) ? connect(path, expected, true) : nullptr;
    case Leftover::Unknown:
        break;
    }
    return nullptr;
}

// With replay, the leftover journal is played back or the log taken into the file first. A
// writable file is switched to the rollback journal, so that it holds everything on its own
// from then on; one this process may only read is opened read-only by SQLite, and each write
// then fails.
std::shared_ptr<TableStore::Connection>
TableStore::Connection::connect(const QString& path, const QStringList& expected, bool replay) {
    auto connection = std::make_shared<Connection>();
    sqlite3* handle = nullptr;
    const int opened = sqlite3_open_v2(nativePath(path).constData(), &handle,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    connection->db.reset(handle);
    if (opened != SQLITE_OK)
        return nullptr;
    sqlite3* db = handle;
    connection->path = path;
    connection->active = db;
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    const bool writable = sqlite3_db_readonly(db, "main") == 0;
    const auto toRollbackJournal = [db] {
        return journalModeAfter(db, "PRAGMA journal_mode=DELETE") == QLatin1String("delete");
    };
    if (writable && replay && !toRollbackJournal())
        return nullptr;
    const auto columns = storeColumns(db, expected);
    if (!columns || !passesQuickCheck(db))
        return nullptr;
    if (writable && (!toRollbackJournal() || !execute(db, Durability)))
        return nullptr;
    connection->columns = *columns;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (!columns->contains(QLatin1String(candidate), Qt::CaseInsensitive)) {
            connection->rowidName = candidate;
            break;
        }
    }
    if (connection->rowidName.isEmpty())
        return nullptr;
    connection->updates.resize(columns->size());
    connection->seenDataVersion = connection->readDataVersion();
    if (!connection->loadRecords())
        return nullptr;
    return connection;
}

bool TableStore::Connection::loadRecords() {
    QByteArray sql = "SELECT " + rowidName;
    for (const QString& column : columns)
        sql += ", " + quoted(column);
    const Statement all = prepare(active, sql + " FROM " + table() + " ORDER BY " + rowidName);
    if (!all)
        return false;
    std::vector<Record> loaded;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(all.get())) == SQLITE_ROW) {
        Record record{sqlite3_column_int64(all.get(), 0), {}};
        record.fields.reserve(fieldCount());
        for (int i = 1; i <= fieldCount(); ++i)
            record.fields << columnText(all.get(), i);
        loaded.push_back(std::move(record));
    }
    if (step != SQLITE_DONE)
        return false;
    records = std::move(loaded);
    return true;
}

// Changes only when another connection, in this process or not, has committed to the file.
sqlite3_int64 TableStore::Connection::readDataVersion() {
    if (!dataVersion)
        dataVersion = prepare(db.get(), "PRAGMA data_version");
    if (!dataVersion)
        return -1;
    const ResetOnExit reset(dataVersion.get());
    return sqlite3_step(dataVersion.get()) == SQLITE_ROW
               ? sqlite3_column_int64(dataVersion.get(), 0)
               : -1;
}

// Another process may have changed the file; the records then have to be read again. While
// this connection holds a write transaction, or is joined to one, nobody else can have.
void TableStore::Connection::refresh() {
    if (joined || !sqlite3_get_autocommit(db.get()))
        return;
    const sqlite3_int64 current = readDataVersion();
    if (current >= 0 && current != seenDataVersion && loadRecords())
        seenDataVersion = current;
}

void TableStore::Connection::dropStatements() {
    for (Statement& update : updates)
        update.reset();
    insert.reset();
    removeAll.reset();
}

// The open batch depth keeps a Batch made during the joint work from committing on its own.
void TableStore::Connection::join(sqlite3* leader, const QByteArray& name) {
    dropStatements();
    active = leader;
    schema = name;
    joined = true;
    writeFailed = false;
    ++batchDepth;
}

// Whatever the joint transaction came to, the records are read again from the file.
void TableStore::Connection::leave() {
    dropStatements();
    active = db.get();
    schema = "main";
    joined = false;
    --batchDepth;
    loadRecords();
    seenDataVersion = readDataVersion();
}

// Once a joint write has failed, SQLite may have rolled the joint transaction back already;
// a later write would then commit on its own.
bool TableStore::Connection::mayWrite() const {
    return !joined || (!writeFailed && !sqlite3_get_autocommit(active));
}

QString TableStore::Connection::read(std::size_t index, int position) const {
    if (position < 1 || position > fieldCount() || index >= records.size())
        return {};
    return records[index].fields[position - 1];
}

bool TableStore::Connection::write(std::size_t& index, int position, const QString& text) {
    if (position < 1 || position > fieldCount() || !mayWrite())
        return false;
    refresh();
    index = std::min(index, records.size());
    if (index == records.size())
        return false;
    sqlite3_stmt* update = statement(updates[position - 1], [&] {
        return "UPDATE " + table() + " SET " + quoted(columns[position - 1]) + " = ?1 WHERE " +
               rowidName + " = ?2";
    });
    if (!update)
        return false;
    bindText(update, 1, text);
    sqlite3_bind_int64(update, 2, records[index].rowid);
    if (!finish(update))
        return false;
    if (sqlite3_changes(active) != 1) {
        // The record went away under another process's hands.
        loadRecords();
        return false;
    }
    records[index].fields[position - 1] = text;
    return true;
}

bool TableStore::Connection::append(const QStringList& texts, std::size_t& index) {
    if (!mayWrite())
        return false;
    refresh();
    sqlite3_stmt* add = statement(insert, [&] {
        QByteArray names;
        QByteArray parameters;
        for (int i = 0; i < fieldCount(); ++i) {
            names += (i > 0 ? ", " : "") + quoted(columns[i]);
            parameters += (i > 0 ? ", ?" : "?") + QByteArray::number(i + 1);
        }
        return "INSERT INTO " + table() + "(" + names + ") VALUES(" + parameters + ")";
    });
    if (!add)
        return false;
    Record record;
    for (int i = 0; i < fieldCount(); ++i)
        record.fields << (i < texts.size() ? texts[i] : QString());
    for (int i = 0; i < fieldCount(); ++i)
        bindText(add, i + 1, record.fields[i]);
    if (!finish(add))
        return false;
    record.rowid = sqlite3_last_insert_rowid(active);
    const auto byRowid = [](const Record& r, sqlite3_int64 rowid) { return r.rowid < rowid; };
    // SQLite only picks a rowid below the largest once the largest possible one is taken.
    if (records.empty() || record.rowid > records.back().rowid) {
        records.push_back(std::move(record));
        index = records.size() - 1;
        return true;
    }
    const auto at = std::lower_bound(records.begin(), records.end(), record.rowid, byRowid);
    index = std::size_t(records.insert(at, std::move(record)) - records.begin());
    return true;
}

bool TableStore::Connection::removeAllRecords() {
    if (!mayWrite())
        return false;
    sqlite3_stmt* remove = statement(removeAll, [&] { return "DELETE FROM " + table(); });
    if (!remove || !finish(remove))
        return false;
    records.clear();
    return true;
}

// A failed write may have rolled back a running batch with it, so the records are read again
// to match what the file holds now.
bool TableStore::Connection::finish(sqlite3_stmt* statement) {
    const int step = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (step == SQLITE_DONE)
        return true;
    loadRecords();
    return false;
}

bool TableStore::Connection::beginBatch() {
    if (batchDepth == 0) {
        refresh();
        if (!execute(db.get(), "BEGIN IMMEDIATE"))
            return false;
    }
    ++batchDepth;
    return true;
}

void TableStore::Connection::endBatch() {
    if (--batchDepth > 0 || sqlite3_get_autocommit(db.get()))
        return;
    if (execute(db.get(), "COMMIT"))
        return;
    if (!sqlite3_get_autocommit(db.get()))
        execute(db.get(), "ROLLBACK");
    loadRecords();
}

struct TableStore::Table {
    std::shared_ptr<Connection> connection;
    // Index into the connection's records; at or beyond their count means past the last one.
    std::size_t index = 0;

    std::size_t position() const { return std::min(index, connection->recordCount()); }
};

TableStore::TableStore() = default;

TableStore::~TableStore() = default;

bool TableStore::fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

QStringList TableStore::columnNames(const QList<FieldDefinition>& fields) {
    QStringList columns;
    for (int i = 0; i < fields.size(); ++i)
        columns << (fields[i].name.isEmpty() ? QStringLiteral("字段%1").arg(i + 1)
                                             : fields[i].name);
    return columns;
}

void TableStore::removeStagingLeftovers(const QString& path) {
    const QFileInfo target(path);
    if (target.fileName().isEmpty())
        return;
    const QRegularExpression staging(QRegularExpression::anchoredPattern(
        QLatin1Char('.') + QRegularExpression::escape(target.fileName()) +
        QLatin1String("\\.[0-9a-f]{16}\\.creating(-journal|-wal|-shm)?")));
    const QDir directory = target.absoluteDir();
    for (const QFileInfo& entry :
         directory.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
        if (staging.match(entry.fileName()).hasMatch())
            QFile::remove(entry.filePath());
}

// SQLite names a super-journal after the first file of the transaction, "-mj" and nine
// upper-case hex digits. A kill between its creation and the journals' pointing to it leaves
// one that nothing refers to; SQLite never removes those.
void TableStore::removeStaleSuperJournals(const QStringList& paths) {
    QStringList stale;
    for (const QString& path : paths) {
        const QFileInfo store(path);
        const QRegularExpression superJournal(QRegularExpression::anchoredPattern(
            QRegularExpression::escape(store.fileName()) + QLatin1String("-mj[0-9A-F]{9}")));
        for (const QFileInfo& entry : store.absoluteDir().entryInfoList(
                 QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
            if (superJournal.match(entry.fileName()).hasMatch())
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

bool TableStore::createTable(const QString& path, const QList<FieldDefinition>& fields) {
    removeStagingLeftovers(path);
    const QFileInfo target(path);
    if (fields.isEmpty() || target.exists() || target.isSymLink() || !target.absoluteDir().exists())
        return false;
    // A journal or log left by a file of that name that is gone would be played into the new
    // one the first time it is opened.
    for (const char* suffix : {"-journal", "-wal"}) {
        const QFileInfo leftover(path + QLatin1String(suffix));
        if (leftover.exists() || leftover.isSymLink())
            return false;
    }
    const QStringList columns = columnNames(fields);
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

bool TableStore::openTable(const QString& path, const QString& alias, const QStringList& columns) {
    const bool wasCurrent = current_ != nullptr && current_ == table(alias);
    closeTable(alias);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    std::erase_if(connections_, [](const auto& entry) { return entry.second.expired(); });
    std::shared_ptr<Connection> connection;
    if (const auto known = connections_.find(canonical); known != connections_.end())
        connection = known->second.lock();
    if (connection && !columns.isEmpty() && connection->columns != columns)
        return false;
    if (!connection) {
        connection = Connection::open(canonical, columns);
        if (!connection)
            return false;
        connections_[canonical] = connection;
    }
    auto opened = std::make_unique<Table>();
    opened->connection = std::move(connection);
    Table* added = tables_.insert_or_assign(alias, std::move(opened)).first->second.get();
    if (wasCurrent)
        current_ = added;
    return true;
}

bool TableStore::makeCurrent(const QString& alias) {
    Table* chosen = table(alias);
    if (!chosen)
        return false;
    current_ = chosen;
    return true;
}

void TableStore::closeTable(const QString& alias) {
    const auto it = tables_.find(alias);
    if (it == tables_.end())
        return;
    if (current_ == it->second.get())
        current_ = nullptr;
    tables_.erase(it);
}

QString TableStore::currentAlias() const {
    for (const auto& [alias, table] : tables_) {
        if (table.get() == current_)
            return alias;
    }
    return {};
}

bool TableStore::isOpen(const QString& alias) const {
    return table(alias) != nullptr;
}

void TableStore::goToFirstRecord() {
    if (Table* t = current()) {
        t->connection->refresh();
        t->index = 0;
    }
}

void TableStore::skip() {
    if (Table* t = current())
        t->index = std::min(t->position() + 1, t->connection->recordCount());
}

int TableStore::recordCount() const {
    const Table* t = current();
    return t ? int(t->connection->recordCount()) : 0;
}

int TableStore::currentRecordNumber() const {
    const Table* t = current();
    return t ? int(t->position()) + 1 : 0;
}

QString TableStore::readField(int position) const {
    const Table* t = current();
    return t ? t->connection->read(t->position(), position) : QString();
}

QString TableStore::readField(int position, const QString& alias) const {
    const Table* t = table(alias);
    return t ? t->connection->read(t->position(), position) : QString();
}

bool TableStore::writeField(int position, const QString& text) {
    Table* t = current();
    return t && t->connection->noted(t->connection->write(t->index, position, text));
}

bool TableStore::writeField(int position, const QString& alias, const QString& text) {
    Table* t = table(alias);
    return t && t->connection->noted(t->connection->write(t->index, position, text));
}

bool TableStore::appendRecord(const QStringList& texts) {
    Table* t = current();
    return t && t->connection->noted(t->connection->append(texts, t->index));
}

bool TableStore::appendBlankRecord() {
    return appendRecord({});
}

bool TableStore::emptyTable() {
    Table* t = current();
    if (!t || !t->connection->noted(t->connection->removeAllRecords()))
        return false;
    t->index = 0;
    return true;
}

// SQLite commits a transaction over several attached files through a super-journal that names
// each file's journal: a file whose journal is still there when the super-journal has gone is
// complete, and one whose super-journal is still there is rolled back when next opened.
bool TableStore::writeTogether(const QStringList& aliases, const std::function<bool()>& work) {
    std::vector<std::shared_ptr<Connection>> joined;
    for (const QString& alias : aliases) {
        const Table* t = table(alias);
        if (!t || t->connection->joined || !sqlite3_get_autocommit(t->connection->db.get()))
            return false;
        if (std::find(joined.begin(), joined.end(), t->connection) == joined.end())
            joined.push_back(t->connection);
    }
    if (joined.empty())
        return false;
    sqlite3* leader = joined.front()->db.get();
    std::size_t attached = 0;
    bool done = true;
    for (std::size_t i = 1; i < joined.size() && done; ++i) {
        const Statement attach = prepare(leader, "ATTACH DATABASE ?1 AS " + joinedSchema(i));
        const QByteArray file = nativePath(joined[i]->path);
        done = attach &&
               sqlite3_bind_text(attach.get(), 1, file.constData(), int(file.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK &&
               sqlite3_step(attach.get()) == SQLITE_DONE;
        if (done)
            ++attached;
        const QByteArray durability = "PRAGMA " + joinedSchema(i) + ".synchronous=EXTRA";
        done = done && execute(leader, durability.constData());
    }
    if (done) {
        for (std::size_t i = 0; i < joined.size(); ++i)
            joined[i]->join(leader, i == 0 ? QByteArray("main") : joinedSchema(i));
        done = execute(leader, "BEGIN IMMEDIATE");
        // Read again under the transaction, so that work sees what it is about to change.
        for (const auto& connection : joined)
            done = done && connection->loadRecords();
        done = done && work();
        for (const auto& connection : joined)
            done = done && !connection->writeFailed;
        done = done && execute(leader, "COMMIT");
        if (!sqlite3_get_autocommit(leader))
            execute(leader, "ROLLBACK");
        for (const auto& connection : joined)
            connection->leave();
    }
    for (std::size_t i = attached; i >= 1; --i)
        execute(leader, ("DETACH DATABASE " + joinedSchema(i)).constData());
    return done;
}

TableStore::Table* TableStore::current() const {
    return current_;
}

TableStore::Table* TableStore::table(const QString& alias) const {
    const auto it = tables_.find(alias);
    return it == tables_.end() ? nullptr : it->second.get();
}

TableStore::Batch::Batch(TableStore& store) {
    if (Table* t = store.current(); t && t->connection->beginBatch())
        connection_ = t->connection;
}

TableStore::Batch::~Batch() {
    if (connection_)
        connection_->endBatch();
}

