// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/startup.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString page = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const listing::StartupDates dates = listing::parseStartupDates(page);
    if (dates.slotTexts.size() > 6)
        __builtin_trap();
    return 0;
}
