// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/daysummary.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const listing::DaySummary summary = listing::parseDaySummary(page);
    // Every cut is a slice of the page.
    for (const auto& row : summary.counts)
        for (const auto& count : row)
            if (count && count->size() > page.size())
                __builtin_trap();
    return 0;
}
