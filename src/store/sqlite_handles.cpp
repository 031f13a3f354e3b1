#include "store/sqlite_handles.h"

#include <QFile>

namespace sql {

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

QString journalModeAfter(sqlite3* db, const char* pragma) {
    const Statement statement = prepare(db, pragma);
    return statement && sqlite3_step(statement.get()) == SQLITE_ROW ? columnText(statement.get(), 0)
                                                                    : QString();
}

} // namespace sql
