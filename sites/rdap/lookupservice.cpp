// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/lookupservice.h"

#include "names/domainname.h"
#include "net/httpclient.h"

#include <QFileInfo>
#include <QTimer>

namespace sites::rdap {
namespace {

constexpr qint64 AnswerMaxAgeSecs = 3600;

Result storedResult(const StoredAnswer& stored) {
    Result result;
    if (stored.status == 404) {
        result.kind = Result::Kind::NotRegistered;
        return result;
    }
    ParsedAnswer parsed = parseDomainAnswer(stored.body);
    if (!parsed.answer) {
        result.detail = QStringLiteral("the RDAP answer does not read: %1").arg(parsed.error);
        return result;
    }
    result.kind = Result::Kind::Registered;
    result.answer = *parsed.answer;
    return result;
}

} // namespace

std::optional<QString> aceName(const QString& name) {
    const QString ace = names::aceName(name);
    if (ace.isEmpty() || names::endsInNumber(ace))
        return std::nullopt;
    return ace;
}

LookupService::LookupService(Settings settings, AnswerCache* cache, QObject* parent)
    : QObject(parent), cache_(cache), client_(new net::HttpClient(this)),
      directory_(settings.bootstrap, settings.dataDir, *client_) {
    client_->setMinInterval(settings.interval);
}

LookupService::~LookupService() = default;

void LookupService::lookup(const QString& name, std::function<void(const Result&)> done,
                           bool fresh) {
    const std::optional<QString> ace = aceName(name);
    if (!ace) {
        done({Result::Kind::BadName, {}, QStringLiteral("not a domain name")});
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (std::optional<StoredAnswer> stored =
            fresh ? std::nullopt : cache_->find(*ace, now.addSecs(-AnswerMaxAgeSecs))) {
        done(storedResult(*stored));
        return;
    }
    auto& waiting = pending_[*ace];
    waiting.append(std::move(done));
    if (waiting.size() == 1) // one request however many ask for the name at once
        ask(*ace);
}

void LookupService::ask(const QString& ace) {
    directory_.whenReady([this, ace] {
        const Bootstrap* servers = directory_.servers();
        if (!servers) {
            finish(ace, {Result::Kind::NoDirectory, {},
                         QStringLiteral("no directory of RDAP servers: %1").arg(directory_.error())});
            return;
        }
        const QUrl base = servers->serverFor(ace);
        if (base.isEmpty()) {
            finish(ace, {Result::Kind::NoService, {}, QStringLiteral("no RDAP server for this suffix")});
            return;
        }
        send(ace, base);
    });
}

void LookupService::send(const QString& ace, const QUrl& server) {
    net::Fetch fetch;
    fetch.url = server.resolved(QUrl(QStringLiteral("domain/") + ace));
    fetch.headers = {{"Accept", "application/rdap+json, application/json"}};
    fetch.maxBodyBytes = 1 << 20;
    auto then = [this, ace](const net::Fetched& got) { answered(ace, got); };
    const qint64 wait = pace_ ? pace_(fetch.url.host()) : 0;
    if (wait > 0)
        QTimer::singleShot(std::chrono::milliseconds(wait), this,
                           [this, fetch, then] { client_->start(fetch, then); });
    else
        client_->start(fetch, then);
}

void LookupService::answered(const QString& ace, const net::Fetched& got) {
    StoredAnswer stored{got.status, got.body, QDateTime::currentDateTimeUtc()};
    if (got.ok() || (got.outcome == net::Fetched::Outcome::HttpError && got.status == 404)) {
        if (!got.ok())
            stored = {404, {}, stored.fetched};
        const Result result = storedResult(stored);
        if (result.kind != Result::Kind::Failed)
            cache_->keep(ace, stored);
        finish(ace, result);
    } else if (got.status == 429) {
        finish(ace, {Result::Kind::RateLimited, {},
                     QStringLiteral("the RDAP server asks to wait %1 s").arg(got.retryAfterSeconds)});
    } else {
        finish(ace, {Result::Kind::Failed, {},
                     got.error.isEmpty() ? QStringLiteral("HTTP %1").arg(got.status) : got.error});
    }
}

void LookupService::finish(const QString& ace, const Result& result) {
    const QList<std::function<void(const Result&)>> waiting = pending_.take(ace);
    for (const auto& done : waiting)
        done(result);
}

} // namespace sites::rdap
