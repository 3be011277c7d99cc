// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/module1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // A double-byte character never turns into more than two UTF-16 units.
    if (Module1::BytesToText(bytes, QStringLiteral("gb2312")).size() > bytes.size())
        __builtin_trap();
    return 0;
}
