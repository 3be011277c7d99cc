// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/daysummary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // Every cut is a slice of the page; a real day is a date.
    const listing::DaySummary summary = listing::parseDaySummary(page);
    for (const auto& row : summary.counts)
        for (const auto& count : row)
            if (count && count->size() > page.size())
                __builtin_trap();
    if (summary.realDay && summary.realDay->size() != 10)
        __builtin_trap();
    return 0;
}
