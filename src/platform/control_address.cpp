#include "platform/control_address.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {
// A directory that only this user can enter, and that this user owns.
bool isPrivate(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

QString privateTmpDirectory() {
    const QString path = QStringLiteral("/tmp/hubrix-") + QString::number(::geteuid());
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

} // namespace control_address
