// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

class QLockFile;

// A zone's days on disk and the deletion list estimated from them. In DIR/zones/ZONE/:
// YYYY-MM-DD.names (the day's labels, sorted; the last two days are kept), pending.tsv (label,
// TAB, estimated deletion day; sorted by label) and status.json (what the sources table shows).
namespace sites::zones {

// A name gone from the zone has, almost always, entered the 30-day redemption period; the
// registry releases it about five days after that.
constexpr int daysToRelease = 35;
// Estimated rows stay this many days past their day, for the window's past days.
constexpr int daysKeptPast = 7;

struct ZoneStatus {
    QString zone;
    QDate day;         // the last day accepted
    qint64 names = -1; // its delegated names; -1 when none accepted yet
    QString error;     // why the last attempt failed or was refused; empty when it succeeded
    QDateTime lastAttempt, lastSuccess;
    QMap<QDate, qint64> days; // names of each day still on disk
};

QString zoneDir(const QString& dataDir, const QString& zone);
ZoneStatus readZoneStatus(const QString& dataDir, const QString& zone);
bool writeZoneStatus(const QString& dataDir, const ZoneStatus& status);

// One zone run at a time per data directory and zone: a download and an import hold
// DIR/zones/ZONE/lock from start to end. A lock left by a run that died is taken over.
class ZoneLock {
public:
    ZoneLock(const QString& dataDir, const QString& zone);
    ~ZoneLock();
    bool held() const { return held_; }
    // Which run holds it, for people: "process 4711 (lumo-sites) on host".
    QString holder() const { return holder_; }

private:
    std::unique_ptr<QLockFile> file_;
    bool held_ = false;
    QString holder_;
};

// The day a zone's SOA serial names when it is written as a date (YYYYMMDDnn); otherwise none.
QDate serialDay(std::string_view serial);

// Where the estimated rows go. The store replaces a zone's approximate rows with the file's in
// one transaction; readPending() reads it.
class DeletionSink {
public:
    virtual ~DeletionSink() = default;
    virtual bool replaceZone(const QString& zone, const QString& pendingFile, QString* error) = 0;
};

bool readPending(const QString& pendingFile,
                 const std::function<void(std::string_view label, QDate day)>& row);

struct ImportProgress {
    std::uint64_t fileBytesRead = 0;
    std::uint64_t fileBytes = 0;
    std::uint64_t names = 0; // delegations seen so far (repeats included)
};

struct ImportOptions {
    QString dataDir;
    QString zone; // "com"
    QDate day;    // invalid: the day the SOA serial names, refused when it names none
    QString file; // FILE.zone or FILE.zone.gz
    std::size_t runBytes = 128u << 20;
    std::function<void(const ImportProgress&)> progress;
    DeletionSink* sink = nullptr;
    bool lockHeld = false; // the caller holds the zone's ZoneLock
};

struct ImportResult {
    bool ok = false;
    bool busy = false; // another run holds the zone: nothing was touched
    QString error;     // also kept in status.json
    QDate day;
    // Set when the day before this one was never imported: this day is a new start, with
    // nothing estimated across the gap (ok stays true; the status says so).
    QDate gapAfter;
    qint64 names = 0;
    QDate previousDay;
    qint64 previousNames = -1;
    std::uint64_t left = 0, came = 0, cameBack = 0, pending = 0;
};

// Parses, sorts and checks a zone file; only a zone that passes every gate (whole gzip, an SOA
// at the apex, at least one delegation and at least half of the last day's) becomes the day and
// changes the estimated list, and only a day that follows the last one is diffed against it.
ImportResult importZone(const ImportOptions& options);

} // namespace sites::zones
