// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/config.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
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

QString defaultConfigPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/lumo/lumo-sites.conf");
}

QString defaultDataDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/lumo");
}

QList<ListSource> readSources(const QString& path, QString* error) {
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
    const bool present = QFileInfo::exists(path);
    QSettings settings(path, QSettings::IniFormat);
    if (present && settings.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return {};
    }
    QList<ListSource> sources;
    for (const Default& entry : defaults) {
        ListSource source = entry.source;
        const QString key = QString::fromLatin1(entry.section) + u'/' + QLatin1String(entry.key);
        if (present && settings.contains(key)) {
            source.url = QUrl(settings.value(key).toString().trimmed());
            if (!source.url.isValid() ||
                (source.url.scheme() != u"http" && source.url.scheme() != u"https")) {
                *error = QStringLiteral("%1: [%2] %3= wants an http or https address")
                             .arg(path, QLatin1String(entry.section), QLatin1String(entry.key));
                return {};
            }
        }
        sources.append(source);
    }
    return sources;
}

int fetchIntervalMs(const QString& path) {
    if (!QFileInfo::exists(path))
        return 1000;
    bool number = false;
    const int value =
        QSettings(path, QSettings::IniFormat).value(QStringLiteral("fetch/interval_ms")).toInt(&number);
    return number && value >= 0 && value <= 60'000 ? value : 1000;
}

} // namespace sites::store
