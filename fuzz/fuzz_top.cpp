// SPDX-License-Identifier: GPL-3.0-or-later
#include "droplistcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkDropList(sites::sources::parseTop(bytes),
                  [](const QString& suffix) { return suffix == QLatin1String(".top"); });
    return 0;
}
