// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/versionfile.h"
#include "net/module1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The version file is read as GB2312, so the decoder is part of the road.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto line = maintenance::newVersionLine(Module1::BytesToText(bytes, "gb2312"));
    if (line && (line->isEmpty() || line->contains(QStringLiteral("\r\n")) ||
                 *line == maintenance::referenceVersion()))
        __builtin_trap();
    return 0;
}
