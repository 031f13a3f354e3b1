#include "local_connection.h"

#include "platform/control_address.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

LocalConnection::~LocalConnection() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool LocalConnection::connectTo(const QString& path) {
    fd_ = control_address::connectTo(path);
    return fd_ >= 0;
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

bool LocalConnection::readLine(QByteArray* line) {
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n');
        if (end >= 0) {
            *line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            return true;
        }
        char chunk[4096];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        buffer_.append(chunk, n);
    }
}
