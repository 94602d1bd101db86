#include "ui/HelpPageAddress.h"

#include "core/PublicAddress.h"

#include <algorithm>

namespace orvane::ui {

namespace {

int portOf(const QUrl& url) {
    return url.port(url.scheme() == u"https" ? 443 : 80);
}

} // namespace

bool isPublicAddress(const QHostAddress& address) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return isPublicIPv4(address.toIPv4Address());
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR raw = address.toIPv6Address();
        std::array<quint8, 16> bytes{};
        std::copy(std::begin(raw.c), std::end(raw.c), bytes.begin());
        return isPublicIPv6(bytes);
    }
    return false;
}

bool isSameSite(const QUrl& target, const QUrl& site) {
    if (target.host().compare(site.host(), Qt::CaseInsensitive) != 0 || target.host().isEmpty())
        return false;
    return portOf(target) == portOf(site) || (target.scheme() == u"https" && portOf(target) == 443);
}

std::optional<QHostAddress> addressFor(const QUrl& target, const QUrl& site,
                                       const QList<QHostAddress>& resolved) {
    if (resolved.isEmpty())
        return std::nullopt;
    if (!isSameSite(target, site) &&
        !std::all_of(resolved.begin(), resolved.end(), isPublicAddress))
        return std::nullopt;
    const auto v4 = std::find_if(resolved.begin(), resolved.end(), [](const QHostAddress& a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    return v4 != resolved.end() ? *v4 : resolved.first();
}

} // namespace orvane::ui
