#include "ops/binding_record.h"

#include "rack/rack_model.h"
#include "state/context.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "store/table_store.h"

#include <QStringList>

void writeBindingRecord(Context& context, const StoreSession& binding, BindingScope scope,
                        std::function<void(bool written)> answer) {
    if (!binding.isOpen()) {
        answer(false);
        return;
    }
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
    binding.goToRecord(1);
    TableStore::Batch batch(store);
    if (store.recordCount() == 0) {
        store.appendRecord(fields);
    } else {
        for (int k = 1; k <= LinkCount; ++k)
            store.writeField(k, fields[k - 1]);
    }
    batch.commit([&context, fields, answer = std::move(answer)](bool written) {
        if (written)
            context.rack.setBinding(fields);
        answer(written);
    });
}
