// SPDX-License-Identifier: GPL-3.0-or-later
#include "modes/modes.h"

#include "store/store.h"

#include <cstdio>

namespace sites::modes {

void say(const QString& message) {
    std::fprintf(stderr, "lumo-sites: %s\n", qPrintable(message));
    std::fflush(stderr);
}

int fail(const QString& message) {
    say(message);
    return BadUse;
}

std::unique_ptr<store::Store> openStore(const Paths& paths) {
    QString error;
    std::unique_ptr<store::Store> opened = store::Store::open(paths.dataDir, &error);
    if (!opened)
        say(QStringLiteral("cannot open the store in %1: %2").arg(paths.dataDir, error));
    return opened;
}

} // namespace sites::modes
