#include "platform/qt_network.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QTimer>

#include <memory>

namespace {
// Far beyond any page that carries an address; a peer that sends more is not that page, and
// its body is not kept in memory.
constexpr qint64 MaxBodyBytes = 1 << 20;
} // namespace

bool QtNetwork::isConnected() const {
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack) ||
            !flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning))
            continue;
        if (!interface.addressEntries().isEmpty())
            return true;
    }
    return false;
}

QStringList QtNetwork::localAddresses() const {
    QStringList texts;
    const auto addresses = QNetworkInterface::allAddresses();
    for (const QHostAddress& address : addresses)
        texts.append(address.toString());
    return texts;
}

Network::Page QtNetwork::get(const QUrl& url) {
    const std::unique_ptr<QNetworkReply> reply(manager_.get(QNetworkRequest(url)));
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&reply] {
        if (reply->bytesAvailable() > MaxBodyBytes)
            reply->abort();
    });
    timeout.start(timeoutMs_);
    // The window keeps drawing and serving its other events while the page is awaited.
    loop.exec();

    // The loop also ends when the application quits; an unfinished request is dropped then too.
    if (!reply->isFinished()) {
        const bool timedOut = !timeout.isActive();
        reply->abort();
        return {{}, {}, timedOut ? Outcome::TimedOut : Outcome::Failed};
    }
    if (reply->error() != QNetworkReply::NoError)
        return {{}, {}, Outcome::Failed};
    return {reply->readAll(), declaredCharset(reply->rawHeader("Content-Type"))};
}

QByteArray QtNetwork::declaredCharset(const QByteArray& contentType) {
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray& part = parts[i];
        const qsizetype equals = part.indexOf('=');
        if (equals < 0 || part.left(equals).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

// What LoadedNetwork looks up in this module.
extern "C" Q_DECL_EXPORT Network* hubrixCreateNetwork() {
    return new QtNetwork;
}
