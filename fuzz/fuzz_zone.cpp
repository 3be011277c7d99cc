// SPDX-License-Identifier: GPL-3.0-or-later
#include "zones/zonefile.h"
#include "zones/zoneimport.h"
#include "zones/zoneparser.h"

#include <cstdint>
#include <string>

// Any bytes, gzip'ed or not, cut into two pieces at a place the input chooses: the names found
// are single lowercase host labels, the SOA serial's day is a real one, and the cut changes
// nothing.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::size_t cut = data[0] % (size);
    auto parse = [&](bool split) {
        std::string names;
        sites::zones::ZoneParser parser("com", [&](std::string_view label) {
            if (label.empty() || label.size() > 63)
                __builtin_trap();
            for (char c : label)
                if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'))
                    __builtin_trap();
            names.append(label).push_back('\n');
        });
        std::string text;
        sites::zones::readZoneBytes(reinterpret_cast<const char*>(data) + 1, size - 1,
                                    [&](const char* d, std::size_t n) { text.append(d, n); });
        if (split) {
            const std::size_t at = std::min(cut, text.size());
            parser.feed(text.data(), at);
            parser.feed(text.data() + at, text.size() - at);
        } else {
            parser.feed(text.data(), text.size());
        }
        parser.finish();
        // The serial's day, when it names one, is a real date in range.
        const QDate day = sites::zones::serialDay(parser.soaSerial());
        if (day.isValid() && (day.year() < 1990 || day.year() >= 2200))
            __builtin_trap();
        return names + (parser.sawSoa() ? "soa " : "") + parser.soaSerial() + parser.error();
    };
    if (parse(false) != parse(true))
        __builtin_trap();
    return 0;
}
