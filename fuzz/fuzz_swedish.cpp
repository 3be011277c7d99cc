// SPDX-License-Identifier: GPL-3.0-or-later
#include "droplistcheck.h"

static QString g_suffix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The first byte picks the list, so both suffixes are fuzzed from one corpus.
    g_suffix = size > 0 && data[0] % 2 ? QStringLiteral(".nu") : QStringLiteral(".se");
    checkDropList(sites::sources::parseSwedish(bytes, g_suffix),
                  [](const QString& suffix) { return suffix == g_suffix; });
    return 0;
}
