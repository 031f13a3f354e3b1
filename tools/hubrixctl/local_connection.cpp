#include "local_connection.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

LocalConnection::~LocalConnection() {
    if (fd_ >= 0)
        ::close(fd_);
}

LocalConnection::Outcome LocalConnection::connectTo(const QString& path, int silenceMs) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path)
        return Outcome::Absent;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return Outcome::Absent;
    // A Unix-domain connect waits on a full backlog for as long as a write may.
    const timeval limit{silenceMs / 1000, (silenceMs % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return Outcome::Done;
    return errno == EAGAIN ? Outcome::Silent : Outcome::Absent;
}

void LocalConnection::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        // A program that went away must not kill us with SIGPIPE.
        const ssize_t n =
            ::send(fd_, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

LocalConnection::Outcome LocalConnection::readLine(QByteArray* line, int silenceMs) {
    QDeadlineTimer silence(silenceMs);
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n');
        if (end >= 0) {
            *line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            return Outcome::Done;
        }
        pollfd ready{fd_, POLLIN, 0};
        const int polled = ::poll(&ready, 1, int(silence.remainingTime()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0)
            return Outcome::Silent;
        char chunk[4096];
        const ssize_t n = polled < 0 ? -1 : ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Outcome::Closed;
        buffer_.append(chunk, n);
        silence.setRemainingTime(silenceMs);
    }
}
