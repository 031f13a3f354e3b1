#include "app/program_directory.h"

#include <QFile>

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

} // namespace program_directory
