#include "local_connection.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

LocalConnection::~LocalConnection() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool LocalConnection::connectTo(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return fd_ >= 0 &&
           ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
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
