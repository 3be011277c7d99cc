// SPDX-License-Identifier: GPL-3.0-or-later
#include "lookup/lookuppage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const lookup::LookupPage result = lookup::parseLookupPage(page);
    if (result.countdown.contains(u' ') ||
        std::any_of(result.fields.begin(), result.fields.end(),
                    [&](const QString& field) { return field.size() > page.size(); }))
        __builtin_trap();
    return 0;
}
