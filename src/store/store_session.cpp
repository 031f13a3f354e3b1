#include "store/store_session.h"

#include "store/stores.h"
#include "store/table_store.h"

StoreSession::StoreSession(TableStore& store, const QString& path, const QString& alias,
                           OnLeave onLeave, const QStringList& columns)
    : store_(store), alias_(alias), onLeave_(onLeave),
      open_(store.openTable(path, alias, columns)) {
    if (open_) {
        store_.makeCurrent(alias_);
        store_.goToFirstRecord();
    } else {
        store_.clearCurrent();
    }
}

StoreSession::~StoreSession() {
    if (onLeave_ == OnLeave::Close || !open_)
        store_.closeTable(alias_);
}

StoreSession StoreSession::remarks(TableStore& store, const QString& programDir) {
    return StoreSession(store, programDir + stores::RemarkFile, stores::RemarkAlias, OnLeave::Close,
                        stores::remarkColumns());
}

StoreSession StoreSession::binding(TableStore& store, const QString& programDir, OnLeave onLeave) {
    return StoreSession(store, programDir + stores::BindingFile, stores::BindingAlias, onLeave,
                        stores::bindingColumns());
}

void StoreSession::goToRecord(int n) const {
    ::goToRecord(store_, n);
}

void goToRecord(TableStore& store, int n) {
    store.goToFirstRecord();
    for (int record = 1; record < n; ++record)
        store.skip();
}
