#include "store/table_store.h"

#include "store/store_file.h"

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>
#include <deque>
#include <limits>
#include <map>
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

struct TableStore::Op {
    enum class Kind { Update, Insert, RemoveAll };
    Kind kind = Kind::Update;
    sqlite3_int64 rowid = 0;
    // Update: the field and its one text; Insert: every field's text.
    int position = 0;
    QStringList texts;
};

// One open store file, shared by every alias it is open under. Once open, its SQLite handle is
// used by the writer alone; the window's side reads and changes the records in memory.
struct TableStore::Connection {
    struct Record {
        sqlite3_int64 rowid = 0;
        QStringList fields;
    };
    // Writes handed to the writer and not answered yet, per unit.
    struct Pending {
        quint64 unit = 0;
        std::vector<Op> ops;
    };

    Database db;
    QString path;
    bool writable = false;
    QStringList columns;
    // The name by which statements reach the rowid; a field may have taken the plain "rowid".
    QByteArray rowidName;
    // In rowid order, which is the record order: what the file holds as far as the writer has
    // answered, and what reads see, which is that with every write taken since.
    std::vector<Record> landed;
    std::vector<Record> records;
    std::deque<Pending> pending;
    // The batch or joint write under way, which its writes join.
    std::shared_ptr<Unit> unit;
    int depth = 0;

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    static std::shared_ptr<Connection> open(const QString& path, const QStringList& expected);
    static std::shared_ptr<Connection> connect(const QString& path, const QStringList& expected,
                                               bool replay);

    int fieldCount() const { return int(columns.size()); }
    std::size_t recordCount() const { return records.size(); }

    bool loadRecords();
    static void apply(std::vector<Record>& into, const Op& op);
    void rebuild();
    QString read(std::size_t index, int position) const;
};

// The writes that land together in one transaction: a batch, a joint write, or one write alone.
struct TableStore::Unit {
    quint64 id = 0;
    std::vector<std::pair<std::shared_ptr<Connection>, Op>> steps;
    bool refused = false;
    std::vector<Answer> answers;

    std::vector<std::shared_ptr<Connection>> connections() const;
    std::vector<Op> opsOf(const Connection* connection) const;
    void answer(bool landed);
    // On the writer's thread.
    bool land() const;
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
// to it is refused.
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
    sqlite3_busy_timeout(db, BusyTimeoutMs);
    connection->writable = sqlite3_db_readonly(db, "main") == 0;
    const bool writable = connection->writable;
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
    if (connection->rowidName.isEmpty() || !connection->loadRecords())
        return nullptr;
    return connection;
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
    landed = loaded;
    records = std::move(loaded);
    return true;
}

void TableStore::Connection::apply(std::vector<Record>& into, const Op& op) {
    const auto at =
        std::lower_bound(into.begin(), into.end(), op.rowid,
                         [](const Record& r, sqlite3_int64 rowid) { return r.rowid < rowid; });
    switch (op.kind) {
    case Op::Kind::Update:
        if (at != into.end() && at->rowid == op.rowid)
            at->fields[op.position - 1] = op.texts.value(0);
        break;
    case Op::Kind::Insert:
        into.insert(at, Record{op.rowid, op.texts});
        break;
    case Op::Kind::RemoveAll:
        into.clear();
        break;
    }
}

// A unit that did not land is taken out of what reads see: the records become what the file
// holds, with the writes still on their way, and those of the unit under way, again on top.
void TableStore::Connection::rebuild() {
    records = landed;
    for (const Pending& each : pending) {
        for (const Op& op : each.ops)
            apply(records, op);
    }
    if (unit) {
        for (const Op& op : unit->opsOf(this))
            apply(records, op);
    }
}

QString TableStore::Connection::read(std::size_t index, int position) const {
    if (position < 1 || position > fieldCount() || index >= records.size())
        return {};
    return records[index].fields[position - 1];
}

std::vector<std::shared_ptr<TableStore::Connection>> TableStore::Unit::connections() const {
    std::vector<std::shared_ptr<Connection>> each;
    for (const auto& [connection, op] : steps) {
        if (std::find(each.begin(), each.end(), connection) == each.end())
            each.push_back(connection);
    }
    return each;
}

std::vector<TableStore::Op> TableStore::Unit::opsOf(const Connection* connection) const {
    std::vector<Op> ops;
    for (const auto& [each, op] : steps) {
        if (each.get() == connection)
            ops.push_back(op);
    }
    return ops;
}

void TableStore::Unit::answer(bool landed) {
    for (const Answer& each : std::exchange(answers, {})) {
        if (each)
            each(landed);
    }
}

// SQLite commits a transaction over several attached files through a super-journal that names
// each file's journal: a file whose journal is still there when the super-journal has gone is
// complete, and one whose super-journal is still there is rolled back when next opened.
bool TableStore::Unit::land() const {
    const std::vector<std::shared_ptr<Connection>> joined = connections();
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
    done = done && execute(leader, "BEGIN IMMEDIATE");
    std::map<QByteArray, Statement> prepared;
    for (auto step = steps.begin(); step != steps.end() && done; ++step) {
        const Connection& connection = *step->first;
        const Op& op = step->second;
        const std::size_t index =
            std::size_t(std::find(joined.begin(), joined.end(), step->first) - joined.begin());
        const QByteArray table =
            (index == 0 ? QByteArray("main") : joinedSchema(index)) + ".records";
        QByteArray sql;
        switch (op.kind) {
        case Op::Kind::Update:
            sql = "UPDATE " + table + " SET " + quoted(connection.columns[op.position - 1]) +
                  " = ?1 WHERE " + connection.rowidName + " = ?2";
            break;
        case Op::Kind::Insert: {
            QByteArray names = connection.rowidName;
            QByteArray parameters = "?1";
            for (int i = 0; i < connection.fieldCount(); ++i) {
                names += ", " + quoted(connection.columns[i]);
                parameters += ", ?" + QByteArray::number(i + 2);
            }
            sql = "INSERT INTO " + table + "(" + names + ") VALUES(" + parameters + ")";
            break;
        }
        case Op::Kind::RemoveAll:
            sql = "DELETE FROM " + table;
            break;
        }
        Statement& slot = prepared[sql];
        if (!slot)
            slot = prepare(leader, sql);
        sqlite3_stmt* statement = slot.get();
        if (!statement) {
            done = false;
            break;
        }
        const ResetOnExit reset(statement);
        if (op.kind == Op::Kind::Update) {
            bindText(statement, 1, op.texts.value(0));
            sqlite3_bind_int64(statement, 2, op.rowid);
        } else if (op.kind == Op::Kind::Insert) {
            sqlite3_bind_int64(statement, 1, op.rowid);
            for (int i = 0; i < connection.fieldCount(); ++i)
                bindText(statement, i + 2, op.texts.value(i));
        }
        // An update that finds no record lost it to another process's hands.
        done = sqlite3_step(statement) == SQLITE_DONE &&
               (op.kind == Op::Kind::RemoveAll || sqlite3_changes(leader) == 1);
    }
    prepared.clear();
    done = done && execute(leader, "COMMIT");
    if (!sqlite3_get_autocommit(leader))
        execute(leader, "ROLLBACK");
    for (std::size_t i = attached; i >= 1; --i)
        execute(leader, ("DETACH DATABASE " + joinedSchema(i)).constData());
    return done;
}

struct TableStore::Table {
    std::shared_ptr<Connection> connection;
    // Index into the connection's records; at or beyond their count means past the last one.
    std::size_t index = 0;

    std::size_t position() const { return std::min(index, connection->recordCount()); }
};

TableStore::TableStore(BackgroundWriter& writer) : writer_(writer) {}

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

// A file with writes on their way stays open through them, so that opening it again finds
// them rather than reading the file before they land.
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
    if (Table* t = current())
        t->index = 0;
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

namespace {
// A write that is refused takes the rest of its batch or joint write back with it.
template <typename Table> bool refuse(Table* t) {
    if (t && t->connection->unit)
        t->connection->unit->refused = true;
    return false;
}
} // namespace

bool TableStore::writeField(int position, const QString& text) {
    return update(current(), position, text);
}

bool TableStore::writeField(int position, const QString& alias, const QString& text) {
    return update(table(alias), position, text);
}

bool TableStore::update(Table* t, int position, const QString& text) {
    if (!t || position < 1 || position > t->connection->fieldCount() ||
        t->position() >= t->connection->recordCount())
        return refuse(t);
    const sqlite3_int64 rowid = t->connection->records[t->position()].rowid;
    return record(t->connection, Op{Op::Kind::Update, rowid, position, {text}}) || refuse(t);
}

bool TableStore::appendRecord(const QStringList& texts) {
    Table* t = current();
    if (!t)
        return false;
    const auto& records = t->connection->records;
    if (!records.empty() && records.back().rowid == std::numeric_limits<sqlite3_int64>::max())
        return refuse(t);
    Op op{Op::Kind::Insert, records.empty() ? 1 : records.back().rowid + 1, 0, {}};
    for (int i = 0; i < t->connection->fieldCount(); ++i)
        op.texts << texts.value(i);
    if (!record(t->connection, std::move(op)))
        return refuse(t);
    t->index = t->connection->recordCount() - 1;
    return true;
}

bool TableStore::appendBlankRecord() {
    return appendRecord({});
}

bool TableStore::emptyTable() {
    Table* t = current();
    if (!t || !record(t->connection, Op{Op::Kind::RemoveAll, 0, 0, {}}))
        return refuse(t);
    t->index = 0;
    return true;
}

bool TableStore::record(const std::shared_ptr<Connection>& connection, Op op) {
    if (!connection->writable)
        return false;
    Connection::apply(connection->records, op);
    if (connection->unit) {
        connection->unit->steps.emplace_back(connection, std::move(op));
        return true;
    }
    auto alone = std::make_shared<Unit>();
    alone->steps.emplace_back(connection, std::move(op));
    return hand(alone);
}

// The unit's writes wait in each file's pending list until the writer answers, so that reads
// go on seeing them and a failure can take exactly them out again.
bool TableStore::hand(const std::shared_ptr<Unit>& unit) {
    unit->id = ++lastUnit_;
    const auto joined = unit->connections();
    for (const auto& connection : joined)
        connection->pending.push_back({unit->id, unit->opsOf(connection.get())});
    const bool taken = writer_.submit([unit] { return unit->land(); }, &answers_,
                                      [unit](bool landed) { settle(unit, landed); });
    if (taken)
        return true;
    for (const auto& connection : joined) {
        connection->pending.pop_back();
        connection->rebuild();
    }
    unit->answer(false);
    return false;
}

// Answers come in the order the units were handed over, so each is the first pending one.
void TableStore::settle(const std::shared_ptr<Unit>& unit, bool landed) {
    for (const auto& connection : unit->connections()) {
        if (connection->pending.empty() || connection->pending.front().unit != unit->id)
            continue;
        const Connection::Pending done = std::move(connection->pending.front());
        connection->pending.pop_front();
        if (landed) {
            for (const Op& op : done.ops)
                Connection::apply(connection->landed, op);
        } else {
            connection->rebuild();
        }
    }
    unit->answer(landed);
}

// The outermost batch or joint write is over: its connections take writes on their own again.
void TableStore::close(std::shared_ptr<Unit> unit,
                       const std::vector<std::shared_ptr<Connection>>& connections, Answer answer) {
    unit->answers.push_back(std::move(answer));
    for (const auto& connection : connections) {
        connection->unit.reset();
        connection->depth = 0;
    }
    if (unit->refused) {
        for (const auto& connection : connections)
            connection->rebuild();
        unit->answer(false);
    } else if (unit->steps.empty()) {
        unit->answer(true);
    } else {
        hand(unit);
    }
}

void TableStore::writeTogether(const QStringList& aliases, const std::function<bool()>& work,
                               Answer answer) {
    std::vector<std::shared_ptr<Connection>> joined;
    for (const QString& alias : aliases) {
        const Table* t = table(alias);
        if (!t || t->connection->depth > 0) {
            if (answer)
                answer(false);
            return;
        }
        if (std::find(joined.begin(), joined.end(), t->connection) == joined.end())
            joined.push_back(t->connection);
    }
    if (joined.empty()) {
        if (answer)
            answer(false);
        return;
    }
    const auto unit = std::make_shared<Unit>();
    for (const auto& connection : joined) {
        connection->unit = unit;
        connection->depth = 1;
    }
    if (!work())
        unit->refused = true;
    close(unit, joined, std::move(answer));
}

TableStore::Table* TableStore::current() const {
    return current_;
}

TableStore::Table* TableStore::table(const QString& alias) const {
    const auto it = tables_.find(alias);
    return it == tables_.end() ? nullptr : it->second.get();
}

TableStore::Batch::Batch(TableStore& store) : store_(store) {
    Table* t = store.current();
    if (!t)
        return;
    connection_ = t->connection;
    if (connection_->depth++ == 0)
        connection_->unit = std::make_shared<Unit>();
}

TableStore::Batch::~Batch() {
    commit();
}

void TableStore::Batch::commit(Answer answer) {
    const std::shared_ptr<Connection> connection = std::move(connection_);
    if (!connection) {
        if (answer)
            answer(true);
        return;
    }
    if (--connection->depth > 0) {
        connection->unit->answers.push_back(std::move(answer));
        return;
    }
    store_.close(connection->unit, {connection}, std::move(answer));
}
