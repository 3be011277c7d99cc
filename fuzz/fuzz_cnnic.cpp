// SPDX-License-Identifier: GPL-3.0-or-later
#include "sources/droplists.h"

#include <QSet>

using namespace sites::sources;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QDate day(2026, 12, 9);
    const ParsedList list = parseCnnic(bytes, day);
    // Refused or names, never both; every name once, in the form it is stored in, on the day.
    if (list.error.isEmpty() == list.names.isEmpty() || list.skipped < 0)
        __builtin_trap();
    QSet<QString> seen;
    for (const DropName& name : list.names) {
        if (name.day != day || registrySuffix(name.name) != name.suffix ||
            !name.name.endsWith(name.suffix) || normalizedName(name.name) != name.name ||
            name.length < 1 || name.length > 63 || seen.contains(name.name))
            __builtin_trap();
        seen.insert(name.name);
    }
    return 0;
}
