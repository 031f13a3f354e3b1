#include "app/other_program.h"

#include "app/program_directory.h"
#include "platform/control_address.h"
#include "platform/dialogs.h"

#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
// The other program listens only once its window is shown: a start right after another, as
// from a double double-click, waits for it this long.
constexpr int ReachMs = 3000;
constexpr int RetryMs = 100;

// One request line and the first line of the reply, each within ReachMs.
QByteArray ask(int fd, const QByteArray& request) {
    timeval timeout{ReachMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size())
        return {};
    QByteArray reply;
    char chunk[4096];
    while (!reply.contains('\n')) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        reply.append(chunk, n);
    }
    return reply.left(reply.indexOf('\n'));
}
} // namespace

namespace other_program {

QString message() {
    return QStringLiteral("另一个Hubrix正在使用这个数据目录");
}

bool raise(const QString& storeDir) {
    const QString path = control_address::socketPath(storeDir);
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int fd = control_address::connectTo(path);
        if (fd >= 0) {
            const QByteArray reply = ask(fd, R"({"cmd":"raise"})"
                                             "\n");
            ::close(fd);
            return reply.contains(R"("ok":true)");
        }
        const std::optional<QString> problem = control_address::channelProblem(storeDir);
        if (!problem || !problem->isEmpty() || clock.elapsed() >= ReachMs)
            return false;
        QThread::msleep(RetryMs);
    }
}

int yieldTo(const QString& storeDir, Dialogs& dialogs) {
    const QString note = program_directory::storeDirectoryNote(storeDir);
    std::fprintf(stderr, "%s\n%s\n", qUtf8Printable(message()), qUtf8Printable(note));
    if (!raise(storeDir))
        dialogs.show(message(), QStringLiteral("Hubrix"), Dialogs::Icon::Warning,
                     Dialogs::Buttons::Ok, note);
    return 1;
}

} // namespace other_program
