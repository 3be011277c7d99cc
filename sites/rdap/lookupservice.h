// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/answer.h"
#include "rdap/answercache.h"
#include "rdap/bootstrap.h"
#include "rdap/rdapsettings.h"
#include "sitescore/namesource.h"
#include "sitescore/pages.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <map>
#include <optional>

namespace sites::net {
class HttpClient;
}

namespace sites::rdap {

// The cache in memory, for a run; the oldest answers go first past `capacity`.
class MemoryAnswerCache : public AnswerCache {
public:
    explicit MemoryAnswerCache(int capacity = 20000) : capacity_(capacity) {}
    std::optional<StoredAnswer> find(const QString& aceName, const QDateTime& notBefore) override;
    void keep(const QString& aceName, const StoredAnswer& answer) override;

private:
    int capacity_;
    QHash<QString, StoredAnswer> answers_;
    std::multimap<QDateTime, QString> byAge_;
};

struct Result {
    enum class Kind {
        Registered,    // `answer` holds what the registry says
        NotRegistered, // the server answered 404
        BadName,       // not a domain name
        NoService,     // no RDAP server for its suffix
        NoDirectory,   // the directory of servers could not be had
        RateLimited,   // 429, still after the wait and the one retry
        Failed,        // no answer, or one that does not read
    };
    Kind kind = Kind::Failed;
    DomainAnswer answer;
    QString detail; // one line for people
};

// The name as it goes on the wire: lower case, A-labels, no final dot. None for anything that
// is not a domain name of two labels or more.
std::optional<QString> aceName(const QString& name);

// Looks names up at their registries' RDAP servers: finds the server in IANA's directory (kept
// in the data directory, checked at most once a day with a conditional GET), asks it
// politely, keeps the answers for an hour.
class LookupService : public QObject {
public:
    LookupService(Settings settings, AnswerCache* cache, QObject* parent = nullptr);
    ~LookupService() override;

    // `done` is called once, from the event loop or, for a cached answer, at once. `fresh`
    // asks the registry even when an answer of the last hour is kept.
    void lookup(const QString& name, std::function<void(const Result&)> done, bool fresh = false);
    // Asked before each request to an RDAP server (its host): the milliseconds to wait first,
    // so that several processes keep to one server's pace between them.
    void setPace(std::function<qint64(const QString& host)> pace) { pace_ = std::move(pace); }

private:
    void withDirectory(std::function<void()> then);
    void loadDirectory();
    void directoryFetched(const QByteArray& body, const QByteArray& etag,
                          const QByteArray& lastModified, bool changed);
    void ask(const QString& ace);
    void finish(const QString& ace, const Result& result);
    Result fromStored(const StoredAnswer& stored) const;

    Settings settings_;
    AnswerCache* cache_;
    net::HttpClient* client_;
    std::optional<Bootstrap> directory_;
    QByteArray etag_, lastModified_;
    QDateTime checked_;      // the last time the directory was fetched or found unchanged
    QDateTime lastFailure_;  // the last fetch that brought no directory, while none is held
    QString directoryError_;
    bool loaded_ = false;
    bool fetching_ = false;
    QList<std::function<void()>> waitingForDirectory_;
    QHash<QString, QList<std::function<void(const Result&)>>> pending_;
    std::function<qint64(const QString&)> pace_;
};

// The lookup page for `name`: what RDAP says, with the day of a deletion list that holds it
// (of `listedDays`: a registry's own list exact, a zone's estimate approximate). Answers with
// blank fields and the reason when RDAP has not answered within `deadlineMs`, so the window
// never waits in silence.
void answerLookup(LookupService& service,
                  const std::function<QList<ListedDay>(const QString&)>& listedDays,
                  const QString& name, const QDateTime& now, int deadlineMs,
                  std::function<void(const Reply&)> reply);

// The page's values for what RDAP said and the day a list gives the name, if one does. A
// registry's own list gives the day, exact; RDAP gives the status over a zone's estimate, and
// its own estimate of the day before the zone's.
LookupFacts factsOf(const Result& result, std::optional<ListedDay> listed, QDate today);

} // namespace sites::rdap
