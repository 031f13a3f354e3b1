#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

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
class TableStore {
    struct Connection;

public:
    TableStore();
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
    // all. False (and nothing changed in any file) when work returns false, a write fails, or the
    // commit fails.
    bool writeTogether(const QStringList& aliases, const std::function<bool()>& work);

    // Groups the writes made while it lives on the current table into one transaction, so
    // that a run of many writes costs one sync. Committed when it goes out of scope.
    class Batch {
    public:
        explicit Batch(TableStore& store);
        ~Batch();
        // Ends the batch now. False when writes made in it, each reported written, did not
        // land after all: the commit failed, or a failed write had taken them back with it. A
        // batch inside another, or inside writeTogether, leaves that to the outer one.
        bool commit();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        std::shared_ptr<Connection> connection_;
    };

private:
    struct Table;
    Table* current() const;
    Table* table(const QString& alias) const;

    std::map<QString, std::unique_ptr<Table>> tables_;
    // Aliases of one file share its connection, so each sees the others' writes at once.
    std::map<QString, std::weak_ptr<Connection>> connections_;
    Table* current_ = nullptr;
};
