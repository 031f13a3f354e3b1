#pragma once

#include <QByteArray>
#include <QString>

#include <sqlite3.h>

#include <memory>

// Owning handles of SQLite and the few calls every part of the table store makes through them.
namespace sql {

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

QByteArray quoted(const QString& name);
QByteArray nativePath(const QString& path);
bool execute(sqlite3* db, const char* sql);
// Kept prepared for repeated use; nothing when SQLite refuses the text.
Statement prepare(sqlite3* db, const QByteArray& sql);
QString columnText(sqlite3_stmt* statement, int column);
// SQLite answers a journal mode change with the mode in force afterwards.
QString journalModeAfter(sqlite3* db, const char* pragma);

} // namespace sql
