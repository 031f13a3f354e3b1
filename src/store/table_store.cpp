#include "store/table_store.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

// The text SQLite keeps for the one table a store holds, exactly as createTable writes it.
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

// SQLite rolls back a leftover journal, resets an empty file and takes whatever else it finds
// for its own, all of which writes. So the file is looked at with plain reads first, and one
// that cannot be a healthy database is refused before SQLite ever opens it.
bool looksLikeHealthyDatabase(const QString& path) {
    const QByteArray header = readStart(path, 100);
    if (!QFileInfo(path).isFile() || header.size() < 100 ||
        std::memcmp(header.constData(), "SQLite format 3", 16) != 0)
        return false;
    const quint32 rawPageSize = (quint32(quint8(header[16])) << 8) | quint8(header[17]);
    const qint64 pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0)
        return false;
    const int writeVersion = header[18];
    const int readVersion = header[19];
    if (writeVersion < 1 || writeVersion > 2 || readVersion < 1 || readVersion > 2)
        return false;
    const qint64 size = QFileInfo(path).size();
    return size >= pageSize && size % pageSize == 0;
}

enum class FileState {
    // Nothing beside the file and no log: reading it through SQLite writes nothing.
    Plain,
    // SQLite would write on opening: a rollback journal to play back, a log to take in or a
    // file still marked for the log.
    NeedsRecovery,
    Unusable,
};

FileState fileState(const QString& path) {
    if (!QFileInfo(path).isFile())
        return FileState::Unusable;
    auto state = FileState::Plain;
    const QFileInfo journal(path + QLatin1String("-journal"));
    if (journal.exists() || journal.isSymLink()) {
        if (!journal.isFile())
            return FileState::Unusable;
        // SQLite leaves the start of a journal zero until the journal is complete and synced,
        // and only then touches the file. A journal that starts with anything but SQLite's
        // mark was not written by SQLite, so what it would do to the file is unknown.
        static const QByteArray mark("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
        const QByteArray start = readStart(journal.filePath(), mark.size());
        if (!start.isEmpty() && start[0] != 0) {
            if (start != mark)
                return FileState::Unusable;
            state = FileState::NeedsRecovery;
        }
    }
    const QFileInfo log(path + QLatin1String("-wal"));
    if (log.exists() || log.isSymLink()) {
        if (!log.isFile())
            return FileState::Unusable;
        state = FileState::NeedsRecovery;
    }
    const QByteArray header = readStart(path, 20);
    if (header.size() == 20 && (header[18] == 2 || header[19] == 2))
        state = FileState::NeedsRecovery;
    return state;
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

} // namespace

// One open store file, shared by every alias it is open under. The records are held in memory
// as well, so that reading never waits on SQLite's per-statement file locking; every write
// goes to the file first and only then to memory.
struct TableStore::Connection {
    struct Record {
        sqlite3_int64 rowid = 0;
        QStringList fields;
    };

    Database db;
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

    static std::shared_ptr<Connection> open(const QString& path);
    static bool recoversIntoStore(const QString& path);
    static std::shared_ptr<Connection> connect(const QString& path, bool recover);

    int fieldCount() const { return int(columns.size()); }
    std::size_t recordCount() const { return records.size(); }

    bool readSchema();
    bool passesQuickCheck();
    bool loadRecords();
    sqlite3_int64 readDataVersion();
    void refresh();
    // Prepared on first use and kept for the life of the connection.
    template <typename MakeSql> sqlite3_stmt* statement(Statement& slot, MakeSql makeSql) {
        if (!slot)
            slot = prepare(db.get(), makeSql());
        return slot.get();
    }

    QString read(std::size_t index, int position) const;
    bool write(std::size_t& index, int position, const QString& text);
    bool append(const QStringList& texts, std::size_t& index);
    bool removeAllRecords();
    bool finish(sqlite3_stmt* statement);
    bool beginBatch();
    void endBatch();
};

std::shared_ptr<TableStore::Connection> TableStore::Connection::open(const QString& path) {
    switch (fileState(path)) {
    case FileState::Plain:
        return looksLikeHealthyDatabase(path) ? connect(path, false) : nullptr;
    case FileState::NeedsRecovery:
        return recoversIntoStore(path) ? connect(path, true) : nullptr;
    case FileState::Unusable:
        break;
    }
    return nullptr;
}

// Recovery writes to the file, so it is first tried on a copy far from it: only when the
// copy comes out as a store may SQLite do the same to the file itself.
bool TableStore::Connection::recoversIntoStore(const QString& path) {
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
    return fileState(copy) == FileState::Plain && looksLikeHealthyDatabase(copy) &&
           connect(copy, false) != nullptr;
}

// Without recover, SQLite only reads until the file has proved to be a store. With it, the
// leftover journal is played back or the log taken into the file first, and the file is
// switched to the rollback journal, so that it holds everything on its own from then on.
std::shared_ptr<TableStore::Connection> TableStore::Connection::connect(const QString& path,
                                                                        bool recover) {
    auto connection = std::make_shared<Connection>();
    sqlite3* handle = nullptr;
    const int opened = sqlite3_open_v2(nativePath(path).constData(), &handle,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    connection->db.reset(handle);
    if (opened != SQLITE_OK)
        return nullptr;
    sqlite3* db = handle;
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    const auto toRollbackJournal = [db] {
        return journalModeAfter(db, "PRAGMA journal_mode=DELETE") == QLatin1String("delete");
    };
    if (recover && !toRollbackJournal())
        return nullptr;
    if (sqlite3_db_readonly(db, "main") != 0 || !connection->readSchema() ||
        !connection->passesQuickCheck())
        return nullptr;
    if (!toRollbackJournal() || !execute(db, Durability))
        return nullptr;
    connection->seenDataVersion = connection->readDataVersion();
    if (!connection->loadRecords())
        return nullptr;
    return connection;
}

// Only the table exactly as createTable makes it: a column type, a constraint, an index, a
// trigger, a view or another table would each change what a write does or whether it lands.
bool TableStore::Connection::readSchema() {
    sqlite3* handle = db.get();
    const Statement objects =
        prepare(handle, "SELECT type, name, tbl_name, sql FROM sqlite_master");
    if (!objects)
        return false;
    QStringList only;
    int step = SQLITE_ROW;
    int count = 0;
    while ((step = sqlite3_step(objects.get())) == SQLITE_ROW) {
        ++count;
        for (int i = 0; i < 4; ++i)
            only << columnText(objects.get(), i);
    }
    if (step != SQLITE_DONE || count != 1 || only[0] != QLatin1String("table") ||
        only[1] != QLatin1String("records") || only[2] != QLatin1String("records"))
        return false;
    const Statement info = prepare(handle, "SELECT name FROM pragma_table_info('records')");
    if (!info)
        return false;
    while ((step = sqlite3_step(info.get())) == SQLITE_ROW)
        columns << columnText(info.get(), 0);
    if (step != SQLITE_DONE || columns.isEmpty() || only[3].toUtf8() != createStatement(columns))
        return false;
    for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
        if (!columns.contains(QLatin1String(candidate), Qt::CaseInsensitive)) {
            rowidName = candidate;
            break;
        }
    }
    updates.resize(columns.size());
    return !rowidName.isEmpty();
}

bool TableStore::Connection::passesQuickCheck() {
    const Statement check = prepare(db.get(), "PRAGMA quick_check");
    return check && sqlite3_step(check.get()) == SQLITE_ROW &&
           columnText(check.get(), 0) == QLatin1String("ok");
}

bool TableStore::Connection::loadRecords() {
    QByteArray sql = "SELECT " + rowidName;
    for (const QString& column : columns)
        sql += ", " + quoted(column);
    const Statement all = prepare(db.get(), sql + " FROM records ORDER BY " + rowidName);
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
    sqlite3_stmt* version =
        statement(dataVersion, [] { return QByteArray("PRAGMA data_version"); });
    if (!version)
        return -1;
    const ResetOnExit reset(version);
    return sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int64(version, 0) : -1;
}

// Another process may have changed the file; the records then have to be read again. While
// this connection holds a write transaction nobody else can have.
void TableStore::Connection::refresh() {
    if (!sqlite3_get_autocommit(db.get()))
        return;
    const sqlite3_int64 current = readDataVersion();
    if (current >= 0 && current != seenDataVersion && loadRecords())
        seenDataVersion = current;
}

QString TableStore::Connection::read(std::size_t index, int position) const {
    if (position < 1 || position > fieldCount() || index >= records.size())
        return {};
    return records[index].fields[position - 1];
}

bool TableStore::Connection::write(std::size_t& index, int position, const QString& text) {
    if (position < 1 || position > fieldCount())
        return false;
    refresh();
    index = std::min(index, records.size());
    if (index == records.size())
        return false;
    sqlite3_stmt* update = statement(updates[position - 1], [&] {
        return "UPDATE records SET " + quoted(columns[position - 1]) + " = ?1 WHERE " + rowidName +
               " = ?2";
    });
    if (!update)
        return false;
    bindText(update, 1, text);
    sqlite3_bind_int64(update, 2, records[index].rowid);
    if (!finish(update))
        return false;
    if (sqlite3_changes(db.get()) != 1) {
        // The record went away under another process's hands.
        loadRecords();
        return false;
    }
    records[index].fields[position - 1] = text;
    return true;
}

bool TableStore::Connection::append(const QStringList& texts, std::size_t& index) {
    refresh();
    sqlite3_stmt* add = statement(insert, [&] {
        QByteArray names;
        QByteArray parameters;
        for (int i = 0; i < fieldCount(); ++i) {
            names += (i > 0 ? ", " : "") + quoted(columns[i]);
            parameters += (i > 0 ? ", ?" : "?") + QByteArray::number(i + 1);
        }
        return "INSERT INTO records(" + names + ") VALUES(" + parameters + ")";
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
    record.rowid = sqlite3_last_insert_rowid(db.get());
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
    sqlite3_stmt* remove = statement(removeAll, [] { return QByteArray("DELETE FROM records"); });
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
    QStringList columns;
    for (int i = 0; i < fields.size(); ++i)
        columns << (fields[i].name.isEmpty() ? QStringLiteral("字段%1").arg(i + 1)
                                             : fields[i].name);
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

bool TableStore::openTable(const QString& path, const QString& alias) {
    const bool wasCurrent = current_ != nullptr && current_ == table(alias);
    closeTable(alias);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    std::erase_if(connections_, [](const auto& entry) { return entry.second.expired(); });
    std::shared_ptr<Connection> connection;
    if (const auto known = connections_.find(canonical); known != connections_.end())
        connection = known->second.lock();
    if (!connection) {
        connection = Connection::open(canonical);
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
    return t && t->connection->write(t->index, position, text);
}

bool TableStore::writeField(int position, const QString& alias, const QString& text) {
    Table* t = table(alias);
    return t && t->connection->write(t->index, position, text);
}

bool TableStore::appendRecord(const QStringList& texts) {
    Table* t = current();
    return t && t->connection->append(texts, t->index);
}

bool TableStore::appendBlankRecord() {
    return appendRecord({});
}

bool TableStore::emptyTable() {
    Table* t = current();
    if (!t || !t->connection->removeAllRecords())
        return false;
    t->index = 0;
    return true;
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

