#pragma once

#include <QString>

#include <optional>

// Where the control channel of the program in a given directory listens: a socket in this
// user's runtime directory, named after the program directory, so that one user's programs
// in different directories each have their own. Shared by the program and hubrixctl; Qt Core
// only.
namespace control_address {

// The user's runtime directory (0700, this user's own), created under /tmp when the session
// has none. Empty when no such directory can be had.
QString runtimeDirectory();

// Why runtimeDirectory() found none, for the operator.
QString noRuntimeDirectoryReason();

// The socket of the program whose directory is programDir; empty without a runtime directory.
QString socketPath(const QString& programDir);

// The file whose lock the program of storeDir holds while it runs.
QString lockPath(const QString& storeDir);

// Whether a program holds the lock of storeDir: none when no program runs there; otherwise why
// its control channel is unavailable, as the program noted it (empty when it noted nothing,
// as while it starts).
std::optional<QString> channelProblem(const QString& storeDir);

// A connected stream socket to path (a descriptor to close), or -1 when nothing listens
// there. flags are added to the socket's type: SOCK_NONBLOCK for a client that must not wait.
int connectTo(const QString& path, int flags = 0);

} // namespace control_address
