#include "app/directory_lock.h"

#include "platform/control_address.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
// hubrixctl holds a shared lock for a moment when it asks whether a program runs.
constexpr int Tries = 5;
constexpr int RetryMs = 20;
} // namespace

DirectoryLock::DirectoryLock(const QString& storeDir)
    : path_(control_address::lockPath(storeDir)) {}

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool DirectoryLock::take() {
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        qWarning("hubrix: cannot make the lock file %s: %s", qPrintable(path_),
                 qPrintable(qt_error_string(errno)));
        return true;
    }
    for (int attempt = 1;; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            break;
        const int error = errno;
        if (error != EWOULDBLOCK || attempt == Tries) {
            ::close(fd);
            return error != EWOULDBLOCK;
        }
        QThread::msleep(RetryMs);
    }
    fd_ = fd;
    write(QByteArray::number(::getpid()) + '\n');
    return true;
}

void DirectoryLock::noteChannelProblem(const QString& reason) {
    write(QByteArray::number(::getpid()) + '\n' + reason.toUtf8() + '\n');
}

void DirectoryLock::write(const QByteArray& text) {
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0)
        return;
    if (::pwrite(fd_, text.constData(), size_t(text.size()), 0) != text.size())
        qWarning("hubrix: cannot write the lock file %s", qPrintable(path_));
}
