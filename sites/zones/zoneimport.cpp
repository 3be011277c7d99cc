// SPDX-License-Identifier: GPL-3.0-or-later
#include "zoneimport.h"

#include "namefiles.h"
#include "zonefile.h"
#include "zoneparser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <optional>

namespace sites::zones {

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");

QString dayFile(const QString& dir, QDate day) {
    return QStringLiteral("%1/%2.names").arg(dir, day.toString(dayFormat));
}

QJsonValue time(const QDateTime& t) {
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

} // namespace

QString zoneDir(const QString& dataDir, const QString& zone) {
    return QStringLiteral("%1/zones/%2").arg(dataDir, zone);
}

ZoneLock::ZoneLock(const QString& dataDir, const QString& zone) {
    const QString dir = zoneDir(dataDir, zone);
    QDir().mkpath(dir);
    file_ = std::make_unique<QLockFile>(dir + QStringLiteral("/lock"));
    file_->setStaleLockTime(0); // an import of .com takes minutes: only a dead holder is stale
    held_ = file_->tryLock(0);
    if (held_)
        return;
    qint64 pid = 0;
    QString host, app;
    if (file_->getLockInfo(&pid, &host, &app))
        holder_ = QStringLiteral("process %1 (%2) on %3").arg(pid).arg(app.isEmpty() ? QStringLiteral("?") : app, host);
    else
        holder_ = QStringLiteral("another run (%1/lock cannot be taken)").arg(dir);
}

ZoneLock::~ZoneLock() = default;

QDate serialDay(std::string_view serial) {
    if (serial.size() != 10 || serial.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    const QDate day = QDate::fromString(QString::fromLatin1(serial.data(), 8), QStringLiteral("yyyyMMdd"));
    return day.isValid() && day.year() >= 1990 && day.year() < 2200 ? day : QDate();
}

ZoneStatus readZoneStatus(const QString& dataDir, const QString& zone) {
    ZoneStatus status;
    status.zone = zone;
    QFile file(zoneDir(dataDir, zone) + QStringLiteral("/status.json"));
    if (!file.open(QIODevice::ReadOnly))
        return status;
    const QJsonObject o = QJsonDocument::fromJson(file.read(1 << 20)).object();
    status.day = QDate::fromString(o.value(QStringLiteral("day")).toString(), dayFormat);
    status.names = o.value(QStringLiteral("names")).toInteger(-1);
    status.error = o.value(QStringLiteral("error")).toString();
    status.lastAttempt = QDateTime::fromString(o.value(QStringLiteral("lastAttempt")).toString(), Qt::ISODate);
    status.lastSuccess = QDateTime::fromString(o.value(QStringLiteral("lastSuccess")).toString(), Qt::ISODate);
    const QJsonObject days = o.value(QStringLiteral("days")).toObject();
    for (auto it = days.begin(); it != days.end(); ++it)
        if (const QDate d = QDate::fromString(it.key(), dayFormat); d.isValid())
            status.days.insert(d, it.value().toInteger());
    return status;
}

bool writeZoneStatus(const QString& dataDir, const ZoneStatus& status) {
    const QString dir = zoneDir(dataDir, status.zone);
    QDir().mkpath(dir);
    QJsonObject days;
    for (auto it = status.days.begin(); it != status.days.end(); ++it)
        days.insert(it.key().toString(dayFormat), it.value());
    const QJsonObject o{
        {QStringLiteral("zone"), status.zone},
        {QStringLiteral("day"), status.day.isValid() ? QJsonValue(status.day.toString(dayFormat)) : QJsonValue()},
        {QStringLiteral("names"), status.names < 0 ? QJsonValue() : QJsonValue(status.names)},
        {QStringLiteral("error"), status.error.isEmpty() ? QJsonValue() : QJsonValue(status.error)},
        {QStringLiteral("lastAttempt"), time(status.lastAttempt)},
        {QStringLiteral("lastSuccess"), time(status.lastSuccess)},
        {QStringLiteral("days"), days},
    };
    QSaveFile file(dir + QStringLiteral("/status.json"));
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(o).toJson()) >= 0 && file.commit();
}

bool readPending(const QString& pendingFile,
                 const std::function<void(std::string_view, QDate)>& row) {
    LineReader in(pendingFile);
    if (!in.opened())
        return !QFileInfo::exists(pendingFile);
    std::string_view line;
    while (in.next(line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            continue;
        const std::string_view day = line.substr(tab + 1);
        row(line.substr(0, tab),
            QDate::fromString(QString::fromLatin1(day.data(), qsizetype(day.size())), dayFormat));
    }
    return !in.failed();
}

namespace {

// Merges the estimated list with one day's changes, all three sorted by label: a name that
// left gets its day, one that came back is taken off, and rows long past are dropped.
class PendingMerge {
public:
    PendingMerge(const QString& pendingFile, QDate day, ImportResult& result)
        : in_(pendingFile), out_(pendingFile), result_(result),
          releaseDay_(day.addDays(daysToRelease).toString(dayFormat).toStdString()),
          oldest_(day.addDays(-daysKeptPast).toString(dayFormat).toStdString()) {
        hasHead_ = in_.next(head_);
    }

    void change(std::string_view label, bool left) {
        while (hasHead_ && headLabel() < label)
            keepHead();
        if (hasHead_ && headLabel() == label) {
            if (!left)
                ++result_.cameBack;
            hasHead_ = in_.next(head_);
        }
        if (left) {
            out_.write(label, '\t', releaseDay_);
            ++result_.pending;
        }
    }

    bool finish(QString* error) {
        while (hasHead_)
            keepHead();
        if (in_.failed()) {
            *error = QStringLiteral("cannot read the estimated list");
            return false;
        }
        return out_.commit(error);
    }

private:
    std::string_view headLabel() const { return head_.substr(0, head_.find('\t')); }
    void keepHead() {
        const std::size_t tab = head_.find('\t');
        if (tab != std::string_view::npos && head_.substr(tab + 1) >= oldest_) {
            out_.write(head_);
            ++result_.pending;
        }
        hasHead_ = in_.next(head_);
    }

    LineReader in_;
    LineWriter out_;
    ImportResult& result_;
    std::string releaseDay_, oldest_;
    std::string_view head_;
    bool hasHead_ = false;
};

} // namespace

namespace {

// One import of a zone file, step by step. Each step returns why the file is refused, empty
// when it passes; a refusal is kept in status.json and leaves no temporary file behind.
class ZoneImport {
public:
    explicit ZoneImport(const ImportOptions& options)
        : options_(options), dir_(zoneDir(options.dataDir, options.zone)),
          tempDir_(dir_ + QStringLiteral("/tmp")),
          incoming_(tempDir_ + QStringLiteral("/incoming.names")),
          status_(readZoneStatus(options.dataDir, options.zone)) {
        status_.zone = options.zone;
        status_.lastAttempt = QDateTime::currentDateTimeUtc();
    }

    ImportResult run() {
        QDir(tempDir_).removeRecursively(); // what a run that died left
        if (!QDir().mkpath(tempDir_))
            return refuse(QStringLiteral("cannot create %1").arg(tempDir_));
        QString why;
        {
            NameSorter sorter(tempDir_, options_.runBytes);
            why = read(sorter);
            if (why.isEmpty())
                why = sort(sorter);
        }
        for (auto step : {&ZoneImport::keepDay, &ZoneImport::estimate, &ZoneImport::publish})
            if (why.isEmpty())
                why = (this->*step)();
        return why.isEmpty() ? result_ : refuse(why);
    }

private:
    QString read(NameSorter& sorter);
    QString checkDay(QDate day);
    QString sort(NameSorter& sorter);
    QString keepDay();
    QString estimate();
    QString publish();

    ImportResult refuse(const QString& why) {
        result_.ok = false;
        result_.error = why;
        status_.error = why;
        writeZoneStatus(options_.dataDir, status_);
        QDir(tempDir_).removeRecursively();
        return result_;
    }

    const ImportOptions& options_;
    const QString dir_, tempDir_, incoming_;
    QString today_;
    QString sinkError_; // the store's refusal: the day stands, the import does not succeed
    ZoneStatus status_;
    ImportResult result_;
};

// Parses the file into the sorter; the zone must parse, have its SOA and name its day.
QString ZoneImport::read(NameSorter& sorter) {
    ImportProgress progress;
    ZoneParser parser(options_.zone.toStdString(), [&](std::string_view label) {
        sorter.add(label);
        ++progress.names;
    });
    progress.fileBytes = std::uint64_t(QFileInfo(options_.file).size());
    const ZoneFileRead read =
        readZoneFile(options_.file, [&](const char* data, std::size_t size, std::uint64_t soFar) {
            parser.feed(data, size);
            progress.fileBytesRead = soFar;
            if (options_.progress)
                options_.progress(progress);
        });
    if (!read.ok)
        return read.error;
    parser.finish();
    if (!parser.error().empty())
        return QStringLiteral("not a zone file: %1").arg(QString::fromStdString(parser.error()));
    if (!parser.sawSoa())
        return QStringLiteral("no SOA record for %1: not the whole zone").arg(options_.zone);
    return checkDay(options_.day.isValid() ? options_.day : serialDay(parser.soaSerial()));
}

// A day no older than the last one; the latest earlier day still on disk is diffed against.
QString ZoneImport::checkDay(QDate day) {
    if (!day.isValid())
        return QStringLiteral("the file names no day (no Last-Modified, an SOA serial that is not "
                              "a date): import it with --import-zone and --day");
    result_.day = day;
    if (!status_.days.isEmpty() && status_.days.lastKey() > day)
        return QStringLiteral("%1 is older than the last day imported, %2")
            .arg(day.toString(dayFormat), status_.days.lastKey().toString(dayFormat));
    for (auto it = status_.days.begin(); it != status_.days.end(); ++it) {
        if (it.key() < day && QFileInfo::exists(dayFile(dir_, it.key())))
            result_.previousDay = it.key(), result_.previousNames = it.value();
    }
    return {};
}

// The sorted names, at least one and at least half of the last day's.
QString ZoneImport::sort(NameSorter& sorter) {
    std::uint64_t count = 0;
    QString error;
    if (!sorter.finish(incoming_, &count, &error))
        return error;
    result_.names = qint64(count);
    if (count == 0)
        return QStringLiteral("no delegated names in the zone");
    if (result_.previousNames > 0 && result_.names * 2 < result_.previousNames)
        return QStringLiteral("only %1 names, under half of the %2 of %3")
            .arg(result_.names)
            .arg(result_.previousNames)
            .arg(result_.previousDay.toString(dayFormat));
    return {};
}

QString ZoneImport::keepDay() {
    // A day missing between the last one and this: what left in it cannot be told from what
    // left today, so nothing is estimated across it and this day starts afresh.
    if (result_.previousDay.isValid() && result_.previousDay.daysTo(result_.day) > 1) {
        result_.gapAfter = result_.previousDay;
        result_.previousDay = QDate();
    }
    today_ = dayFile(dir_, result_.day);
    QFile::remove(today_);
    if (!QFile::rename(incoming_, today_))
        return QStringLiteral("cannot rename %1 to %2").arg(incoming_, today_);
    return {};
}

// What left since the previous day joins the estimated list, which goes to the store.
QString ZoneImport::estimate() {
    if (!result_.previousDay.isValid())
        return {};
    const QString pendingFile = dir_ + QStringLiteral("/pending.tsv");
    PendingMerge merge(pendingFile, result_.day, result_);
    DiffCount diff;
    QString error;
    const bool diffed = diffSorted(
        dayFile(dir_, result_.previousDay), today_,
        [&](std::string_view label) { merge.change(label, true); },
        [&](std::string_view label) { merge.change(label, false); }, &diff, &error);
    if (!diffed || !merge.finish(&error)) {
        QFile::remove(today_);
        return error;
    }
    result_.left = diff.removed;
    result_.came = diff.added;
    // A store that fails keeps the day: the next import hands the whole list on again.
    if (options_.sink && !options_.sink->replaceZone(options_.zone, pendingFile, &error))
        sinkError_ = QStringLiteral("the store did not take the estimated list: %1").arg(error);
    return {};
}

QString ZoneImport::publish() {
    const QDate day = result_.day;
    // Only the two days the next diff needs stay on disk.
    for (auto it = status_.days.begin(); it != status_.days.end();) {
        if (it.key() != day && it.key() != result_.previousDay) {
            QFile::remove(dayFile(dir_, it.key()));
            it = status_.days.erase(it);
        } else {
            ++it;
        }
    }
    status_.days.insert(day, result_.names);
    status_.day = day;
    status_.names = result_.names;
    status_.error = sinkError_;
    if (sinkError_.isEmpty() && result_.gapAfter.isValid())
        status_.error =
            QStringLiteral("no zone between %1 and %2: nothing estimated across the gap; "
                           "estimates resume from the next day")
                .arg(result_.gapAfter.toString(dayFormat), day.toString(dayFormat));
    status_.lastSuccess = status_.lastAttempt;
    if (!sinkError_.isEmpty())
        return sinkError_;
    QDir(tempDir_).removeRecursively();
    if (!writeZoneStatus(options_.dataDir, status_))
        return QStringLiteral("cannot write %1/status.json").arg(dir_);
    result_.ok = true;
    return {};
}

} // namespace

ImportResult importZone(const ImportOptions& options) {
    std::optional<ZoneLock> lock;
    if (!options.lockHeld && !lock.emplace(options.dataDir, options.zone).held()) {
        ImportResult result;
        result.busy = true;
        result.error =
            QStringLiteral("%1 is being imported or downloaded by %2; try again when it ends")
                .arg(options.zone, lock->holder());
        return result;
    }
    return ZoneImport(options).run();
}

} // namespace sites::zones
