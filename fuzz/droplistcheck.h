// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "names/domainname.h"
#include "sources/droplists.h"

#include <QSet>

// What every parsed list owes, whatever the bytes: refused or names, never both; every name
// once, in the form it is stored in, under its own suffix, with a day.
inline void checkDropList(const sites::sources::ParsedList& list, bool (*suffixFits)(const QString&),
                          QDate day = {}) {
    using namespace sites::sources;
    if (list.error.isEmpty() == list.names.isEmpty() || list.skipped < 0)
        __builtin_trap();
    QSet<QString> seen;
    for (const DropName& name : list.names) {
        if (!name.day.isValid() || (day.isValid() && name.day != day) || !suffixFits(name.suffix) || registrySuffix(name.name) != name.suffix ||
            normalizedName(name.name) != name.name || name.length < 1 || name.length > 63 ||
            seen.contains(name.name))
            __builtin_trap();
        // Its ACE form, as a lookup sends it, leads back to it.
        if (sites::names::unicodeName(sites::names::aceName(name.name)) != name.name)
            __builtin_trap();
        seen.insert(name.name);
    }
}
