#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The directory of the program's executable, and the directory where it keeps its store files
// and looks for its ports/ folder. File names are bytes; the program can use a directory only
// when its name comes back from text as exactly the same bytes, or its files would land
// elsewhere (an undecodable name turns into another one, or into nothing and so into "/").
namespace program_directory {

// The directory part of an executable's path; none when the name cannot be used.
std::optional<QString> fromExecutablePath(const QByteArray& executable);
// This process's own executable, as the system names it.
QByteArray executablePath();
// What the operator is told when the directory cannot be used.
QString unusableMessage(const QByteArray& executable);

// Whether the directory lies among the system's installed files (/usr/bin, the directory the
// build installs into, ...), where a root run could write but nothing of the operator's
// belongs and a package update or removal would not spare it.
bool isInstalled(const QString& programDir);
// Whether this account may create files in the directory.
bool isWritable(const QString& directory);
// Whether the stores and ports/ live beside the executable: a copy of the program in a
// directory of its own that it may write keeps them there, so a portable copy carries its
// stores along; an installed one, or one in a directory it may not write, does not.
bool keepsStoresBeside(const QString& programDir, bool programDirWritable);
// The user's data directory for the program (QStandardPaths::AppDataLocation).
QString userDataDirectory();
// The directory of the stores and ports/ for a program in programDir: programDir itself, or
// the user's data directory, created when missing; none when it cannot be created.
std::optional<QString> storeDirectory(const QString& programDir);
// What the operator is told when the user's data directory cannot be created.
QString noStoreDirectoryMessage();
// The line that tells the operator which directory holds the stores.
QString storeDirectoryNote(const QString& storeDir);

} // namespace program_directory
