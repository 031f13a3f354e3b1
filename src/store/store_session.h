#pragma once

#include <QString>
#include <QStringList>

class TableStore;

// A table opened for the work of one event: opened under its alias (only when the file has the
// columns given, if any), made current and put on its first record; closed again when the session
// ends, unless it is to stay open for later events. When the file cannot be opened, no table is
// current, so the walks that follow read empty text and write nothing instead of reaching whatever
// table was current before.
class StoreSession {
public:
    enum class OnLeave { Close, KeepOpen };

    StoreSession(TableStore& store, const QString& path, const QString& alias,
                 OnLeave onLeave = OnLeave::Close, const QStringList& columns = {});
    ~StoreSession();
    StoreSession(const StoreSession&) = delete;
    StoreSession& operator=(const StoreSession&) = delete;

    // The remark store (备注的) and the port-binding store (端口绑定) in the program's directory
    // (no trailing separator), each only when the file has that store's columns.
    static StoreSession remarks(TableStore& store, const QString& programDir);
    static StoreSession binding(TableStore& store, const QString& programDir,
                                OnLeave onLeave = OnLeave::Close);

    bool isOpen() const { return open_; }
    TableStore& store() const { return store_; }
    // Record n (1-based), reached from the first record by n - 1 skips.
    void goToRecord(int n) const;

private:
    TableStore& store_;
    QString alias_;
    OnLeave onLeave_;
    bool open_;
};

// Puts the current table of store on record n (1-based) the way every walk reaches a record.
void goToRecord(TableStore& store, int n);
