#pragma once

#include "platform/background_writer.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

// One field of a table as given at creation. Only the text type is used by the program.
struct FieldDefinition {
    static constexpr int TextType = 10;
    QString name;
    int type = 0;
    int maxLength = 20;
};

// Record-oriented tables, one SQLite file each, opened under an alias. The store has a current
// table; each open table has a current record, reached from the first record by single skips.
//
// File layout: one SQLite table "records" whose columns are the fields in position order and
// whose rowid order is the record order, nothing else. Every completed write is committed and
// synced into the file itself (rollback journal), so the file alone always holds it; an
// existing file that is not exactly such a store is never written to. A store file this
// process may read but not write opens all the same, and each write to it fails.
//
// Writes are taken at once and land through the writer, in the order taken. The records are
// held in memory, and every read sees every write taken, landed or not: the tables are small
// (a few hundred records), so the image costs little, while reads that waited for the writer
// would wait on its syncs. A write that fails to land is taken back from the image, and so is
// one that was refused. Only the writer's answer tells that a write is durable.
class TableStore {
    struct Connection;
    struct Op;
    struct Unit;

public:
    using Answer = BackgroundWriter::Answer;

    explicit TableStore(BackgroundWriter& writer);
    ~TableStore();
    TableStore(const TableStore&) = delete;
    TableStore& operator=(const TableStore&) = delete;

    static bool fileExists(const QString& path);
    // The column names createTable gives these fields: a field without a name is called
    // "字段" followed by its position.
    static QStringList columnNames(const QList<FieldDefinition>& fields);
    // Removes what an interrupted createTable of path left in its directory; nothing else.
    static void removeStagingLeftovers(const QString& path);
    // Removes the super-journals that a writeTogether cut off by a kill can leave beside these
    // store files, but only while none of them has a journal that could still refer to one.
    static void removeStaleSuperJournals(const QStringList& paths);

    // Creates a new file holding an empty table; fails when the file exists already. Clears the
    // leftovers of an interrupted earlier attempt first.
    bool createTable(const QString& path, const QList<FieldDefinition>& fields);
    // Opens a valid store file under alias (closing whatever that alias held); the current
    // record is the first. With columns, only a store whose fields have exactly these names in
    // this order is valid; without, any store is. A missing, foreign or damaged file fails and
    // stays untouched. The current table stays what it was; an alias that was current is
    // current again once reopened.
    bool openTable(const QString& path, const QString& alias, const QStringList& columns = {});
    bool makeCurrent(const QString& alias);
    // The alias of the current table; empty when none is current.
    QString currentAlias() const;
    // Leaves no table current, so that operations without an alias act on nothing.
    void clearCurrent() { current_ = nullptr; }
    // Harmless for an alias that is not open. Written values are already in the file.
    void closeTable(const QString& alias);
    bool isOpen(const QString& alias) const;

    // The operations below act on the current table; without one they do nothing and read empty.
    // A write returns whether it was taken; outside a batch it lands on its own, unanswered.
    void goToFirstRecord();
    void skip();
    int recordCount() const;
    // 1-based; recordCount() + 1 once skipped past the last record.
    int currentRecordNumber() const;
    // Empty text for a blank field, a position outside the fields or no current record.
    QString readField(int position) const;
    QString readField(int position, const QString& alias) const;
    bool writeField(int position, const QString& text);
    bool writeField(int position, const QString& alias, const QString& text);
    // A record with these texts (missing ones blank, ones beyond the last field dropped) is
    // added at the end and becomes current.
    bool appendRecord(const QStringList& texts);
    bool appendBlankRecord();
    // Removes all records of the current table.
    bool emptyTable();

    // Runs work with the tables of aliases (all open) joined in one transaction: every write that
    // work makes through the usual operations on any of these aliases commits together or not at
    // all. answer says true once all of it is durable; false (and nothing changed in any file,
    // nor in what reads see) when work returns false, a write was refused, or the commit fails.
    void writeTogether(const QStringList& aliases, const std::function<bool()>& work,
                       Answer answer);

    // Groups the writes made while it lives on the current table into one transaction, so
    // that a run of many writes costs one sync, and one refused write takes the others back
    // with it. Committed when it goes out of scope.
    class Batch {
    public:
        explicit Batch(TableStore& store);
        ~Batch();
        // Ends the batch now. answer says true once every write made in it is durable, false
        // when they did not land after all. A batch inside another, or inside writeTogether,
        // leaves the commit to the outer one and is answered with it.
        void commit(Answer answer = {});
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        TableStore& store_;
        std::shared_ptr<Connection> connection_;
    };

private:
    struct Table;
    Table* current() const;
    Table* table(const QString& alias) const;
    bool update(Table* t, int position, const QString& text);
    // The write lands in the connection's open unit, or on its own.
    bool record(const std::shared_ptr<Connection>& connection, Op op);
    void close(std::shared_ptr<Unit> unit,
               const std::vector<std::shared_ptr<Connection>>& connections, Answer answer);
    bool hand(const std::shared_ptr<Unit>& unit);
    // Needs nothing of the store itself, which may be gone when the answer comes.
    static void settle(const std::shared_ptr<Unit>& unit, bool landed);

    BackgroundWriter& writer_;
    // Receives the writer's answers; going away with the store, it takes the late ones along.
    QObject answers_;
    quint64 lastUnit_ = 0;

    std::map<QString, std::unique_ptr<Table>> tables_;
    // Aliases of one file share its connection, so each sees the others' writes at once.
    std::map<QString, std::weak_ptr<Connection>> connections_;
    Table* current_ = nullptr;
};
