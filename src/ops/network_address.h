#pragma once

#include "platform/network.h"

#include <QString>
#include <QStringList>

struct Context;

namespace public_address {
// The page that names the machine's public address: a public service whose whole body is the
// address of whoever asks, as plain text. A lookup page of one's own may instead put the
// address between the markers below; both kinds are read.
inline const QString LookupUrl = QStringLiteral("https://api.ipify.org/");
inline const QString StartMarker = QStringLiteral("你的外网IP地址是：");
inline const QString EndMarker = QStringLiteral("</p>");

QUrl lookupUrl();
// The page's body as text: in its declared charset, else UTF-8, else GBK.
QString pageText(const Network::Page& page);
// The address the page names, between the markers or as its whole body; empty when it names
// none.
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
