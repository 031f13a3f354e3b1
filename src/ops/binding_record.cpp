#include "ops/binding_record.h"

#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "store/table_store.h"

#include <QStringList>

bool writeBindingRecord(Context& context, const StoreSession& binding, BindingScope scope) {
    if (!binding.isOpen())
        return false;
    TableStore& store = binding.store();
    QStringList fields;
    for (int k = 1; k <= LinkCount; ++k) {
        const LinkState& link = context.state.links[size_t(k - 1)];
        const QString found = context.rack.isFound(k) ? link.deviceNumber : QString();
        const QString stored = store.readField(k, stores::BindingAlias);
        const bool replaced =
            scope == BindingScope::AllLinks || (stored.isEmpty() && !found.isEmpty());
        fields << (replaced ? found : stored);
    }
    bool written = true;
    if (store.recordCount() == 0) {
        written = store.appendRecord(fields);
    } else {
        binding.goToRecord(1);
        TableStore::Batch batch(store);
        for (int k = 1; k <= LinkCount; ++k)
            written = store.writeField(k, fields[k - 1]) && written;
        written = batch.commit() && written;
    }
    if (written)
        context.rack.setBinding(fields);
    return written;
}
