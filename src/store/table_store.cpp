#include "store/table_store.h"

#include "store/store_file.h"

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <vector>

using namespace sql;
using namespace store_file;

namespace {

constexpr int BusyTimeoutMs = 2000;

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
    // Prepared on first use and kept while statements go through the same connection.
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
    bool endBatch();
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

bool TableStore::Connection::endBatch() {
    if (--batchDepth > 0)
        return true;
    if (sqlite3_get_autocommit(db.get()))
        return false;
    if (execute(db.get(), "COMMIT"))
        return true;
    if (!sqlite3_get_autocommit(db.get()))
        execute(db.get(), "ROLLBACK");
    loadRecords();
    return false;
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
    store_file::removeStagingLeftovers(path);
}

void TableStore::removeStaleSuperJournals(const QStringList& paths) {
    store_file::removeStaleSuperJournals(paths);
}

bool TableStore::createTable(const QString& path, const QList<FieldDefinition>& fields) {
    return store_file::create(path, columnNames(fields));
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
    commit();
}

bool TableStore::Batch::commit() {
    const std::shared_ptr<Connection> connection = std::move(connection_);
    return !connection || connection->endBatch();
}

