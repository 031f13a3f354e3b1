#pragma once

#include <QString>

class Dialogs;

// A start for a store directory that another program runs on: it brings that program's window
// to the front and ends, so that two programs never switch the same rack or write the same
// stores.
namespace other_program {

// What the operator is told.
QString message();
// Asks the program that holds storeDir, through its control channel, to show its window on
// top; false when that program cannot be reached within a moment (its channel unavailable, or
// not yet up).
bool raise(const QString& storeDir);
// Says so on standard error, and in a box as well when the other program could not be
// reached, so that an operator who started it from the desktop learns why nothing opened.
// The start's exit code.
int yieldTo(const QString& storeDir, Dialogs& dialogs);

} // namespace other_program
