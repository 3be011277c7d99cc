// SPDX-License-Identifier: GPL-3.0-or-later
#include "handedsocket.h"

#include <QByteArray>
#include <QtGlobal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sites {

int takeHandedSocket() {
    constexpr int first = 3;
    const QByteArray pid = qgetenv("LISTEN_PID");
    const QByteArray count = qgetenv("LISTEN_FDS");
    qunsetenv("LISTEN_PID");
    qunsetenv("LISTEN_FDS");
    qunsetenv("LISTEN_FDNAMES");

    bool pidOk = false;
    bool countOk = false;
    if (pid.toLongLong(&pidOk) != getpid() || !pidOk || count.toInt(&countOk) < 1 || !countOk)
        return -1;
    // Only a listening stream socket will do; whatever else sits at 3 is not ours.
    int type = 0;
    int accepting = 0;
    socklen_t size = sizeof type;
    if (getsockopt(first, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM)
        return -1;
    size = sizeof accepting;
    if (getsockopt(first, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &size) != 0 || !accepting)
        return -1;
    fcntl(first, F_SETFD, FD_CLOEXEC);
    return first;
}

} // namespace sites
