// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/config.h"

#include <QTimeZone>

namespace sites::store {

QDate registryToday(ListFormat format, const QDateTime& now) {
    const bool chinese = format != ListFormat::Swedish;
    QTimeZone zone(chinese ? "Asia/Shanghai" : "Europe/Stockholm");
    // Without the time zone database: China has no daylight saving; Sweden's is an hour off
    // for half the year, which moves its day only between 23:00 and 24:00.
    if (!zone.isValid())
        zone = QTimeZone(chinese ? 8 * 3600 : 3600);
    return now.toTimeZone(zone).date();
}

QList<ListSource> readSources(const settings::SettingsFile& file) {
    const QString cnnic = QStringLiteral("https://www.cnnic.cn/NMediaFile/domain_list/");
    const QString swedish = QStringLiteral("https://data.internetstiftelsen.se/");
    struct Default {
        const char* section;
        const char* key;
        ListSource source;
    };
    const QList<Default> defaults = {
        {"cnnic", "today", {"cnnic-today", "cnnic", QUrl(cnnic + "1todayDel.txt"), ListFormat::Cnnic, 0, {}}},
        {"cnnic", "tomorrow", {"cnnic-tomorrow", "cnnic", QUrl(cnnic + "future1todayDel.txt"), ListFormat::Cnnic, 1, {}}},
        {"cnnic", "dayafter", {"cnnic-dayafter", "cnnic", QUrl(cnnic + "future2todayDel.txt"), ListFormat::Cnnic, 2, {}}},
        {"se", "se", {"se", "se", QUrl(swedish + "bardate_domains.json"), ListFormat::Swedish, 0, ".se"}},
        {"se", "nu", {"nu", "nu", QUrl(swedish + "bardate_domains_nu.json"), ListFormat::Swedish, 0, ".nu"}},
        {"top", "list", {"top", "top", QUrl("https://www.nic.top/upload/top/dellist.csv"), ListFormat::Top, 0, {}}},
    };
    QList<ListSource> sources;
    for (const Default& entry : defaults) {
        ListSource source = entry.source;
        source.url = file.webAddress(entry.section, entry.key, source.url);
        sources.append(source);
    }
    return sources;
}

int fetchIntervalMs(const settings::SettingsFile& file) {
    return file.number("fetch", "interval_ms", 0, 60'000, 1000, "milliseconds");
}

} // namespace sites::store
