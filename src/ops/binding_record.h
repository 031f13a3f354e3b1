#pragma once

#include <functional>

struct Context;
class StoreSession;

// Stores the device numbers of the boards that hub links 1 ... 8 hold now as the binding record
// of an open binding session. Record 1 is the only one ever read,
// so it is replaced when it exists; a store without records gets it appended. answer says true
// once the record is durable and the rack model holds the binding; false when the store is not
// open or the record did not land: the next start would not know the boards.
enum class BindingScope {
    // Every field: the found links' device numbers, empty text for the others (按钮4_绑定).
    AllLinks,
    // Only the empty fields of links found now: the boards the add-device query just found. A
    // bound link whose board is absent keeps its field.
    NewLinks,
};
void writeBindingRecord(Context& context, const StoreSession& binding, BindingScope scope,
                        std::function<void(bool written)> answer);
