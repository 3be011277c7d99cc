// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/domainlist.h"
#include "listing/urls.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString marker = listing::linkMarker(QStringLiteral("http://a/"));
    const QStringList names = listing::namesOnPage(page, marker);
    if (names.size() > listing::namesPerPage)
        __builtin_trap();
    for (const QString& name : names)
        if (name.contains(u'>'))
            __builtin_trap();
    // The caption rules must hold for any text, too.
    const int pages = listing::pageCount(page.left(40));
    if (pages < 1 || pages > 32767)
        __builtin_trap();
    return 0;
}
