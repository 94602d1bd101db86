#pragma once

#include <QString>

namespace orvane {

// Root started for a user on Wayland (orvane-as-admin) is told the user's
// compositor socket in ORVANE_WAYLAND_SOCKET. It opens that path once, without
// following a link, checks that what it opened is a socket of the asking user
// (askingUid()) and that the process answering on it is that user's too, and
// hands the connection itself to the Wayland client (WAYLAND_SOCKET): the path
// is never looked at again, so nothing swapped in behind it is reached.
// Returns why the socket was refused, or an empty text (also when no socket is
// named). Call before the GUI starts.
QString adoptWaylandSocket();

} // namespace orvane
