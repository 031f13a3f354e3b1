#pragma once

#include <QString>

// Where the control channel of the program in a given directory listens: a socket in this
// user's runtime directory, named after the program directory, so that one user's programs
// in different directories each have their own. Shared by the program and hubrixctl; Qt Core
// only.
namespace control_address {

// The user's runtime directory (0700, this user's own), created under /tmp when the session
// has none. Empty when no such directory can be had.
QString runtimeDirectory();

// The socket of the program whose directory is programDir; empty without a runtime directory.
QString socketPath(const QString& programDir);

} // namespace control_address
