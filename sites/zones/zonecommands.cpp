// SPDX-License-Identifier: GPL-3.0-or-later
#include "zonecommands.h"

#include "czds.h"
#include "settings/settingsfile.h"
#include "zoneimport.h"

#include <QElapsedTimer>
#include <QFile>
#include <cstdio>
#include <unistd.h>

namespace sites::zones {

namespace {

QString size(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4)
        bytes /= 1024, ++unit;
    return QStringLiteral("%1 %2").arg(bytes, 0, 'f', unit ? 1 : 0).arg(QLatin1String(units[unit]));
}

QString duration(qint64 seconds) {
    return seconds >= 3600 ? QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'))
                           : QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// One line on stderr, redrawn at most four times a second; nothing when stderr is not a
// terminal, so logs and pipes stay clean.
class ProgressLine {
public:
    explicit ProgressLine(QString what) : what_(std::move(what)), shown_(::isatty(STDERR_FILENO) == 1) {
        clock_.start();
    }
    ~ProgressLine() {
        if (drawn_)
            std::fputs("\r\033[K", stderr), std::fflush(stderr);
    }
    void update(qint64 done, qint64 total, qint64 names) {
        if (!shown_ || (clock_.elapsed() - lastMs_ < 250 && done != total))
            return;
        lastMs_ = clock_.elapsed();
        const double seconds = std::max<double>(0.001, double(lastMs_) / 1000);
        const double rate = double(done) / seconds;
        QString line = QStringLiteral("%1: %2").arg(what_, size(double(done)));
        if (total > 0)
            line += QStringLiteral(" of %1").arg(size(double(total)));
        line += QStringLiteral(" read");
        if (names >= 0)
            line += QStringLiteral(", %L1 names").arg(names);
        line += QStringLiteral(", %1/s").arg(size(rate));
        if (total > 0 && rate > 0 && done > 0)
            line += QStringLiteral(", %1 left").arg(duration(qint64(double(total - done) / rate)));
        std::fprintf(stderr, "\r%s\033[K", qPrintable(line));
        std::fflush(stderr);
        drawn_ = true;
    }

private:
    QString what_;
    bool shown_;
    bool drawn_ = false;
    QElapsedTimer clock_;
    qint64 lastMs_ = -1000;
};

} // namespace

namespace {

void recordFailure(const QString& dataDir, const QString& zone, const QString& why) {
    ZoneStatus status = readZoneStatus(dataDir, zone);
    status.lastAttempt = QDateTime::currentDateTimeUtc();
    status.error = why;
    writeZoneStatus(dataDir, status);
}

int importAndSay(const QString& dataDir, const QString& file, const QString& zone, QDate day,
                 DeletionSink* sink, bool lockHeld, ImportResult* out = nullptr) {
    ImportResult result;
    {
        ProgressLine line(zone);
        ImportOptions options;
        options.dataDir = dataDir;
        options.zone = zone;
        options.day = day;
        options.file = file;
        options.sink = sink;
        options.lockHeld = lockHeld;
        options.progress = [&line](const ImportProgress& p) {
            line.update(qint64(p.fileBytesRead), qint64(p.fileBytes), qint64(p.names));
        };
        result = importZone(options);
    }
    if (out)
        *out = result;
    const QDate shownDay = result.day.isValid() ? result.day : day;
    const QString dayText = shownDay.isValid() ? shownDay.toString(Qt::ISODate) : QStringLiteral("(no day)");
    if (result.busy) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(zone), qPrintable(result.error));
        return 1;
    }
    if (!result.ok) {
        std::fprintf(stderr, "%s %s: refused: %s\n", qPrintable(zone), qPrintable(dayText), qPrintable(result.error));
        return 1;
    }
    if (result.gapAfter.isValid())
        std::printf("%s %s: %lld names; no zone between %s and this day, so nothing is estimated "
                    "across the gap (estimates resume from the next day)\n",
                    qPrintable(zone), qPrintable(dayText), static_cast<long long>(result.names),
                    qPrintable(result.gapAfter.toString(Qt::ISODate)));
    else if (!result.previousDay.isValid())
        std::printf("%s %s: %lld names (the first day: deletions are estimated from the next)\n",
                    qPrintable(zone), qPrintable(dayText), static_cast<long long>(result.names));
    else
        std::printf("%s %s: %lld names; since %s %llu left, %llu came, %llu came back; %llu estimated deletions\n",
                    qPrintable(zone), qPrintable(dayText), static_cast<long long>(result.names),
                    qPrintable(result.previousDay.toString(Qt::ISODate)),
                    static_cast<unsigned long long>(result.left), static_cast<unsigned long long>(result.came),
                    static_cast<unsigned long long>(result.cameBack), static_cast<unsigned long long>(result.pending));
    std::fflush(stdout);
    return result.gapAfter.isValid() ? 1 : 0;
}

} // namespace

int runImportZone(const QString& dataDir, const QString& file, const QString& zone, QDate day,
                  DeletionSink* sink) {
    return importAndSay(dataDir, file, zone, day, sink, false);
}

namespace {

// One granted zone: downloaded when due and changed (or a refused import's download taken
// again), then imported. 0, or 1 when anything failed.
int fetchZone(CzdsClient& client, const QString& dataDir, const QString& zone, const QUrl& link,
              DeletionSink* sink) {
    // Held from the download to the end of the import: a second run, or an --import-zone,
    // waits its turn instead of sharing the zone's files.
    const ZoneLock lock(dataDir, zone);
    if (!lock.held()) {
        std::fprintf(stderr, "%s: %s holds the zone; this run leaves it\n", qPrintable(zone),
                     qPrintable(lock.holder()));
        return 1;
    }
    int exitCode = 0;
    CzdsClient::Download got;
    {
        ProgressLine line(zone + QStringLiteral(" download"));
        got = client.download(link, [&line](qint64 received, qint64 total) { line.update(received, total, -1); });
    }
    if (!got.error.isEmpty()) {
        recordFailure(dataDir, zone, got.error);
        std::fprintf(stderr, "%s: %s\n", qPrintable(zone), qPrintable(got.error));
        exitCode = 1;
    }
    if (got.file.isEmpty()) {
        // Nothing new: try again a download whose import was refused.
        got = client.kept(zone);
        if (got.file.isEmpty()) {
            if (got.error.isEmpty() && !got.lastStart.isNull())
                std::printf("%s: %s since the download of %s UTC; next time\n", qPrintable(zone),
                            got.tooSoon ? "under 24 hours" : "unchanged",
                            qPrintable(got.lastStart.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
            return exitCode;
        }
        std::printf("%s: importing again the download kept from %s UTC\n", qPrintable(zone),
                    qPrintable(got.lastStart.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    }
    const ZoneStatus status = readZoneStatus(dataDir, zone);
    if (got.day.isValid() && status.day.isValid() && got.day <= status.day) {
        std::printf("%s: the file is of %s, already imported\n", qPrintable(zone),
                    qPrintable(got.day.toString(Qt::ISODate)));
        QFile::remove(got.file);
        return exitCode;
    }
    ImportResult result;
    if (importAndSay(dataDir, got.file, zone, got.day, sink, true, &result) != 0)
        exitCode = 1;
    if (result.ok)
        QFile::remove(got.file); // the sorted day holds what is needed
    else
        std::fprintf(stderr, "%s: the download stays in %s; the next run imports it again\n",
                     qPrintable(zone), qPrintable(got.file));
    return exitCode;
}

} // namespace

int runFetchZones(sites::net::HttpClient& http, const QString& dataDir, const QString& configFile,
                  DeletionSink* sink) {
    const CzdsSettings settings = readCzdsSettings(sites::settings::SettingsFile(configFile));
    if (!settings.configured()) {
        std::fprintf(stderr, "lumo-sites: no [czds] username= and password_file= in %s\n", qPrintable(configFile));
        return 2;
    }
    CzdsClient client(http, settings, dataDir);
    QString error;
    const std::optional<QList<QUrl>> links = client.links(&error);
    if (!links) {
        for (const QString& zone : settings.zones)
            recordFailure(dataDir, zone, error);
        std::fprintf(stderr, "czds: %s\n", qPrintable(error));
        return 1;
    }
    int exitCode = 0;
    QStringList missing = settings.zones;
    for (const QUrl& link : *links) {
        const QString zone = CzdsClient::zoneOfLink(link);
        missing.removeAll(zone);
        exitCode |= fetchZone(client, dataDir, zone, link, sink);
    }
    for (const QString& zone : missing) {
        const QString why = QStringLiteral("not among the zones CZDS grants this account");
        recordFailure(dataDir, zone, why);
        std::fprintf(stderr, "%s: %s\n", qPrintable(zone), qPrintable(why));
        exitCode = 1;
    }
    return exitCode;
}

} // namespace sites::zones
