#pragma once

#include "platform/network.h"

#include <QString>
#include <QStringList>

struct Context;

namespace public_address {
// The host of the page that names the machine's public address. A placeholder under a domain
// reserved for examples: a deployment puts its own lookup host here, one that serves "/ip/"
// with the address between the markers below.
inline const QString LookupHost = QStringLiteral("ip-lookup.example.com");
inline const QString StartMarker = QStringLiteral("你的外网IP地址是：");
inline const QString EndMarker = QStringLiteral("</p>");

QUrl lookupUrl();
// The page's body as text: in its declared charset, else UTF-8, else GBK.
QString pageText(const Network::Page& page);
// The address the page names, empty when it names none.
QString fromPage(const Network::Page& page);
} // namespace public_address

// The address to show of the platform's list: the first that is not a loopback address,
// IPv4 before IPv6; empty when there is none.
QString shownLocalAddress(const QStringList& addresses);

// Fills the group "IP查询" from 按钮3_IP: the machine's internal and public address.
class NetworkAddress {
public:
    explicit NetworkAddress(Context& context) : context_(context) {}

    void onAddressClicked();

private:
    Context& context_;
};
