// hubrixctl: scripts' command line for a running Hubrix. It sends one request to the
// program of a directory over its control channel and prints the reply, or follows its
// events; the program does the work in its window.
#include "app/program_directory.h"
#include "command_line.h"
#include "local_connection.h"
#include "platform/control_address.h"
#include "replies.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QLocale>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>

namespace {
using command_line::Text;
using Outcome = LocalConnection::Outcome;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

// hubrixctl's own texts, and the command-line parser's, in the user's language.
void translate(QCoreApplication& app, QTranslator& own, QTranslator& toolkit) {
    if (own.load(QLocale(), QStringLiteral("hubrixctl"), QStringLiteral("_"),
                 QStringLiteral(":/i18n")))
        app.installTranslator(&own);
    if (toolkit.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&toolkit);
}

QString storeDirectoryOf(const QString& executableDir) {
    return program_directory::keepsStoresBeside(executableDir,
                                                program_directory::isWritable(executableDir))
               ? executableDir
               : program_directory::userDataDirectory();
}

int noProgram(const QString& programDir) {
    // The program writes why its channel could not be made beside its lock, while it runs.
    if (const auto problem = control_address::channelProblem(programDir)) {
        err() << "hubrixctl: "
              << Text::tr("Hubrix runs but its control channel is unavailable: %1")
                     .arg(problem->isEmpty() ? Text::tr("it is starting") : *problem)
              << '\n';
        return replies::NoProgram;
    }
    err() << "hubrixctl: "
          << Text::tr("no Hubrix is running for %1 (start it, or name its directory with --dir)")
                 .arg(programDir)
          << '\n';
    return replies::NoProgram;
}

int noAnswer() {
    err() << "hubrixctl: " << Text::tr("no answer from Hubrix") << '\n';
    return replies::NoAnswer;
}

int wentAway(bool answered) {
    err() << "hubrixctl: "
          << (answered ? Text::tr("Hubrix went away")
                       : Text::tr("Hubrix went away without an answer"))
          << '\n';
    return replies::NoAnswer;
}

// The replies to one request until the final one; the events that follow for `events`.
int converse(LocalConnection& connection, const command_line::Invocation& invocation) {
    const QJsonObject& request = invocation.request;
    const bool following = request.value(QLatin1String("cmd")) == QLatin1String("events");
    bool subscribed = false;
    QByteArray line;
    for (;;) {
        // Events may be far apart; only the answer to the subscription has a deadline.
        const Outcome read = connection.readLine(&line, subscribed ? -1 : invocation.deadlineMs);
        if (read == Outcome::Silent)
            return noAnswer();
        if (read != Outcome::Done)
            return wentAway(subscribed);
        const QJsonObject reply = QJsonDocument::fromJson(line).object();
        if (reply.value(QLatin1String("peerRefused")).toBool()) {
            err() << "hubrixctl: " << reply.value(QLatin1String("error")).toString() << '\n';
            return replies::NoProgram;
        }
        if (reply.contains(QLatin1String("progress")))
            continue;
        if (following && subscribed) {
            // A follower that fell too far behind is told so once, then let go.
            if (reply.contains(QLatin1String("error"))) {
                err() << "hubrixctl: " << reply.value(QLatin1String("error")).toString() << '\n';
                return replies::NotDone;
            }
            if (invocation.json)
                out() << QString::fromUtf8(line.trimmed()) << '\n';
            else
                replies::printEvent(reply, out());
            out().flush();
            continue;
        }
        if (following && reply.value(QLatin1String("following")).toBool()) {
            subscribed = true;
            continue;
        }
        if (invocation.json)
            out() << QString::fromUtf8(line.trimmed()) << '\n';
        else
            replies::print(request, reply, out(), err());
        return replies::status(request, reply);
    }
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("hubrixctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(HUBRIX_VERSION));
    QTranslator own;
    QTranslator toolkit;
    translate(app, own, toolkit);
    QString error;
    const auto invocation = command_line::parse(QCoreApplication::arguments(), &error);
    if (!invocation) {
        err() << "hubrixctl: " << error << "\n\n" << command_line::usage();
        return replies::Usage;
    }
    if (invocation->ask == command_line::Invocation::Ask::Help) {
        out() << command_line::usage();
        return replies::Done;
    }
    if (invocation->ask == command_line::Invocation::Ask::Version) {
        out() << "hubrixctl " << QCoreApplication::applicationVersion() << '\n';
        return replies::Done;
    }
    // The installed and the portable program both lie beside hubrixctl, and each listens for
    // the directory of its stores: its own, or the user's data directory when installed, which
    // is named after the program.
    QCoreApplication::setApplicationName(QStringLiteral("hubrix"));
    const QString programDir =
        invocation->programDir.isEmpty()
            ? storeDirectoryOf(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath())
            : invocation->programDir;
    LocalConnection connection;
    const Outcome connected =
        connection.connectTo(control_address::socketPath(programDir), invocation->deadlineMs);
    if (connected == Outcome::Absent)
        return noProgram(programDir);
    if (connected == Outcome::Silent)
        return noAnswer();
    // A program that refuses this user may close before the request is through; its reply
    // says why all the same.
    connection.write(QJsonDocument(invocation->request).toJson(QJsonDocument::Compact) + '\n');
    return converse(connection, *invocation);
}
