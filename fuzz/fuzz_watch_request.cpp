// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/watchrule.h"

#include "sources/droplists.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList invalid;
    const std::optional<QStringList> names = sites::watch::namesOf(body, &invalid);
    if (!names && !invalid.isEmpty())
        __builtin_trap();
    if (!names)
        return 0;
    // Every name taken is in the store's own form, has a dot, and comes once.
    for (const QString& name : *names)
        if (name.isEmpty() || !name.contains(u'.') ||
            sites::sources::normalizedName(name) != name || names->count(name) != 1)
            __builtin_trap();
    return 0;
}
