#include "ops/binding_record.h"

#include "state/context.h"
#include "store/store_session.h"
#include "store/table_store.h"

#include <QStringList>

bool writeBindingRecord(Context& context, const StoreSession& binding) {
    if (!binding.isOpen())
        return false;
    QStringList deviceNumbers;
    for (const LinkState& link : context.state.links)
        deviceNumbers << link.deviceNumber;
    TableStore& store = binding.store();
    if (store.recordCount() == 0)
        return store.appendRecord(deviceNumbers);
    binding.goToRecord(1);
    TableStore::Batch batch(store);
    bool written = true;
    for (int k = 1; k <= LinkCount; ++k)
        written = store.writeField(k, deviceNumbers[k - 1]) && written;
    return batch.commit() && written;
}
