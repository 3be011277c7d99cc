// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/module1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = Module1::BytesToText(bytes, QStringLiteral("UTF-8"));
    // Every byte gives at most one UTF-16 unit, and plain ASCII comes back unchanged.
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0; });
    if (text.size() > bytes.size() || (ascii && text.toLatin1() != bytes))
        __builtin_trap();
    return 0;
}
