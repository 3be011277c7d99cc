// SPDX-License-Identifier: GPL-3.0-or-later
#include "czds.h"

#include "net/httpclient.h"
#include "zoneimport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>
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

CzdsSettings readCzdsSettings(const QString& configFile) {
    CzdsSettings s;
    if (configFile.isEmpty() || !QFileInfo::exists(configFile))
        return s;
    QSettings ini(configFile, QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("czds"));
    s.username = ini.value(QStringLiteral("username")).toString().trimmed();
    s.passwordFile = ini.value(QStringLiteral("password_file")).toString().trimmed();
    if (const QString url = ini.value(QStringLiteral("auth_url")).toString(); !url.isEmpty())
        s.authUrl = QUrl(url);
    if (const QString url = ini.value(QStringLiteral("links_url")).toString(); !url.isEmpty())
        s.linksUrl = QUrl(url);
    // QSettings reads "com,net" as a list, "com" as a string.
    const QVariant zones = ini.value(QStringLiteral("zones"));
    if (zones.isValid()) {
        QStringList list = zones.toStringList();
        if (list.size() == 1)
            list = list.first().split(u',');
        s.zones.clear();
        for (const QString& z : list)
            if (const QString t = z.trimmed().toLower(); !t.isEmpty())
                s.zones << t;
    }
    return s;
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

bool CzdsClient::signIn(QString* error) {
    if (!token_.isEmpty())
        return true;
    QFile held(tokenFile());
    if (held.open(QIODevice::ReadOnly)) {
        const QJsonObject o = QJsonDocument::fromJson(held.read(1 << 16)).object();
        const QDateTime when = QDateTime::fromString(o.value(QStringLiteral("obtained")).toString(), Qt::ISODate);
        if (when.isValid() && when.secsTo(QDateTime::currentDateTimeUtc()) < tokenHours * 3600 &&
            o.value(QStringLiteral("user")).toString() == settings_.username) {
            token_ = o.value(QStringLiteral("accessToken")).toString().toUtf8();
            if (!token_.isEmpty())
                return true;
        }
    }
    const std::optional<QString> password = readPasswordFile(settings_.passwordFile, error);
    if (!password)
        return false;
    sites::net::Fetch fetch;
    fetch.url = settings_.authUrl;
    fetch.method = "POST";
    fetch.headers = {{"Content-Type", "application/json"}, {"Accept", "application/json"}};
    fetch.body = QJsonDocument(QJsonObject{{QStringLiteral("username"), settings_.username},
                                           {QStringLiteral("password"), *password}})
                     .toJson(QJsonDocument::Compact);
    const sites::net::Fetched got = http_.run(fetch);
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
    QDir().mkpath(dataDir_ + QStringLiteral("/czds"));
    const QJsonObject o{{QStringLiteral("user"), settings_.username},
                        {QStringLiteral("obtained"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                        {QStringLiteral("accessToken"), QString::fromUtf8(token_)}};
    if (!writePrivate(tokenFile(), QJsonDocument(o).toJson())) {
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
            if (url.isValid() && settings_.zones.contains(zoneOfLink(url)))
                wanted << url;
        }
        return wanted;
    }
    *error = QStringLiteral("CZDS zone list: HTTP 401 after a new sign-in");
    return std::nullopt;
}

CzdsClient::Download CzdsClient::download(const QUrl& link,
                                          const std::function<void(qint64, qint64)>& progress) {
    Download result;
    result.zone = zoneOfLink(link);
    const QString dir = zoneDir(dataDir_, result.zone);
    QDir().mkpath(dir);
    QFile stamp(stampFile(result.zone));
    if (stamp.open(QIODevice::ReadOnly)) {
        const QDateTime last = QDateTime::fromString(QString::fromLatin1(stamp.readAll()).trimmed(), Qt::ISODate);
        if (last.isValid() && last.secsTo(QDateTime::currentDateTimeUtc()) < hoursBetweenDownloads * 3600) {
            result.tooSoon = true;
            return result;
        }
        stamp.close();
    }
    sites::net::Fetch fetch;
    fetch.url = link;
    fetch.headers = {{"Authorization", bearer()}};
    // An interrupted download leaves only the .part file, which the next one starts over.
    fetch.saveTo = dir + QStringLiteral("/") + result.zone + QStringLiteral(".zone.gz");
    fetch.totalTimeoutMs = 0;
    fetch.idleTimeoutMs = 120'000;
    fetch.progress = progress;
    const sites::net::Fetched got = http_.run(fetch);
    if (!got.ok()) {
        result.error = fetchError(got, QStringLiteral("CZDS download of %1").arg(result.zone));
        return result;
    }
    QSaveFile done(stampFile(result.zone));
    if (done.open(QIODevice::WriteOnly)) {
        done.write(QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1());
        done.commit();
    }
    result.file = fetch.saveTo;
    return result;
}

} // namespace sites::zones
