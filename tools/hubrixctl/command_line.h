#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// hubrixctl's command line, turned into the request it sends.
namespace command_line {

// TILES: tile numbers and ranges separated by commas ("5", "1-42", "5,9,100-105"), or
// "link:K" for the 42 tiles of hub link K; each tile once, in the order given. None for
// anything else.
std::optional<QList<int>> parseTiles(const QString& text);

struct Invocation {
    QJsonObject request;
    // Print replies as they come, one JSON document per line.
    bool json = false;
    // Empty: the directory hubrixctl itself lies in.
    QString programDir;
};

// The arguments after the program's name; none with error set for a malformed line.
std::optional<Invocation> parse(const QStringList& arguments, QString* error);

QString usage();

} // namespace command_line
