// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/answer.h"
#include "rdap/answercache.h"
#include "rdap/directory.h"
#include "rdap/rdapsettings.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <optional>

namespace sites::net {
class HttpClient;
struct Fetched;
}

namespace sites::rdap {

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
    void ask(const QString& ace);
    void send(const QString& ace, const QUrl& server);
    void answered(const QString& ace, const net::Fetched& got);
    void finish(const QString& ace, const Result& result);

    AnswerCache* cache_;
    net::HttpClient* client_;
    ServerDirectory directory_;
    QHash<QString, QList<std::function<void(const Result&)>>> pending_;
    std::function<qint64(const QString&)> pace_;
};

} // namespace sites::rdap
