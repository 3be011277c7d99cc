// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace sites::watch {

// DIR/watch-token: the per-user token lumo-cli and the window send to change the watch list,
// 64 hex characters, made (mode 0600 from the start) when missing. Empty, with `error`, when it
// can be neither read nor made.
QByteArray watchToken(const QString& dir, QString* error);

} // namespace sites::watch
