// SPDX-License-Identifier: GPL-3.0-or-later
#include "zones/zonestore.h"

#include <QDir>
#include <QFileInfo>

namespace sites::zones {
namespace {

bool hasStatus(const QString& dataDir, const QString& zone) {
    return QFileInfo::exists(zoneDir(dataDir, zone) + QStringLiteral("/status.json"));
}

SourceRow sourceRow(const ZoneStatus& zone) {
    SourceRow row;
    row.source = QStringLiteral("czds-") + zone.zone;
    row.url = zone.day.isValid()
                  ? QStringLiteral("zone %1 of %2").arg(zone.zone, zone.day.toString(Qt::ISODate))
                  : QStringLiteral("zone %1").arg(zone.zone);
    row.lastAttempt = zone.lastAttempt;
    row.lastSuccess = zone.lastSuccess;
    row.status = !zone.error.isEmpty()        ? QStringLiteral("failed")
                 : zone.lastSuccess.isValid() ? QStringLiteral("ok")
                                              : QStringLiteral("never");
    row.names = qMax<qint64>(0, zone.names);
    row.error = zone.error;
    return row;
}

} // namespace

bool StoreSink::replaceZone(const QString& zone, const QString& pendingFile, QString* error) {
    const QString suffix = QLatin1Char('.') + zone;
    // The day just imported is the latest day file beside the estimated list.
    const QStringList dayFiles =
        QDir(zoneDir(store_.directory(), zone))
            .entryList({QStringLiteral("*.names")}, QDir::Files, QDir::Name);
    const QDate imported =
        dayFiles.isEmpty() ? QDate() : QDate::fromString(dayFiles.last().left(10), Qt::ISODate);
    const store::Store::RowFeed feed = [&](const std::function<bool(const ListedName&)>& add) {
        bool stored = true;
        const bool read = readPending(pendingFile, [&](std::string_view label, QDate day) {
            stored = stored && add(store::Store::zoneName(label, suffix, day));
        });
        return read && stored;
    };
    return store_.replaceList(QStringLiteral("czds-") + zone, feed, QDateTime::currentDateTimeUtc(),
                              error, true,
                              imported.isValid() ? imported.addDays(daysToRelease) : QDate(),
                              imported.isValid() ? imported.addDays(-daysKeptPast) : QDate());
}

store::FiledElsewhere importedZones(const QString& dataDir) {
    store::FiledElsewhere zones;
    zones.rows = [dataDir] {
        QList<SourceRow> rows;
        const QStringList dirs = QDir(dataDir + QStringLiteral("/zones"))
                                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& zone : dirs)
            if (hasStatus(dataDir, zone))
                rows.append(sourceRow(readZoneStatus(dataDir, zone)));
        return rows;
    };
    zones.serves = [dataDir](const QString& suffix) {
        const QString zone = suffix.mid(1);
        if (!suffix.startsWith(u'.') || zone.isEmpty() || zone.contains(u'.') ||
            zone.contains(u'/'))
            return false;
        return hasStatus(dataDir, zone) && readZoneStatus(dataDir, zone).day.isValid();
    };
    return zones;
}

} // namespace sites::zones
