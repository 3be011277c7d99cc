// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/domainlist.h"
#include "listing/urls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList names = listing::namesOnPage(page, listing::linkMarker("http://a/"));
    if (names.size() > listing::namesPerPage ||
        std::any_of(names.begin(), names.end(), [](const QString& n) { return n.contains(u'>'); }))
        __builtin_trap();
    // The caption rules must hold for any text, too.
    const int pages = listing::pageCount(page.left(40));
    if (pages < 1 || pages > 32767)
        __builtin_trap();
    return 0;
}
