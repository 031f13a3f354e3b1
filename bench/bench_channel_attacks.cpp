// The control channel under attack by clients of the same user, each attack from a process of
// its own while a second client, a process of its own too, asks for the status every 10 ms
// on a connection it opened before: 1100 connections at the common limit of 1024 descriptors, a
// client that sends but never reads, three followers of the events that never read while a script
// switches the whole rack, and a pipelined flood of 200 whole-rack switches. Prints, per attack,
// the second client's status round trips (99th percentile and longest), the program's resident
// memory before and after, and whether a new connection is still answered afterwards.
//
//   bench_channel_attacks [SECONDS [N]]   each timed attack lasts SECONDS (60 unless given);
//                                         with N, only the Nth attack (1 ... 4) runs
#include "bench_program.h"
#include "bench_stats.h"

#include "platform/control_address.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>

#include <cerrno>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
constexpr int DescriptorLimit = 1024;
constexpr int AttackConnections = 1100;
constexpr int FloodRequests = 200;

QByteArray wholeRack(const char* command) {
    QByteArray line = QByteArray(R"({"cmd":")") + command + R"(","tiles":[)";
    for (int tile = 1; tile <= 336; ++tile)
        line += QByteArray::number(tile) + (tile < 336 ? "," : "");
    return line + "]}\n";
}

double residentMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(::sysconf(_SC_PAGESIZE)) / 1e6 : 0;
}

// Writes what it can of pending without blocking; returns false once the program hung up.
bool writeSome(int fd, QByteArray* pending) {
    while (!pending->isEmpty()) {
        const ssize_t n = ::send(fd, pending->constData(), size_t(pending->size()), MSG_NOSIGNAL);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR;
        pending->remove(0, n);
    }
    return true;
}

// Lines read without blocking; -1 once the program hung up.
int readLines(int fd) {
    int lines = 0;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return -1;
        if (n < 0)
            return lines;
        lines += int(std::count(chunk, chunk + n, '\n'));
    }
}

// The attacking process: plain system calls, no event loop, done after seconds.
int attack(const QString& kind, const QString& path, int seconds) {
    QElapsedTimer clock;
    clock.start();
    const auto running = [&] { return clock.elapsed() < seconds * 1000; };
    if (kind == QLatin1String("connections")) {
        std::vector<int> held;
        while (running() && int(held.size()) < AttackConnections) {
            const int fd = control_address::connectTo(path, SOCK_NONBLOCK);
            if (fd >= 0)
                held.push_back(fd);
            else
                ::usleep(2000);
        }
        std::fprintf(stderr, "attacker: %zu connections made\n", held.size());
        while (running())
            ::usleep(10'000);
        return 0;
    }
    const int fd = control_address::connectTo(path, SOCK_NONBLOCK);
    if (fd < 0)
        return 1;
    QByteArray pending;
    if (kind == QLatin1String("never-reader")) {
        while (running()) {
            if (pending.isEmpty())
                pending = QByteArray(R"({"cmd":"status"})"
                                     "\n")
                              .repeated(64);
            if (!writeSome(fd, &pending))
                return 0;
            pollfd wait{fd, POLLOUT, 0};
            ::poll(&wait, 1, 10);
        }
        return 0;
    }
    if (kind == QLatin1String("follower")) {
        pending = R"({"cmd":"events"})"
                  "\n";
        writeSome(fd, &pending);
        while (running())
            ::usleep(10'000);
        return 0;
    }
    // A pipelined run of whole-rack switches whose replies are read: "flood" sends its
    // requests at once, "switcher" one after another's reply, for as long as it runs.
    const bool flood = kind == QLatin1String("flood");
    int sent = 0;
    int replies = 0;
    while (running() && (!flood || replies < FloodRequests)) {
        if (pending.isEmpty() && (flood ? sent < FloodRequests : sent == replies)) {
            pending = wholeRack(sent % 2 ? "off" : "on");
            ++sent;
        }
        if (!writeSome(fd, &pending))
            return 1;
        const int lines = readLines(fd);
        if (lines < 0)
            return 1;
        replies += lines;
        pollfd wait{fd, short(POLLIN | (pending.isEmpty() ? 0 : POLLOUT)), 0};
        ::poll(&wait, 1, 10);
    }
    std::fprintf(stderr, "attacker: %d of %d replies\n", replies, sent);
    return 0;
}

// The second client: a status every 10 ms on one connection, opened before the attack, until
// the attack ends; prints how many were answered, how many not within 5 s, and each round
// trip in milliseconds.
int probe(const QString& path) {
    const int fd = control_address::connectTo(path);
    if (fd < 0)
        return 1;
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::printf("ready\n");
    std::fflush(stdout);
    const QByteArray status = R"({"cmd":"status"})"
                              "\n";
    std::vector<double> ms;
    int unanswered = 0;
    QByteArray buffer;
    char chunk[65536];
    // Ends when standard input closes, as the bench says the attack is over.
    for (;;) {
        pollfd stop{STDIN_FILENO, POLLIN, 0};
        if (::poll(&stop, 1, 10) > 0)
            break;
        QElapsedTimer asked;
        asked.start();
        if (::send(fd, status.constData(), size_t(status.size()), MSG_NOSIGNAL) < 0) {
            ++unanswered;
            continue;
        }
        bool answered = false;
        while (!answered) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            buffer.append(chunk, n);
            if (const qsizetype end = buffer.indexOf('\n'); end >= 0) {
                buffer.remove(0, end + 1);
                answered = true;
            }
        }
        if (answered)
            ms.push_back(double(asked.nsecsElapsed()) / 1e6);
        else
            ++unanswered;
    }
    std::printf("%zu %d\n", ms.size(), unanswered);
    for (double each : ms)
        std::printf("%.3f\n", each);
    return 0;
}

struct Figures {
    std::vector<double> statusMs;
    int unanswered = 0;
};

double percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop, the program answering, until the attacker has ended; the prober's
// figures then.
Figures underAttack(QProcess& prober, QProcess& attacker) {
    QEventLoop loop;
    QObject::connect(&attacker, &QProcess::finished, &loop, &QEventLoop::quit);
    if (attacker.state() != QProcess::NotRunning)
        loop.exec();
    prober.closeWriteChannel();
    QObject::connect(&prober, &QProcess::finished, &loop, &QEventLoop::quit);
    if (prober.state() != QProcess::NotRunning)
        loop.exec();
    Figures figures;
    QList<QByteArray> lines = prober.readAllStandardOutput().split('\n');
    lines.removeFirst();
    const QList<QByteArray> counts = lines.value(0).split(' ');
    figures.unanswered = counts.value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines[i].isEmpty())
            figures.statusMs.push_back(lines[i].toDouble());
    }
    return figures;
}

// Whether a client that connects now gets its status.
bool newConnectionAnswered(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(R"({"cmd":"status"})"
                 "\n");
    QElapsedTimer clock;
    clock.start();
    while (!socket.canReadLine() && clock.elapsed() < 3000) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return socket.canReadLine() && socket.readLine().contains(R"("ok":true)");
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && QByteArray(argv[1]) == "--probe")
        return probe(QString::fromLocal8Bit(argv[2]));
    if (argc == 5 && QByteArray(argv[1]) == "--attack")
        return attack(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                      std::atoi(argv[4]));
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int only = argc > 2 ? std::atoi(argv[2]) : 0;
    // The program runs where most desktops start it: at 1024 descriptors.
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, DescriptorLimit);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ScriptedRack rack;
    rack.quiet.connect();
    if (!rack.listen())
        return 1;
    const QString path = rack.socketPath();

    struct Attack {
        const char* name;
        QStringList kinds;
        int seconds;
    };
    // The descriptor attack comes last: a channel that does not survive it is gone for the rest.
    const std::vector<Attack> attacks{
        {"pipelined flood of 200 whole-rack switches", {"flood"}, 120},
        {"client that never reads its replies", {"never-reader"}, seconds},
        {"3 stalled followers, whole-rack switches meanwhile",
         {"follower", "follower", "follower", "switcher"},
         seconds},
        {"1100 connections at 1024 descriptors", {"connections"}, std::min(seconds, 15)},
    };
    if (only > int(attacks.size()))
        return 64;
    std::printf("%d s per timed attack; a second process asks for the status every 10 ms\n",
                seconds);
    for (const Attack& each : attacks) {
        if (only > 0 && &each != &attacks[size_t(only - 1)])
            continue;
        const double before = residentMb();
        QProcess prober;
        prober.start(QCoreApplication::applicationFilePath(), {"--probe", path});
        while (!prober.canReadLine() && prober.state() != QProcess::NotRunning)
            settle(5);
        std::vector<std::unique_ptr<QProcess>> attackers;
        for (const QString& kind : each.kinds) {
            attackers.push_back(std::make_unique<QProcess>());
            attackers.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            attackers.back()->start(QCoreApplication::applicationFilePath(),
                                    {"--attack", kind, path, QString::number(each.seconds)});
        }
        // The last attacker ends the attack; the others last as long.
        Figures figures = underAttack(prober, *attackers.back());
        const double after = residentMb();
        for (auto& attacker : attackers) {
            attacker->kill();
            attacker->waitForFinished(3000);
        }
        settle(500);
        std::printf("\n%s: %zu status replies, %d unanswered\n", each.name, figures.statusMs.size(),
                    figures.unanswered);
        report("second client's status, 99th percentile", percentile(figures.statusMs, 0.99), "ms",
               "< 100 ms");
        report("second client's status, longest", percentile(figures.statusMs, 1.0), "ms", "-");
        report("resident memory at the start of the attack", before, "MB", "-");
        report("resident memory growth during the attack", after - before, "MB", "< 20 MB");
        std::printf("a new connection afterwards is answered: %s\n",
                    newConnectionAnswered(path) ? "yes" : "NO");
    }
    return 0;
}
