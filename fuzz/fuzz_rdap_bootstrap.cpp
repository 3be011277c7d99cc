// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/bootstrap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const std::optional<sites::rdap::Bootstrap> directory = sites::rdap::Bootstrap::parse(json, &error);
    if (directory.has_value() == !error.isEmpty())
        __builtin_trap();
    if (directory) {
        // Every server found is a base to resolve "domain/NAME" against.
        for (const char* name : {"example.com", "a.b.com.cn", "xn--fiqs8s", "x.y.z.w"}) {
            const QUrl base = directory->serverFor(QString::fromLatin1(name));
            if (!base.isEmpty() && (!base.path().endsWith(u'/') ||
                                    (base.scheme() != u"https" && base.scheme() != u"http")))
                __builtin_trap();
        }
    }
    return 0;
}
