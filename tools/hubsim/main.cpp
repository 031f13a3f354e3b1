#include "hub_rack.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <optional>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

namespace {

const char* const kCommandHelp =
    "Commands on standard input:\n"
    "  plug PORT DEV      a board with device number DEV (four hex digits)\n"
    "  chatty PORT        a device that keeps sending random bytes\n"
    "  loopback PORT      a looped cable that sends back whatever arrives\n"
    "  fault PORT silent|late MS|drop-echo|stray|stray-before|none\n"
    "  unplug PORT\n"
    "  status\n"
    "  quit\n";

QString hex4(quint16 deviceNumber) {
    return QStringLiteral("%1").arg(deviceNumber, 4, 16, QLatin1Char('0')).toUpper();
}

// Set by --times: a log then shows when each frame reached its board, on the clock that the
// reader's own CLOCK_MONOTONIC readings compare with.
bool stampLines = false;

void say(const QString& line) {
    if (stampLines) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::printf("%lld.%06ld ", static_cast<long long>(now.tv_sec), now.tv_nsec / 1000);
    }
    std::printf("%s\n", qPrintable(line));
}

void complain(const QString& line) {
    std::fprintf(stderr, "hubsim: %s\n", qPrintable(line));
}

// Port number to the device number of the board on it; other devices have none.
using PortMap = std::map<int, std::optional<quint16>>;

void announce(const HubRack& rack, int port, const QString& kind) {
    say(QStringLiteral("%1 %2: %3 -> %4")
            .arg(kind)
            .arg(port)
            .arg(rack.linkPath(port), rack.devicePath(port)));
}

QString boardKind(quint16 deviceNumber) {
    return QStringLiteral("board %1 on port").arg(hex4(deviceNumber));
}

class Console {
public:
    Console(HubRack& rack, PortMap& ports) : rack_(rack), ports_(ports) {}

    void run(const QString& line) {
        const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty()) {
            return;
        }
        const QString& verb = words.first();
        if (verb == QLatin1String("plug") && words.size() == 3) {
            plug(words.at(1).toInt(), words.at(2));
        } else if (verb == QLatin1String("chatty") && words.size() == 2) {
            const int port = words.at(1).toInt();
            add(port, rack_.addChattyPort(port), std::nullopt, QStringLiteral("chatty port"));
        } else if (verb == QLatin1String("loopback") && words.size() == 2) {
            const int port = words.at(1).toInt();
            add(port, rack_.addLoopbackPort(port), std::nullopt, QStringLiteral("loopback port"));
        } else if (verb == QLatin1String("fault") && words.size() >= 3) {
            fault(words);
        } else if (verb == QLatin1String("unplug") && words.size() == 2) {
            unplug(words.at(1).toInt());
        } else if (verb == QLatin1String("status") && words.size() == 1) {
            status();
        } else if (verb == QLatin1String("quit") && words.size() == 1) {
            QCoreApplication::quit();
        } else {
            std::fputs(kCommandHelp, stderr);
        }
    }

private:
    void plug(int port, const QString& deviceText) {
        static const QRegularExpression fourHexDigits(QStringLiteral("^[0-9A-Fa-f]{4}$"));
        if (!fourHexDigits.match(deviceText).hasMatch()) {
            std::fputs(kCommandHelp, stderr);
            return;
        }
        const auto deviceNumber = static_cast<quint16>(deviceText.toUInt(nullptr, 16));
        add(port, rack_.addBoard(port, deviceNumber), deviceNumber, boardKind(deviceNumber));
    }

    // The rack has already said why a port could not be added.
    void add(int port, bool added, std::optional<quint16> deviceNumber, const QString& kind) {
        if (added) {
            ports_[port] = deviceNumber;
            announce(rack_, port, kind);
        }
    }

    void fault(const QStringList& words) {
        const int port = words.at(1).toInt();
        const QString& kind = words.at(2);
        HubRack::Fault fault = HubRack::Fault::None;
        int delayMs = 0;
        bool delayOk = true;
        if (kind == QLatin1String("silent")) {
            fault = HubRack::Fault::Silent;
        } else if (kind == QLatin1String("late") && words.size() == 4) {
            fault = HubRack::Fault::LateReply;
            delayMs = words.at(3).toInt(&delayOk);
        } else if (kind == QLatin1String("drop-echo")) {
            fault = HubRack::Fault::DropEcho;
        } else if (kind == QLatin1String("stray")) {
            fault = HubRack::Fault::StrayByte;
        } else if (kind == QLatin1String("stray-before")) {
            fault = HubRack::Fault::StrayBeforeReply;
        } else if (kind != QLatin1String("none")) {
            delayOk = false;
        }
        if (!delayOk || delayMs < 0) {
            std::fputs(kCommandHelp, stderr);
        } else if (!rack_.setFault(port, fault, delayMs)) {
            complain(QStringLiteral("no board on port %1").arg(port));
        } else {
            say(QStringLiteral("port %1: fault %2").arg(port).arg(words.mid(2).join(' ')));
        }
    }

    void unplug(int port) {
        if (!rack_.unplug(port)) {
            complain(QStringLiteral("nothing on port %1").arg(port));
            return;
        }
        ports_.erase(port);
        say(QStringLiteral("port %1 unplugged").arg(port));
    }

    void status() {
        for (const auto& [port, deviceNumber] : ports_) {
            if (!deviceNumber) {
                continue;
            }
            QStringList on;
            for (int slot = 1; slot <= HubRack::kSlotCount; ++slot) {
                if (rack_.slotOn(port, slot)) {
                    on << QString::number(slot);
                }
            }
            say(QStringLiteral("board %1 on port %2: %3")
                    .arg(hex4(*deviceNumber))
                    .arg(port)
                    .arg(on.isEmpty() ? QStringLiteral("all slots off")
                                      : QStringLiteral("slots on ") + on.join(' ')));
        }
    }

    HubRack& rack_;
    PortMap& ports_;
};

bool parseBoard(const QString& text, int& port, quint16& deviceNumber) {
    const QStringList parts = text.split(QLatin1Char(':'));
    bool portOk = false;
    bool deviceOk = false;
    if (parts.size() != 2) {
        return false;
    }
    port = parts.at(0).toInt(&portOk);
    const uint device = parts.at(1).toUInt(&deviceOk, 16);
    deviceNumber = static_cast<quint16>(device);
    return portOk && deviceOk && device <= 0xFFFF;
}

} // namespace

int main(int argc, char* argv[]) {
    // Blocked before any thread starts, so that they arrive only through the signalfd below.
    sigset_t quitSignals;
    sigemptyset(&quitSignals);
    sigaddset(&quitSignals, SIGINT);
    sigaddset(&quitSignals, SIGTERM);
    sigaddset(&quitSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
    // A reader of our output going away must not kill us before the links are removed.
    std::signal(SIGPIPE, SIG_IGN);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated hub boards on pseudo-terminals, which the program opens as "
                       "DIR/ports/COM<n>. Runs until SIGINT or SIGTERM (or the quit command) and "
                       "then removes its links.\n\n") +
        QLatin1String(kCommandHelp).trimmed());
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"),
                                       QStringLiteral("Program folder; links go to DIR/ports."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption boardOption(
        QStringLiteral("board"),
        QStringLiteral("A board with the hexadecimal device number DEVHEX on port PORT (1 ... 30). "
                       "Repeatable."),
        QStringLiteral("PORT:DEVHEX"));
    const QCommandLineOption silentOption(
        QStringLiteral("silent"), QStringLiteral("Ports that open but never answer. Repeatable."),
        QStringLiteral("PORT[,PORT...]"));
    const QCommandLineOption timesOption(
        QStringLiteral("times"),
        QStringLiteral("Start every line printed with the monotonic clock's seconds "
                       "(CLOCK_MONOTONIC, to the microsecond)."));
    parser.addOptions({dirOption, boardOption, silentOption, timesOption});
    parser.process(app);
    stampLines = parser.isSet(timesOption);
    if (!parser.isSet(dirOption)) {
        complain(QStringLiteral("--dir DIR is required; see --help"));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        complain(
            QStringLiteral("unexpected %1; see --help").arg(parser.positionalArguments().first()));
        return 2;
    }

    PortMap ports;
    for (const QString& text : parser.values(boardOption)) {
        int port = 0;
        quint16 deviceNumber = 0;
        if (!parseBoard(text, port, deviceNumber)) {
            complain(QStringLiteral("--board wants PORT:DEVHEX, not %1").arg(text));
            return 2;
        }
        if (!ports.emplace(port, deviceNumber).second) {
            complain(QStringLiteral("port %1 is given twice").arg(port));
            return 2;
        }
    }
    for (const QString& list : parser.values(silentOption)) {
        for (const QString& text : list.split(QLatin1Char(','))) {
            bool ok = false;
            const int port = text.toInt(&ok);
            if (!ok) {
                complain(QStringLiteral("--silent wants port numbers, not %1").arg(text));
                return 2;
            }
            if (!ports.emplace(port, std::nullopt).second) {
                complain(QStringLiteral("port %1 is given twice").arg(port));
                return 2;
            }
        }
    }

    // Made in ascending port order, so a script can wait for the link of the highest one.
    HubRack rack(parser.value(dirOption));
    for (const auto& [port, deviceNumber] : ports) {
        if (!(deviceNumber ? rack.addBoard(port, *deviceNumber) : rack.addSilentPort(port))) {
            return 1;
        }
        announce(rack, port,
                 deviceNumber ? boardKind(*deviceNumber) : QStringLiteral("silent port"));
    }

    QObject::connect(&rack, &HubRack::slotSwitched, [&ports](int port, int slot, bool on) {
        say(QStringLiteral("board %1 on port %2: slot %3 %4")
                .arg(hex4(ports.at(port).value()))
                .arg(port)
                .arg(slot)
                .arg(on ? QStringLiteral("on") : QStringLiteral("off")));
    });
    QObject::connect(&rack, &HubRack::frameRejected, [&ports](int port, const QByteArray& frame) {
        say(QStringLiteral("board %1 on port %2: rejected %3")
                .arg(hex4(ports.at(port).value()))
                .arg(port)
                .arg(QString::fromLatin1(frame.toHex(' ').toUpper())));
    });

    const int signalFd = ::signalfd(-1, &quitSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signalFd < 0) {
        complain(QStringLiteral("cannot receive signals"));
        return 1;
    }
    QSocketNotifier signalNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    Console console(rack, ports);
    QByteArray typed;
    // A closed standard input would make its notifier fire without end.
    std::unique_ptr<QSocketNotifier> input;
    if (::fcntl(STDIN_FILENO, F_GETFD) != -1) {
        input = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(input.get(), &QSocketNotifier::activated, [&] {
            char chunk[512];
            const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (count <= 0) {
                if (count == 0 || (errno != EINTR && errno != EAGAIN)) {
                    input->setEnabled(false);
                }
                return;
            }
            typed.append(chunk, count);
            for (qsizetype end = typed.indexOf('\n'); end >= 0; end = typed.indexOf('\n')) {
                const QString line = QString::fromLocal8Bit(typed.left(end));
                typed.remove(0, end + 1);
                console.run(line);
            }
        });
    }

    return QCoreApplication::exec();
}
