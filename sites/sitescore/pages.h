// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVarLengthArray>
#include <optional>

#include "sitescore/namesource.h"

// Every page of the three sites, built from the request alone: no state, no server.
namespace sites {

inline constexpr int NamesPerPage = 100;

// A request's query as sent, percent-encoded: each item is decoded only when a page asks for
// it, as most pages read four or five of them.
class Query {
public:
    Query() = default;
    explicit Query(QString encoded);
    // The first item named `key`, fully decoded; empty when there is none.
    QString value(QLatin1StringView key) const;
    const QString& encoded() const { return encoded_; }

private:
    QString encoded_;
    struct Item {
        qsizetype name, equals, end; // where its name starts, its '=' (or end), its end
    };
    QVarLengthArray<Item, 8> items_;
};

struct Request {
    QString path; // decoded, "/deleteddate.php"
    Query query;
    QString host;  // the Host header as sent, "127.0.0.1:8613"; the list links are built on it
    QDateTime now; // the local clock; the pages carry it into 2011
    QString versionLine = QStringLiteral("8.8");
    // For benchmarks: when 0 or more, every cell of the generated names holds this many.
    int cellSize = -1;
    // The stored lists; null, or a store that holds nothing yet: the generated names, marked.
    const NameSource* source = nullptr;
};

struct Reply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
};

// The page for any request: 404 for paths no site has, a page for everything else.
Reply respond(const Request& request);

// The pieces of respond(), for tests and benchmarks. `today` is a 2011 day (siteToday).
QString homePage(QDate today, bool generated = false);
// The pages of a day, a cell and a name, from `source`'s names (see GeneratedNames for the
// generated ones) for the day `date` stands for on its calendar.
QString daySummaryPage(const QString& date, const NameSource& source, QDate realToday = {});
// `base` is the listing's base URL, ending in "/"; the other arguments are the query values
// as sent, checked here.
QString listPage(const QString& base, const QString& date, const QString& kind, const QString& page,
                 const QString& suffix, const QString& length, const NameSource& source,
                 QDate realToday = {});
// The same as the UTF-8 the server sends.
QByteArray listPageUtf8(const QString& base, const QString& date, const QString& kind,
                        const QString& page, const QString& suffix, const QString& length,
                        const NameSource& source, QDate realToday = {});
// `today` and `now` on the source's clock.
QString whoisPage(const QString& domain, QDate today, const NameSource& source);
QString lookupPage(const QString& domain, const QDateTime& now, const NameSource& source);
// What the lookup page shows of a name looked up at its registry. An empty value leaves its
// field blank; `status` is the hidden field the command line shows, and says why when nothing
// else could be filled.
struct LookupFacts {
    QString status;
    std::optional<QDate> registered;
    std::optional<QDate> expires;
    std::optional<QDate> deleted;
    bool deletedApproximate = false; // estimated, not a day a registry named
    bool estimatedFromZone = false;  // the estimate is a zone file's, not RDAP's
    QString note; // for people: what went wrong, shown under the fields
};
// The lookup page, in the form lookupPage() prints, for `facts`; `now` on the real calendar.
QString lookupFactsPage(const QString& domain, const LookupFacts& facts, const QDateTime& now);
// The table of the lists `source` reads follows, where it reads any.
QString makerPage(const QString& versionLine, const NameSource& source);
// [{"source","url","lastAttempt","lastSuccess","status","names","error","generated"}]: the
// source's rows, a "generated" row first while generated names are served.
QByteArray sourcesJson(const NameSource& source);
// {"date","counts":{suffix:{length:count}},"approximate","nodata","generated"}: every served
// or stored suffix and the grid's seven, null where no list serves them or no fetch covers the
// day (those also under "nodata"); nullopt for a date that is not one. `date` is a real day;
// "date" is that day on the source's calendar.
std::optional<QByteArray> countsJson(const QString& date, const NameSource& source,
                                     QDate realToday);
// [{"key":"-2","site","date"}...]: the six days the home page links and the real days they are.
QByteArray daysJson(QDate realToday);
// [{"list","day","names","approximate"}]: every (list, day) the source holds or covers.
QByteArray storedJson(const NameSource& source);
// The version line and CR LF, in GB2312.
QByteArray versionFile(const QString& versionLine);

// "N天 H小时" from `now2011` until the start of `day`; "0天 0小时" once it has come.
QString countdown(const QDateTime& now2011, QDate day);

} // namespace sites
