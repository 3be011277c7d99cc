// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/httpclient.h"
#include "settings/settingsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype lines = text.count('\n') + 1;
    const QHash<QString, sites::settings::Value> values = sites::settings::parseIni(text);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        // Every value knows its line, and holds no more than one.
        if (it->line < 1 || it->line > lines || it->text.contains(u'\n'))
            __builtin_trap();
    }
    // Whatever the file says, a secret goes only where it may.
    const sites::settings::SettingsFile file(QStringLiteral("fuzz.conf"), text);
    const QUrl builtIn(QStringLiteral("https://built.in/"));
    if (!sites::net::keepsSecrets(file.secretAddress("czds", "auth_url", builtIn)))
        __builtin_trap();
    const int n = file.number("rdap", "interval", 0, 600'000, 1000, "milliseconds");
    if (n < 0 || n > 600'000)
        __builtin_trap();
    return 0;
}
