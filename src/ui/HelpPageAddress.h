#pragma once

#include <QHostAddress>
#include <QList>
#include <QUrl>
#include <optional>

namespace orvane::ui {

// Where the help page as root may go. The page the program itself asks for
// (the support page) names the site; redirects and links stay on that site's
// host and port, or go to names whose every address is public. So a hostile
// or tampered page cannot make root's program reach this machine's own
// services or the site's private network, by address or by a name that
// resolves there.
bool isPublicAddress(const QHostAddress& address);

// The same host, on the site's port (or https's own).
bool isSameSite(const QUrl& target, const QUrl& site);

// The address to connect to for target, from what its name resolved to; none
// when the rule above refuses it. IPv4 first where there is one.
std::optional<QHostAddress> addressFor(const QUrl& target, const QUrl& site,
                                       const QList<QHostAddress>& resolved);

} // namespace orvane::ui
