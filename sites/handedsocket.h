// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace sites {

// The listening TCP socket a service manager handed over at start (LISTEN_PID names this
// process, LISTEN_FDS counts the sockets from descriptor 3 on), or -1 when there is none.
// The variables are cleared either way, so that no child takes the socket for its own.
int takeHandedSocket();

} // namespace sites
