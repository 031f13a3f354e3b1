#include "ops/network_address.h"

#include "hub/frame_codec.h"
#include "platform/dialogs.h"
#include "platform/speech.h"
#include "state/context.h"
#include "ui/main_window.h"

#include <QLineEdit>
#include <QStringDecoder>

#include <arpa/inet.h>

namespace {
// An address text as the platform lists it; IPv6 ones may carry a scope ("fe80::1%eth0").
// Read without the network library, which the program loads only when it is first used.
struct ListedAddress {
    int family = AF_UNSPEC;
    bool loopback = false;
};

ListedAddress readAddress(const QString& text) {
    const QByteArray bytes = text.section(u'%', 0, 0).toLatin1();
    in_addr v4{};
    if (::inet_pton(AF_INET, bytes.constData(), &v4) == 1)
        return {AF_INET, (ntohl(v4.s_addr) >> 24) == 127};
    in6_addr v6{};
    if (::inet_pton(AF_INET6, bytes.constData(), &v6) == 1) {
        const bool mappedLoopback = IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
        return {AF_INET6, IN6_IS_ADDR_LOOPBACK(&v6) || mappedLoopback};
    }
    return {};
}
} // namespace

namespace public_address {

QUrl lookupUrl() {
    return QUrl(LookupUrl);
}

QString pageText(const Network::Page& page) {
    if (!page.charset.isEmpty()) {
        QStringDecoder declared(page.charset.constData(), QStringDecoder::Flag::Stateless);
        if (declared.isValid())
            return declared.decode(page.body);
    }
    // Pages that declare nothing are UTF-8 nowadays, or GBK when they were made for this
    // market long ago; a GBK page is almost never valid UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(page.body);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);
    return gbk.decode(page.body);
}

QString fromPage(const Network::Page& page) {
    const QString text = pageText(page);
    const QString marked = text_between(text, StartMarker, EndMarker);
    if (!marked.isEmpty())
        return marked;
    // Otherwise the whole body must be one address; an error page or another site's page is
    // none. The parser would also take a lone number for an address, which no such page sends.
    const QString bare = text.trimmed();
    return readAddress(bare).family == AF_UNSPEC ? QString() : bare;
}

} // namespace public_address

QString shownLocalAddress(const QStringList& addresses) {
    QString firstIpv6;
    for (const QString& text : addresses) {
        const ListedAddress address = readAddress(text);
        // The platform lists 127.0.0.1 first, and no other machine can reach that one.
        if (address.loopback)
            continue;
        if (address.family == AF_INET)
            return text;
        if (address.family == AF_INET6 && firstIpv6.isEmpty())
            firstIpv6 = text;
    }
    return firstIpv6;
}

void NetworkAddress::onAddressClicked() {
    GlobalState& state = context_.state;
    // The click that started the fetch fills the boxes when it is in.
    if (state.publicAddressFetching)
        return;
    Network& network = context_.services.network;
    const auto& ui = context_.window.ui();
    if (!network.isConnected()) {
        context_.services.dialogs.show(QStringLiteral("未连接网络"), QString(), Dialogs::Icon::None,
                                       Dialogs::Buttons::Ok);
        return;
    }
    state.localAddresses = network.localAddresses();
    ui.internalAddress->setText(shownLocalAddress(state.localAddresses));

    state.publicAddressFetching = true;
    const Network::Page page = network.get(public_address::lookupUrl());
    state.publicAddressFetching = false;
    const QString address = public_address::fromPage(page);
    ui.externalAddress->setText(address);
    if (!address.isEmpty())
        return;
    // Said, so that an empty box is not taken for a machine without a public address.
    Speech& speech = context_.services.speech;
    switch (page.outcome) {
    case Network::Outcome::TimedOut:
        speech.speak(QStringLiteral("外网地址查询超时"));
        break;
    case Network::Outcome::Failed:
        speech.speak(QStringLiteral("外网地址查询失败"));
        break;
    case Network::Outcome::Received:
        speech.speak(QStringLiteral("外网地址无法识别"));
        break;
    }
}
