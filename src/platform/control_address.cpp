#include "platform/control_address.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// A directory that only this user can enter, and that this user owns.
bool isPrivate(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

QString tmpDirectory() {
    return QStringLiteral("/tmp/hubrix-") + QString::number(::geteuid());
}

QString privateTmpDirectory() {
    const QString path = tmpDirectory();
    // An existing entry of another owner or mode is never taken over.
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return isPrivate(path) ? path : QString();
}
} // namespace

namespace control_address {

QString runtimeDirectory() {
    // Without a session directory Qt would make up one and warn on every run of hubrixctl.
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString session = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (!session.isEmpty() && isPrivate(session))
            return session;
    }
    const QString perUser = QStringLiteral("/run/user/") + QString::number(::geteuid());
    if (isPrivate(perUser))
        return perUser;
    return privateTmpDirectory();
}

QString noRuntimeDirectoryReason() {
    return QStringLiteral("no private directory for the control socket: XDG_RUNTIME_DIR and "
                          "/run/user/%1 are unusable, and %2 is not this user's own with mode "
                          "0700")
        .arg(::geteuid())
        .arg(tmpDirectory());
}

QString socketPath(const QString& programDir) {
    const QString runtime = runtimeDirectory();
    if (runtime.isEmpty())
        return {};
    // The same directory reached through a symlink or a trailing slash is the same program.
    const QFileInfo info(programDir);
    QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(info.absoluteFilePath());
    const QByteArray digest =
        QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return runtime + QStringLiteral("/hubrix-") + QString::fromLatin1(digest) +
           QStringLiteral(".sock");
}

QString lockPath(const QString& storeDir) {
    return storeDir + QStringLiteral("/hubrix.lock");
}

std::optional<QString> channelProblem(const QString& storeDir) {
    QFile file(lockPath(storeDir));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Only a moment's shared lock: a program starting now retries its own.
    if (::flock(file.handle(), LOCK_SH | LOCK_NB) == 0) {
        ::flock(file.handle(), LOCK_UN);
        return std::nullopt;
    }
    if (errno != EWOULDBLOCK)
        return std::nullopt;
    // The program's id, then the reason.
    const QList<QByteArray> lines = file.readAll().split('\n');
    return lines.size() > 1 ? QString::fromUtf8(lines[1]) : QString();
}

int connectTo(const QString& path, int flags) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path)
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace control_address
