// hubrixctl: scripts' command line for a running Hubrix. It sends one request to the
// program of a directory over its control channel and prints the reply, or follows its
// events; the program does the work in its window.
#include "app/program_directory.h"
#include "command_line.h"
#include "local_connection.h"
#include "platform/control_address.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {
constexpr int Done = 0;
constexpr int NotDone = 1;
constexpr int NoProgram = 2;
constexpr int Usage = 64;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

void printStatus(const QJsonObject& reply) {
    out() << "directory " << reply.value(QStringLiteral("programDir")).toString() << '\n';
    for (const QJsonValue& value : reply.value(QStringLiteral("links")).toArray()) {
        const QJsonObject link = value.toObject();
        const QString bound = link.value(QStringLiteral("boundDeviceNumber")).toString();
        out() << "link " << link.value(QStringLiteral("link")).toInt();
        if (link.value(QStringLiteral("found")).toBool()) {
            out() << " found device " << link.value(QStringLiteral("deviceNumber")).toString()
                  << " port " << link.value(QStringLiteral("port")).toInt();
        } else {
            out() << " not found";
        }
        out() << " bound " << (bound.isEmpty() ? QStringLiteral("-") : bound) << '\n';
    }
    for (const QString& kind :
         {QStringLiteral("on"), QStringLiteral("awaited"), QStringLiteral("unconfirmed")}) {
        for (const QJsonValue& tile : reply.value(kind).toArray())
            out() << "tile " << tile.toInt() << ' ' << kind << '\n';
    }
}

void printTiles(const QJsonObject& reply) {
    for (const QJsonValue& value : reply.value(QStringLiteral("tiles")).toArray()) {
        const QJsonObject tile = value.toObject();
        out() << "tile " << tile.value(QStringLiteral("tile")).toInt() << ' '
              << tile.value(QStringLiteral("result")).toString();
        const QString text = tile.value(QStringLiteral("text")).toString();
        if (!text.isEmpty())
            out() << ": " << text;
        out() << '\n';
    }
}

void printEvent(const QJsonObject& event) {
    out() << event.value(QStringLiteral("time")).toString() << ' '
          << event.value(QStringLiteral("event")).toString();
    if (event.contains(QStringLiteral("tile"))) {
        out() << " tile " << event.value(QStringLiteral("tile")).toInt()
              << (event.value(QStringLiteral("on")).toBool() ? " on" : " off");
    }
    if (event.contains(QStringLiteral("link")))
        out() << " link " << event.value(QStringLiteral("link")).toInt();
    if (event.contains(QStringLiteral("deviceNumber"))) {
        out() << " device " << event.value(QStringLiteral("deviceNumber")).toString() << " port "
              << event.value(QStringLiteral("port")).toInt();
    }
    if (event.contains(QStringLiteral("text")))
        out() << ' ' << event.value(QStringLiteral("text")).toString();
    if (event.contains(QStringLiteral("cause")))
        out() << " by " << event.value(QStringLiteral("cause")).toString();
    out() << '\n';
}

// The reply in plain text, and the exit status it stands for.
int report(const QString& command, const QJsonObject& reply) {
    const bool ok = reply.value(QStringLiteral("ok")).toBool();
    if (reply.contains(QStringLiteral("error"))) {
        err() << "hubrixctl: " << reply.value(QStringLiteral("error")).toString() << '\n';
        return NotDone;
    }
    if (command == QLatin1String("status")) {
        printStatus(reply);
    } else if (command == QLatin1String("remark")) {
        out() << reply.value(QStringLiteral("prompt"))
                     .toString(reply.value(QStringLiteral("text")).toString())
              << '\n';
    } else if (command == QLatin1String("find")) {
        for (const QJsonValue& value : reply.value(QStringLiteral("tiles")).toArray()) {
            const QJsonObject hit = value.toObject();
            out() << hit.value(QStringLiteral("tile")).toInt() << ':'
                  << hit.value(QStringLiteral("text")).toString() << '\n';
        }
    } else {
        printTiles(reply);
    }
    return ok ? Done : NotDone;
}

QString storeDirectoryOf(const QString& executableDir) {
    QCoreApplication::setApplicationName(QStringLiteral("hubrix"));
    return program_directory::keepsStoresBeside(executableDir,
                                                program_directory::isWritable(executableDir))
               ? executableDir
               : program_directory::userDataDirectory();
}

int noProgram(const QString& programDir) {
    err() << "hubrixctl: no Hubrix is running for " << programDir
          << " (start it, or name its directory with --dir)\n";
    return NoProgram;
}
} // namespace

int main(int argc, char* argv[]) {
    // No application object: nothing here needs an event loop, and a short command should
    // cost little more than the program's answer.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QString error;
    const auto invocation = command_line::parse(arguments, &error);
    if (!invocation) {
        err() << "hubrixctl: " << error << '\n' << command_line::usage();
        return Usage;
    }
    // The installed and the portable program both lie beside hubrixctl, and each listens for
    // the directory of its stores: its own, or the user's data directory when installed.
    const QString programDir =
        invocation->programDir.isEmpty()
            ? storeDirectoryOf(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath())
            : invocation->programDir;
    LocalConnection connection;
    if (!connection.connectTo(control_address::socketPath(programDir)))
        return noProgram(programDir);
    const QString command = invocation->request.value(QStringLiteral("cmd")).toString();
    // A program that refuses this user may close before the request is through; its reply
    // says why all the same.
    connection.write(QJsonDocument(invocation->request).toJson(QJsonDocument::Compact) + '\n');
    const bool following = command == QLatin1String("events");
    bool answered = false;
    QByteArray line;
    while (connection.readLine(&line)) {
        const QJsonObject reply = QJsonDocument::fromJson(line).object();
        if (reply.value(QStringLiteral("peerRefused")).toBool()) {
            err() << "hubrixctl: " << reply.value(QStringLiteral("error")).toString() << '\n';
            return NoProgram;
        }
        if (invocation->json) {
            out() << QString::fromUtf8(line.trimmed()) << '\n';
            out().flush();
        }
        if (!following) {
            return invocation->json ? (reply.value(QStringLiteral("ok")).toBool() ? Done : NotDone)
                                    : report(command, reply);
        }
        if (!answered) {
            answered = true;
            if (reply.contains(QStringLiteral("error")))
                return report(command, reply);
            continue;
        }
        if (!invocation->json) {
            printEvent(reply);
            out().flush();
        }
    }
    // The program ended: a stream of events ends with it, a command is left unanswered.
    return following && answered ? Done : noProgram(programDir);
}
