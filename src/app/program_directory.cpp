#include "app/program_directory.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <climits>
#include <unistd.h>

namespace program_directory {

std::optional<QString> fromExecutablePath(const QByteArray& executable) {
    const qsizetype slash = executable.lastIndexOf('/');
    if (slash < 0)
        return std::nullopt;
    const QByteArray directory = slash == 0 ? QByteArray("/") : executable.left(slash);
    const QString name = QFile::decodeName(directory);
    if (QFile::encodeName(name) != directory)
        return std::nullopt;
    // The store files are named by appending "/名称.edb"; the root would give "//名称.edb".
    return name == QLatin1String("/") ? QString() : name;
}

QByteArray executablePath() {
    QByteArray path(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
    if (length <= 0 || length >= path.size())
        return {};
    path.truncate(length);
    return path;
}

QString unusableMessage(const QByteArray& executable) {
    return QStringLiteral(
               "程序所在目录的名称无法使用：%1\n请把程序放到名称只含正常文字的目录中再启动。")
        .arg(QString::fromUtf8(executable));
}

bool isInstalled(const QString& programDir) {
    // The system's own trees; /opt is left out, where a portable copy is often unpacked.
    static const QStringList systemTrees = {
        QStringLiteral("/usr"), QStringLiteral("/bin"),  QStringLiteral("/sbin"),
        QStringLiteral("/lib"), QStringLiteral("/snap"), QStringLiteral(HUBRIX_INSTALL_BINDIR)};
    const QString directory =
        QDir::cleanPath(programDir.isEmpty() ? QStringLiteral("/") : programDir);
    for (const QString& tree : systemTrees) {
        if (directory == tree || directory.startsWith(tree + QLatin1Char('/')))
            return true;
    }
    return false;
}

bool isWritable(const QString& directory) {
    const QByteArray name =
        QFile::encodeName(directory.isEmpty() ? QStringLiteral("/") : directory);
    return ::access(name.constData(), W_OK | X_OK) == 0;
}

bool keepsStoresBeside(const QString& programDir, bool programDirWritable) {
    return programDirWritable && !isInstalled(programDir);
}

QString userDataDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

std::optional<QString> storeDirectory(const QString& programDir) {
    if (keepsStoresBeside(programDir, isWritable(programDir)))
        return programDir;
    const QString directory = userDataDirectory();
    if (directory.isEmpty() || !QDir().mkpath(directory) || !isWritable(directory))
        return std::nullopt;
    return directory;
}

QString noStoreDirectoryMessage() {
    return QStringLiteral("无法建立数据目录：%1\n请检查该目录的权限后再启动。")
        .arg(userDataDirectory());
}

QString storeDirectoryNote(const QString& storeDir) {
    return QStringLiteral("数据目录：%1").arg(storeDir.isEmpty() ? QStringLiteral("/") : storeDir);
}

} // namespace program_directory
