#include "ops/binding_record.h"

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
        const QString found = link.isFound() ? link.deviceNumber : QString();
        const QString stored = store.readField(k, stores::BindingAlias);
        const bool replaced =
            scope == BindingScope::AllLinks || (stored.isEmpty() && !found.isEmpty());
        fields << (replaced ? found : stored);
    }
    if (store.recordCount() == 0)
        return store.appendRecord(fields);
    binding.goToRecord(1);
    TableStore::Batch batch(store);
    bool written = true;
    for (int k = 1; k <= LinkCount; ++k)
        written = store.writeField(k, fields[k - 1]) && written;
    return batch.commit() && written;
}
