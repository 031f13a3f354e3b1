#include "mqtt/bridge_settings.h"

#include "platform/control_address.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A password sent without TLS stays on this machine only when the broker is on it; a name
// other than localhost could resolve anywhere, so only literal addresses count.
bool isLoopback(const QString& host) {
    if (host == QLatin1String("localhost"))
        return true;
    const QByteArray name = host.toLatin1();
    in_addr v4{};
    if (::inet_pton(AF_INET, name.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return ::inet_pton(AF_INET6, name.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

// The password's first line, or why the file may not be used: anyone else who can read it
// could take over the racks.
std::variant<QString, BridgeSettings::Refused> readPassword(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return BridgeSettings::Refused{QStringLiteral("密码文件 %1 无法读取").arg(path)};
    if (info.st_uid != ::geteuid() || (info.st_mode & 0077) != 0)
        return BridgeSettings::Refused{
            QStringLiteral("密码文件 %1 必须属于本用户，且组和其他人无任何权限（chmod 600）")
                .arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return BridgeSettings::Refused{QStringLiteral("密码文件 %1 无法读取").arg(path)};
    return QString::fromUtf8(file.readLine()).remove(u'\n').remove(u'\r');
}

// The 16 hex digits that name this store directory's control socket.
QString directoryDigits(const QString& storeDir) {
    return QFileInfo(control_address::socketPath(storeDir)).completeBaseName().section(u'-', 1);
}

// Relative file names in the configuration are relative to the store directory.
QString pathIn(const QString& storeDir, const QString& name) {
    return name.isEmpty() ? name : QFileInfo(QDir(storeDir), name).absoluteFilePath();
}
} // namespace

BridgeSettings::Reading BridgeSettings::read(const QString& storeDir, const QString& hostName) {
    const QString file = storeDir + QLatin1Char('/') + QLatin1String(FileName);
    if (!QFileInfo::exists(file))
        return Off{};
    QSettings ini(file, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return Refused{QStringLiteral("%1 无法读取").arg(file)};
    ini.beginGroup(QStringLiteral("mqtt"));
    BridgeSettings settings;
    settings.host = ini.value(QStringLiteral("host")).toString().trimmed();
    if (settings.host.isEmpty())
        return Off{};
    settings.tls = ini.value(QStringLiteral("tls"), false).toBool();
    bool valid = true;
    settings.port = ini.value(QStringLiteral("port"), settings.tls ? 8883 : 1883).toInt(&valid);
    if (!valid || settings.port < 1 || settings.port > 65535)
        return Refused{QStringLiteral("port 必须是 1 … 65535")};
    settings.keepaliveSeconds = ini.value(QStringLiteral("keepalive"), 10).toInt(&valid);
    // The library refuses anything shorter.
    if (!valid || settings.keepaliveSeconds < 5 || settings.keepaliveSeconds > 65535)
        return Refused{QStringLiteral("keepalive 必须是 5 … 65535 秒")};

    const QString digits = directoryDigits(storeDir);
    settings.prefix = ini.value(QStringLiteral("prefix")).toString().trimmed();
    if (settings.prefix.isEmpty()) {
        if (digits.isEmpty())
            return Refused{QStringLiteral("没有运行时目录，请在 hubrix.conf 中设置 prefix")};
        settings.prefix = QStringLiteral("hubrix/%1/%2").arg(hostName, digits);
    }
    while (settings.prefix.endsWith(u'/'))
        settings.prefix.chop(1);
    if (settings.prefix.contains(u'+') || settings.prefix.contains(u'#') ||
        settings.prefix.isEmpty())
        return Refused{QStringLiteral("prefix 不能含有 + 或 #")};
    settings.clientId = ini.value(QStringLiteral("client_id")).toString().trimmed();
    if (settings.clientId.isEmpty())
        settings.clientId = QStringLiteral("hubrix-%1-%2").arg(hostName, digits);

    settings.username = ini.value(QStringLiteral("username")).toString();
    const QString passwordFile =
        pathIn(storeDir, ini.value(QStringLiteral("password_file")).toString());
    if (!passwordFile.isEmpty()) {
        auto password = readPassword(passwordFile);
        if (const auto* refused = std::get_if<Refused>(&password))
            return *refused;
        settings.password = std::get<QString>(password);
        if (settings.username.isEmpty())
            return Refused{QStringLiteral("有 password_file 时必须设置 username")};
    }
    if (!settings.password.isEmpty() && !settings.tls && !isLoopback(settings.host) &&
        !ini.value(QStringLiteral("allow_insecure"), false).toBool())
        return Refused{QStringLiteral("密码不能以明文发往 %1：请设置 tls = true（或 allow_insecure "
                                      "= true）")
                           .arg(settings.host)};

    settings.caFile = pathIn(storeDir, ini.value(QStringLiteral("ca_file")).toString());
    settings.certFile = pathIn(storeDir, ini.value(QStringLiteral("cert_file")).toString());
    settings.keyFile = pathIn(storeDir, ini.value(QStringLiteral("key_file")).toString());
    if (settings.certFile.isEmpty() != settings.keyFile.isEmpty())
        return Refused{QStringLiteral("cert_file 和 key_file 必须同时设置")};
    return settings;
}
