#pragma once

#include <QJsonObject>
#include <QString>
#include <QTextStream>

// What hubrixctl makes of the program's replies: the lines it prints and the exit status,
// one meaning each.
namespace replies {

enum Status {
    // Everything asked was done (find: something matched; get: every tile is on).
    Done = 0,
    // Not everything was done at the rack, or nothing matched.
    NotDone = 1,
    // No program runs for the directory, or it refuses this user.
    NoProgram = 2,
    // The program sent nothing within the deadline, or went away without an answer.
    NoAnswer = 3,
    // A rule of the moment stopped it, as it would stop the operator's click.
    Refused = 4,
    Usage = 64,
};

// The exit status that reply to request stands for.
Status status(const QJsonObject& request, const QJsonObject& reply);

// The reply in plain text: results to out, errors to err.
void print(const QJsonObject& request, const QJsonObject& reply, QTextStream& out,
           QTextStream& err);

// One line per event: time, event and its details.
void printEvent(const QJsonObject& event, QTextStream& out);

} // namespace replies
