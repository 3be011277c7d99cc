// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/settingsfile.h"

#include <QString>
#include <QUrl>
#include <chrono>

namespace sites::rdap {

inline constexpr char DefaultBootstrapUrl[] = "https://data.iana.org/rdap/dns.json";

struct Settings {
    QUrl bootstrap{QString::fromLatin1(DefaultBootstrapUrl)};
    QString dataDir;                          // where the directory of servers is kept between runs
    std::chrono::milliseconds interval{1000}; // between two requests to one RDAP server
};

// `[rdap] bootstrap=URL` and `interval=MILLISECONDS` of the INI file; the built-in value for
// each missing or unusable one.
Settings readSettings(const settings::SettingsFile& file, const QString& dataDir);

} // namespace sites::rdap
