// Clients of the same user that misbehave against the real control channel: a crowd that uses
// up the program's descriptors, more connections than it takes, a client that never reads its
// replies and a follower that stops reading its events.
#include "fakes/real_rig.h"
#include "platform/control_address.h"
#include "platform/control_server.h"
#include "script/control_channel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The program with its channel, and the listener kept in view to look at its connections.
struct ChannelRig {
    RealRig rig;
    ControlServer* server = nullptr;
    std::unique_ptr<ControlChannel> channel;

    ChannelRig() {
        Program& program = rig.start();
        auto listener = std::make_unique<ControlServer>();
        server = listener.get();
        channel = std::make_unique<ControlChannel>(program.context(), std::move(listener));
        if (!channel->listen(path()))
            qFatal("no control channel: %s", qPrintable(channel->errorString()));
    }
    QString path() const { return control_address::socketPath(rig.dir.path()); }
    qint64 largestUnsent() const {
        qint64 largest = 0;
        for (const QLocalSocket* socket : server->findChildren<QLocalSocket*>())
            largest = std::max(largest, socket->bytesToWrite());
        return largest;
    }
};

void runFor(int ms) {
    QTest::qWait(ms);
}

// What a client that did not read until now finds: everything up to the program's hang-up.
QByteArray readToEnd(int fd, int timeoutMs) {
    QByteArray all;
    QElapsedTimer clock;
    clock.start();
    char chunk[65536];
    while (clock.elapsed() < timeoutMs) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            return all;
        if (n > 0)
            all.append(chunk, n);
        else
            runFor(5);
    }
    return all;
}

QByteArray readNow(int fd) {
    char chunk[4096];
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    return n > 0 ? QByteArray(chunk, n) : QByteArray();
}

int statusByHubrixctl(const QString& dir) {
    QProcess child;
    QSignalSpy finished(&child, &QProcess::finished);
    child.start(QStringLiteral(HUBRIXCTL),
                {QStringLiteral("--dir"), dir, QStringLiteral("status")});
    if (!finished.wait(10'000))
        child.kill();
    return child.exitCode();
}

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}
} // namespace

class ChannelAttacksTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
    }

    // Out of descriptors, accept fails; the channel used to close and remove its socket then.
    void descriptorLimit_pausesTheChannel_whichListensOn() {
        ChannelRig c;
        rlimit original{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &original) == 0);
        rlimit low = original;
        low.rlim_cur = rlim_t(openDescriptors() + 40);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &low) == 0);
        std::vector<int> clients;
        for (;;) {
            const int fd = control_address::connectTo(c.path(), SOCK_NONBLOCK);
            if (fd < 0)
                break;
            clients.push_back(fd);
        }
        const int exhausted = errno;
        runFor(300);
        QByteArray told;
        for (int fd : clients)
            told += readNow(fd);
        for (int fd : clients)
            ::close(fd);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &original) == 0);
        QCOMPARE(exhausted, EMFILE);
        QVERIFY2(told.contains("no file descriptors left"), told.constData());
        QVERIFY(QFile::exists(c.path()));
        runFor(2 * ControlServer::AcceptPauseMs);
        QCOMPARE(statusByHubrixctl(c.rig.dir.path()), 0);
    }

    void connectionsBeyondTheCap_areRefusedWithALine() {
        ChannelRig c;
        std::vector<int> clients;
        for (int i = 0; i < ControlServer::MaxConnections + 6; ++i)
            clients.push_back(control_address::connectTo(c.path(), SOCK_NONBLOCK));
        runFor(200);
        int refused = 0;
        for (int fd : clients) {
            refused += readNow(fd).contains("too many connections") ? 1 : 0;
            ::close(fd);
        }
        QCOMPARE(refused, 6);
        QTRY_COMPARE(c.server->findChildren<QLocalSocket*>().size(), 0);
        QCOMPARE(statusByHubrixctl(c.rig.dir.path()), 0);
    }

    // Every request was answered into a buffer without end, in one go that froze the window.
    void clientThatNeverReads_isHeldBack_whileAnotherIsAnswered() {
        ChannelRig c;
        QLocalSocket other;
        other.connectToServer(c.path());
        QVERIFY(other.waitForConnected(1000));
        const QByteArray status = R"({"cmd":"status"})"
                                  "\n";
        other.write(status);
        QTRY_VERIFY(other.canReadLine());
        const qint64 replyBytes = other.readLine().size();

        const int fd = control_address::connectTo(c.path(), SOCK_NONBLOCK);
        QVERIFY(fd >= 0);
        const QByteArray requests = status.repeated(256);
        qint64 sent = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1500) {
            const ssize_t n = ::send(fd, requests.constData(), size_t(requests.size()),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            sent += std::max<ssize_t>(n, 0);
            runFor(1);
        }
        // Its replies would come to many times the bound.
        const qint64 replies = sent / status.size() * replyBytes;
        QVERIFY2(replies > 8 * ControlChannel::MaxUnsentReplyBytes,
                 qPrintable(QString::number(replies)));
        QVERIFY2(c.largestUnsent() <= ControlChannel::MaxUnsentReplyBytes + replyBytes,
                 qPrintable(QString::number(c.largestUnsent())));

        clock.restart();
        other.write(status);
        QTRY_VERIFY_WITH_TIMEOUT(other.canReadLine(), 1000);
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(other.readLine().contains(R"("ok":true)"));
        ::close(fd);
    }

    // A follower kept every event it did not read, for good.
    void stalledFollower_isDroppedWithALastLine() {
        ChannelRig c;
        const int fd = control_address::connectTo(c.path(), SOCK_NONBLOCK);
        QVERIFY(fd >= 0);
        const QByteArray follow = R"({"cmd":"events"})"
                                  "\n";
        QCOMPARE(::send(fd, follow.constData(), size_t(follow.size()), MSG_NOSIGNAL),
                 ssize_t(follow.size()));
        runFor(50);
        const QString prompt(200, u'x');
        const auto dropped = [&] {
            const auto sockets = c.server->findChildren<QLocalSocket*>();
            return sockets.size() == 1 && sockets[0]->state() == QLocalSocket::ClosingState;
        };
        for (int i = 0; i < 20'000 && !dropped(); ++i) {
            emit c.rig.program->events().promptSpoken(prompt);
            if (i % 100 == 0)
                runFor(1);
            QVERIFY(c.largestUnsent() <= ControlChannel::MaxFollowerBacklogBytes + 1024);
        }
        QVERIFY(dropped());
        // Reading again within the grace, it finds its backlog, why it ends, and the end.
        const QList<QByteArray> lines =
            readToEnd(fd, ControlServer::CloseGraceMs).trimmed().split('\n');
        ::close(fd);
        QVERIFY(lines.size() > 100);
        QVERIFY2(lines.last().contains("dropped: this follower fell"), lines.last().constData());
        QTRY_COMPARE(c.server->findChildren<QLocalSocket*>().size(), 0);
    }

private:
    QTemporaryDir runtime_;
};

QTEST_MAIN(ChannelAttacksTest)
#include "test_channel_attacks.moc"
