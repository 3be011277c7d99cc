// SPDX-License-Identifier: GPL-3.0-or-later
#include "czds.h"

#include "names/domainname.h"
#include "net/httpclient.h"
#include "settings/settingsfile.h"
#include "zoneimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sites::zones {

namespace {

constexpr int tokenHours = 23; // CZDS tokens last about 24 hours

QString fetchError(const sites::net::Fetched& fetched, const QString& what) {
    if (fetched.outcome == sites::net::Fetched::Outcome::HttpError)
        return QStringLiteral("%1: HTTP %2").arg(what).arg(fetched.status);
    return QStringLiteral("%1: %2").arg(what, fetched.error);
}

// Written where no one else can read it, even for a moment.
bool writePrivate(const QString& path, const QByteArray& bytes) {
    const QString temp = path + QStringLiteral(".tmp");
    const QByteArray name = QFile::encodeName(temp);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, 0600) == 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(name.constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temp);
        return false;
    }
    return true;
}

} // namespace

CzdsSettings readCzdsSettings(const settings::SettingsFile& file) {
    CzdsSettings s;
    s.username = file.text("czds", "username");
    s.passwordFile = file.text("czds", "password_file");
    s.authUrl = file.secretAddress("czds", "auth_url", s.authUrl);
    s.linksUrl = file.secretAddress("czds", "links_url", s.linksUrl);
    s.zones = file.list("czds", "zones", validZoneName, s.zones, "top-level domains such as com,net");
    return s;
}

bool validZoneName(const QString& zone) {
    return sites::names::isLdhLabel(zone);
}

std::optional<QString> readPasswordFile(const QString& path, QString* error) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        *error = QStringLiteral("cannot read the CZDS password file %1").arg(path);
        return std::nullopt;
    }
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        *error = QStringLiteral("the CZDS password file %1 may be read by others (mode %2); "
                                "make it the owner's only: chmod 600 %1")
                     .arg(path)
                     .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the CZDS password file %1").arg(path);
        return std::nullopt;
    }
    const QString password = QString::fromUtf8(file.readLine(4096)).remove(u'\n').remove(u'\r');
    if (password.isEmpty()) {
        *error = QStringLiteral("the CZDS password file %1 is empty").arg(path);
        return std::nullopt;
    }
    return password;
}

CzdsClient::CzdsClient(sites::net::HttpClient& http, CzdsSettings settings, QString dataDir)
    : http_(http), settings_(std::move(settings)), dataDir_(std::move(dataDir)) {}

QString CzdsClient::tokenFile() const { return dataDir_ + QStringLiteral("/czds/token.json"); }

QString CzdsClient::stampFile(const QString& zone) const {
    return zoneDir(dataDir_, zone) + QStringLiteral("/downloaded");
}

QString CzdsClient::zoneOfLink(const QUrl& link) {
    const QString file = link.path().section(u'/', -1);
    return file.endsWith(QStringLiteral(".zone")) ? file.chopped(5).toLower() : QString();
}

// The token of an earlier sign-in by the same user, while it is young enough; empty: none.
QByteArray CzdsClient::heldToken() const {
    QFile held(tokenFile());
    if (!held.open(QIODevice::ReadOnly))
        return {};
    const QJsonObject o = QJsonDocument::fromJson(held.read(1 << 16)).object();
    const QDateTime when =
        QDateTime::fromString(o.value(QStringLiteral("obtained")).toString(), Qt::ISODate);
    if (!when.isValid() || when.secsTo(QDateTime::currentDateTimeUtc()) >= tokenHours * 3600 ||
        o.value(QStringLiteral("user")).toString() != settings_.username)
        return {};
    return o.value(QStringLiteral("accessToken")).toString().toUtf8();
}

bool CzdsClient::keepToken() {
    QDir().mkpath(dataDir_ + QStringLiteral("/czds"));
    const QJsonObject o{
        {QStringLiteral("user"), settings_.username},
        {QStringLiteral("obtained"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("accessToken"), QString::fromUtf8(token_)}};
    return writePrivate(tokenFile(), QJsonDocument(o).toJson());
}

bool CzdsClient::signIn(QString* error) {
    if (token_.isEmpty())
        token_ = heldToken();
    if (!token_.isEmpty())
        return true;
    if (!sites::net::keepsSecrets(settings_.authUrl)) {
        *error = QStringLiteral("[czds] auth_url must be an https address");
        return false;
    }
    const std::optional<QString> password = readPasswordFile(settings_.passwordFile, error);
    if (!password)
        return false;
    sites::net::Fetch fetch;
    fetch.url = settings_.authUrl;
    fetch.maxRedirects = 0; // the password goes to auth_url itself or nowhere
    fetch.method = "POST";
    fetch.headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}};
    fetch.body = QJsonDocument(QJsonObject{{QStringLiteral("username"), settings_.username},
                                           {QStringLiteral("password"), *password}})
                     .toJson(QJsonDocument::Compact);
    const sites::net::Fetched got = http_.run(fetch);
    if (got.status >= 300 && got.status < 400) {
        *error = QStringLiteral("CZDS sign-in: auth_url answers with a redirect (HTTP %1); the password "
                                "is not sent on. Set [czds] auth_url to the sign-in address itself")
                     .arg(got.status);
        return false;
    }
    if (got.outcome == sites::net::Fetched::Outcome::HttpError && (got.status == 401 || got.status == 403)) {
        *error = QStringLiteral("CZDS refused the user name or password (HTTP %1)").arg(got.status);
        return false;
    }
    if (!got.ok()) {
        *error = fetchError(got, QStringLiteral("CZDS sign-in"));
        return false;
    }
    token_ = QJsonDocument::fromJson(got.body).object().value(QStringLiteral("accessToken")).toString().toUtf8();
    if (token_.isEmpty()) {
        *error = QStringLiteral("CZDS sign-in: no token in the answer");
        return false;
    }
    if (!keepToken()) {
        *error = QStringLiteral("cannot write %1").arg(tokenFile());
        return false;
    }
    return true;
}

std::optional<QList<QUrl>> CzdsClient::links(QString* error) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!signIn(error))
            return std::nullopt;
        sites::net::Fetch fetch;
        fetch.url = settings_.linksUrl;
        fetch.headers = {{"Authorization", bearer()}, {"Accept", "application/json"}};
        const sites::net::Fetched got = http_.run(fetch);
        if (got.outcome == sites::net::Fetched::Outcome::HttpError && got.status == 401 && attempt == 0) {
            token_.clear(); // expired early: sign in again, once
            QFile::remove(tokenFile());
            continue;
        }
        if (!got.ok()) {
            *error = fetchError(got, QStringLiteral("CZDS zone list"));
            return std::nullopt;
        }
        const QJsonDocument doc = QJsonDocument::fromJson(got.body);
        if (!doc.isArray()) {
            *error = QStringLiteral("CZDS zone list: not a JSON array");
            return std::nullopt;
        }
        QList<QUrl> wanted;
        for (const QJsonValue& v : doc.array()) {
            const QUrl url(v.toString());
            if (!url.isValid() || !settings_.zones.contains(zoneOfLink(url)))
                continue;
            // The token goes with each download: only to the zone list's own origin, encrypted.
            if (!sites::net::keepsSecrets(url) || url.scheme() != settings_.linksUrl.scheme() ||
                url.host().compare(settings_.linksUrl.host(), Qt::CaseInsensitive) != 0 ||
                url.port() != settings_.linksUrl.port()) {
                *error = QStringLiteral("CZDS zone list: the link for %1 is not an https address of the "
                                        "links_url host; the token is not sent there")
                             .arg(zoneOfLink(url));
                return std::nullopt;
            }
            wanted << url;
        }
        return wanted;
    }
    *error = QStringLiteral("CZDS zone list: HTTP 401 after a new sign-in");
    return std::nullopt;
}

namespace {

// The stamp of a zone's last download: when it began, the file's Last-Modified and its day.
struct Stamp {
    QDateTime started;
    QByteArray lastModified;
    QDate day;
};

Stamp readStamp(const QString& path) {
    Stamp stamp;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return stamp;
    const QByteArray bytes = file.read(1 << 16);
    const QJsonObject o = QJsonDocument::fromJson(bytes).object();
    if (o.isEmpty()) { // the one-line stamp of earlier versions
        stamp.started = QDateTime::fromString(QString::fromLatin1(bytes).trimmed(), Qt::ISODate);
        return stamp;
    }
    stamp.started = QDateTime::fromString(o.value(QStringLiteral("started")).toString(), Qt::ISODate);
    stamp.lastModified = o.value(QStringLiteral("lastModified")).toString().toLatin1();
    stamp.day = QDate::fromString(o.value(QStringLiteral("day")).toString(), Qt::ISODate);
    return stamp;
}

bool writeStamp(const QString& path, const Stamp& stamp) {
    const QJsonObject o{{QStringLiteral("started"), stamp.started.toUTC().toString(Qt::ISODate)},
                        {QStringLiteral("lastModified"), QString::fromLatin1(stamp.lastModified)},
                        {QStringLiteral("day"), stamp.day.isValid() ? QJsonValue(stamp.day.toString(Qt::ISODate)) : QJsonValue()}};
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(o).toJson()) >= 0 && file.commit();
}

} // namespace

QString CzdsClient::downloadFile(const QString& zone) const {
    return zoneDir(dataDir_, zone) + QStringLiteral("/") + zone + QStringLiteral(".zone.gz");
}

CzdsClient::Download CzdsClient::kept(const QString& zone) const {
    Download result;
    result.zone = zone;
    if (!QFileInfo::exists(downloadFile(zone)))
        return result;
    const Stamp stamp = readStamp(stampFile(zone));
    result.file = downloadFile(zone);
    result.day = stamp.day;
    result.lastStart = stamp.started;
    return result;
}

CzdsClient::Download CzdsClient::download(const QUrl& link,
                                          const std::function<void(qint64, qint64)>& progress) {
    Download result;
    result.zone = zoneOfLink(link);
    QDir().mkpath(zoneDir(dataDir_, result.zone));
    const Stamp last = readStamp(stampFile(result.zone));
    result.lastStart = last.started;
    const QDateTime started = QDateTime::currentDateTimeUtc();
    if (last.started.isValid() && last.started.secsTo(started) < hoursBetweenDownloads * 3600) {
        result.tooSoon = true;
        return result;
    }
    sites::net::Fetch fetch;
    fetch.url = link;
    fetch.lastModified = last.lastModified;
    // An interrupted download leaves only the .part file, which the next one starts over.
    fetch.saveTo = downloadFile(result.zone);
    fetch.totalTimeoutMs = 0;
    fetch.idleTimeoutMs = 120'000;
    fetch.progress = progress;
    sites::net::Fetched got;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString error;
        if (!signIn(&error)) {
            result.error = error;
            return result;
        }
        fetch.headers = {{"Authorization", bearer()}};
        got = http_.run(fetch);
        if (got.outcome != sites::net::Fetched::Outcome::HttpError || got.status != 401)
            break;
        token_.clear(); // expired early: sign in again, once
        QFile::remove(tokenFile());
    }
    if (got.outcome == sites::net::Fetched::Outcome::NotModified) {
        result.unchanged = true;
        return result;
    }
    if (!got.ok()) {
        result.error = fetchError(got, QStringLiteral("CZDS download of %1").arg(result.zone));
        return result;
    }
    // The file's day is its own: a zone fetched after midnight UTC is still the day before's.
    const QDateTime modified = sites::net::httpDate(got.lastModified);
    const Stamp stamp{started, got.lastModified, modified.isValid() ? modified.date() : QDate()};
    if (!writeStamp(stampFile(result.zone), stamp)) {
        result.error = QStringLiteral("cannot write %1").arg(stampFile(result.zone));
        return result;
    }
    result.file = fetch.saveTo;
    result.day = stamp.day;
    return result;
}

} // namespace sites::zones
