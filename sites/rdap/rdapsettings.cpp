// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/rdapsettings.h"

namespace sites::rdap {

Settings readSettings(const settings::SettingsFile& file, const QString& dataDir) {
    Settings settings;
    settings.dataDir = dataDir;
    settings.bootstrap = file.webAddress("rdap", "bootstrap", settings.bootstrap);
    settings.interval = std::chrono::milliseconds(file.number(
        "rdap", "interval", 0, 600'000, int(settings.interval.count()), "milliseconds"));
    return settings;
}

} // namespace sites::rdap
