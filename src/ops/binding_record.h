#pragma once

struct Context;
class StoreSession;

// Stores the device numbers that hub links 1 ... 8 hold now (empty text for a link without
// one) as the binding record of an open binding session. Record 1 is the only one ever read,
// so it is replaced when it exists; a store without records gets it appended. False when the
// store is not open or a field could not be written: the next start would not know the boards.
bool writeBindingRecord(Context& context, const StoreSession& binding);
