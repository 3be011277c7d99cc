// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/directory.h"

#include "net/httpclient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <utility>

namespace sites::rdap {
namespace {

constexpr qint64 DirectoryMaxAgeSecs = 24 * 3600;
// Without a directory at all, a failed fetch is tried again sooner than a day.
constexpr qint64 RetryWithoutDirectorySecs = 15 * 60;

bool saveDirectoryFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

ServerDirectory::ServerDirectory(QUrl url, QString dataDir, net::HttpClient& client)
    : url_(std::move(url)), dataDir_(std::move(dataDir)), client_(client) {}

QString ServerDirectory::file() const {
    return dataDir_ + QStringLiteral("/rdap-dns.json");
}

QString ServerDirectory::validatorsFile() const {
    return dataDir_ + QStringLiteral("/rdap-dns.validators.json");
}

void ServerDirectory::load() {
    loaded_ = true;
    QFile kept(file());
    if (!kept.open(QIODevice::ReadOnly))
        return;
    held_ = Bootstrap::parse(kept.readAll());
    QFile validators(validatorsFile());
    if (!held_ || !validators.open(QIODevice::ReadOnly))
        return;
    const QJsonObject saved = QJsonDocument::fromJson(validators.readAll()).object();
    etag_ = saved.value(u"etag").toString().toLatin1();
    lastModified_ = saved.value(u"lastModified").toString().toLatin1();
    checked_ = QDateTime::fromString(saved.value(u"checked").toString(), Qt::ISODate);
}

void ServerDirectory::whenReady(std::function<void()> then) {
    if (!loaded_)
        load();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool fresh = held_ && checked_.isValid() && checked_.secsTo(now) < DirectoryMaxAgeSecs &&
                       checked_ <= now;
    const bool failedLately = !held_ && lastFailure_.isValid() &&
                              lastFailure_.secsTo(now) < RetryWithoutDirectorySecs;
    if (fresh || failedLately) {
        then();
        return;
    }
    waiting_.append(std::move(then));
    if (!fetching_)
        fetch();
}

void ServerDirectory::fetch() {
    fetching_ = true;
    net::Fetch fetch;
    fetch.url = url_;
    fetch.headers = {{"Accept", "application/json"}};
    if (held_) { // only a copy held may be confirmed as current
        fetch.etag = etag_;
        fetch.lastModified = lastModified_;
    }
    fetch.maxBodyBytes = 4 << 20;
    client_.start(fetch, [this](const net::Fetched& got) {
        if (got.outcome == net::Fetched::Outcome::NotModified)
            fetched({}, got.etag.isEmpty() ? etag_ : got.etag,
                    got.lastModified.isEmpty() ? lastModified_ : got.lastModified, false);
        else if (got.ok())
            fetched(got.body, got.etag, got.lastModified, true);
        else {
            error_ = got.error.isEmpty() ? QStringLiteral("HTTP %1").arg(got.status) : got.error;
            fetched({}, {}, {}, false);
        }
    });
}

void ServerDirectory::fetched(const QByteArray& body, const QByteArray& etag,
                              const QByteArray& lastModified, bool changed) {
    // Unchanged: a 304 (no body, validators given). Changed: a new body to read.
    bool current = !changed && body.isNull() && !(etag.isEmpty() && lastModified.isEmpty());
    if (changed) {
        QString error;
        if (std::optional<Bootstrap> parsed = Bootstrap::parse(body, &error)) {
            held_ = std::move(parsed);
            saveDirectoryFile(file(), body);
            current = true;
        } else {
            error_ = QStringLiteral("the directory does not read: %1").arg(error);
        }
    }
    if (current) {
        etag_ = etag;
        lastModified_ = lastModified;
    }
    // A failed fetch with a copy held keeps the copy for another day rather than asking again
    // at every lookup.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (held_)
        saveValidators(now);
    else
        lastFailure_ = now;
    fetching_ = false;
    const QList<std::function<void()>> waiting = std::exchange(waiting_, {});
    for (const auto& then : waiting)
        then();
}

void ServerDirectory::saveValidators(const QDateTime& now) {
    checked_ = now;
    const QJsonObject saved{{"etag", QString::fromLatin1(etag_)},
                            {"lastModified", QString::fromLatin1(lastModified_)},
                            {"checked", now.toString(Qt::ISODate)}};
    saveDirectoryFile(validatorsFile(), QJsonDocument(saved).toJson(QJsonDocument::Compact));
}

} // namespace sites::rdap
