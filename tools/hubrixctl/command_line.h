#pragma once

#include <QCoreApplication>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// hubrixctl's command line, turned into the request it sends.
namespace command_line {

// The context of the messages hubrixctl writes itself, for its translations.
class Text {
    Q_DECLARE_TR_FUNCTIONS(hubrixctl)
};

constexpr int DefaultDeadlineMs = 5000;

// TILES: tile numbers and ranges separated by commas ("5", "1-42", "5,9,100-105"), or
// "link:K" for the 42 tiles of hub link K; each tile once, in the order given. None for
// anything else ("@TEXT" is the program's to resolve).
std::optional<QList<int>> parseTiles(const QString& text);

struct Invocation {
    enum class Ask { Run, Help, Version };
    Ask ask = Ask::Run;
    QJsonObject request;
    // Print replies as they come, one JSON document per line.
    bool json = false;
    // Empty: the directory hubrixctl itself lies in.
    QString programDir;
    // How long the program may send nothing before hubrixctl gives up on it.
    int deadlineMs = DefaultDeadlineMs;
};

// The whole command line, the program's name first; none with error set for a malformed one.
std::optional<Invocation> parse(const QStringList& arguments, QString* error);

// The help text: synopsis, commands and options.
QString usage();

} // namespace command_line
