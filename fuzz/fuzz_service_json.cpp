// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/servicejson.h"

// The listing service's JSON answers in one target: they share the reading of
// numbers and times, and the fuzzing time.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView json(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto counts = listing::parseCounts(json))
        for (auto s = counts->bySuffix.begin(); s != counts->bySuffix.end(); ++s) {
            if (!s.key().startsWith(u'.'))
                __builtin_trap();
            if (*s)
                for (auto l = (*s)->begin(); l != (*s)->end(); ++l)
                    if (l.key() < 1 || l.key() > 63 || l.value() < 0)
                        __builtin_trap();
        }
    if (const auto sources = listing::parseSources(json))
        for (const listing::SourceState& s : *sources)
            if (s.names < 0 || s.status.isEmpty())
                __builtin_trap();
    if (const auto days = listing::parseDays(json))
        for (const listing::DayDates& d : *days)
            if (d.site.size() != 10 || d.date.size() != 10)
                __builtin_trap();
    if (const auto stored = listing::parseStored(json))
        for (const listing::StoredDay& d : *stored)
            if (d.day.size() != 10 || (d.names && *d.names < 0))
                __builtin_trap();
    listing::looksLikeJson(json);
    return 0;
}
