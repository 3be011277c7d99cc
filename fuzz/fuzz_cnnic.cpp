// SPDX-License-Identifier: GPL-3.0-or-later
#include "droplistcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QDate day(2026, 12, 9);
    // .cn and its second levels, or CNNIC's .中国, .公司 and .网络.
    checkDropList(sites::sources::parseCnnic(bytes, day),
                  [](const QString& s) { return s.endsWith(u".cn") || s.size() == 3; },
                  day);
    return 0;
}
