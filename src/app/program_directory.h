#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The directory of the program's executable, where its store files and its ports/ folder
// live. File names are bytes; the program can use a directory only when its name comes back
// from text as exactly the same bytes, or its files would land elsewhere (an undecodable name
// turns into another one, or into nothing and so into "/").
namespace program_directory {

// The directory part of an executable's path; none when the name cannot be used.
std::optional<QString> fromExecutablePath(const QByteArray& executable);
// This process's own executable, as the system names it.
QByteArray executablePath();
// What the operator is told when the directory cannot be used.
QString unusableMessage(const QByteArray& executable);

} // namespace program_directory
