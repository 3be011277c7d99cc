// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

namespace sites::net {
class HttpClient;
}

// ICANN's Centralized Zone Data Service: sign in, list the zones granted, download each
// zone's daily file. A download is streamed to disk; the password and the token stay out of
// every log line, address and error text.
namespace sites::zones {

struct CzdsSettings {
    QString username;
    QString passwordFile;
    QUrl authUrl{QStringLiteral("https://account-api.icann.org/api/authenticate")};
    QUrl linksUrl{QStringLiteral("https://czds-api.icann.org/czds/downloads/links")};
    QStringList zones{QStringLiteral("com"), QStringLiteral("net"), QStringLiteral("org"),
                      QStringLiteral("info"), QStringLiteral("biz")};
    // A setting that cannot be used, named without its value; empty when all are fine.
    QString problem;

    bool configured() const { return !username.isEmpty() && !passwordFile.isEmpty(); }
};

// The [czds] section: username= password_file= auth_url= links_url= zones=com,net,...
// auth_url and links_url must be https (plain http only to this machine).
CzdsSettings readCzdsSettings(const QString& configFile);

// A top-level domain's name as --zone and zones= take it: com, xn--p1ai.
bool validZoneName(const QString& zone);

// The password file's first line. Refused when anyone but its owner may read or write it.
std::optional<QString> readPasswordFile(const QString& path, QString* error);

// CZDS allows one download of a zone per 24 hours, counted from the start of the last one.
constexpr int hoursBetweenDownloads = 24;

class CzdsClient {
public:
    CzdsClient(sites::net::HttpClient& http, CzdsSettings settings, QString dataDir);

    // A token held from an earlier sign-in (younger than 23 hours), or a new one.
    bool signIn(QString* error);
    // The zones' download addresses, of those configured.
    std::optional<QList<QUrl>> links(QString* error);

    struct Download {
        QString zone;
        QString file; // the whole gzip file, downloaded now or kept from a refused import
        QDate day;    // the file's own day (its Last-Modified); invalid: the SOA serial's
        QDateTime lastStart; // when the last download of the zone began
        bool tooSoon = false;   // the last download began under 24 hours ago
        bool unchanged = false; // the file is the one downloaded last (HTTP 304)
        QString error;
    };
    // The zone's file when it is due and changed. Asks with If-Modified-Since, so an unchanged
    // file is not sent again; a 401 signs in once more.
    Download download(const QUrl& link, const std::function<void(qint64, qint64)>& progress);
    // A download kept because its import was refused, to be imported again; none: no file.
    Download kept(const QString& zone) const;

    static QString zoneOfLink(const QUrl& link);
    QString tokenFile() const;

private:
    QByteArray bearer() const { return "Bearer " + token_; }
    QByteArray heldToken() const;
    bool keepToken();
    QString stampFile(const QString& zone) const;
    QString downloadFile(const QString& zone) const;

    sites::net::HttpClient& http_;
    CzdsSettings settings_;
    QString dataDir_;
    QByteArray token_;
};

} // namespace sites::zones
