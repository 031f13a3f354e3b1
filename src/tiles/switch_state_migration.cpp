#include "tiles/switch_state_migration.h"

#include "state/context.h"
#include "store/kept_switches.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/tile_numbering.h"

bool migrateSwitchStates(Context& context, KeptSwitches& kept) {
    if (kept.migrated())
        return true;
    const QString unconfirmed = QStringLiteral("?");
    QList<KeptSwitches::Change> changes;
    QHash<QString, int> links;
    QList<int> tilesKept;
    const StoreSession remarks = StoreSession::remarks(context.store, context.programDir);
    if (remarks.isOpen()) {
        TableStore& store = remarks.store();
        for (int tile = 1; tile <= TileCount; ++tile, store.skip()) {
            QString value = store.readField(stores::SwitchStateField);
            if (value.isEmpty())
                continue;
            const bool asked = value.startsWith(unconfirmed);
            if (asked)
                value.remove(0, unconfirmed.size());
            changes.append({value, tiles::slotOf(tile),
                            asked ? KeptSwitches::Kept::Asked : KeptSwitches::Kept::On});
            links.insert(value, tiles::linkOf(tile));
            tilesKept.append(tile);
        }
    }
    if (!kept.write(changes, links) || !kept.markMigrated())
        return false;
    if (!tilesKept.isEmpty()) {
        // Taken over: the field goes back to holding nothing, as before it held switch states.
        TableStore& store = remarks.store();
        remarks.goToRecord(1);
        TableStore::Batch batch(store);
        int record = 1;
        for (int tile : tilesKept) {
            for (; record < tile; ++record)
                store.skip();
            store.writeField(stores::SwitchStateField, QString());
        }
    }
    return true;
}
