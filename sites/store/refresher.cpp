// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/refresher.h"

#include "net/httpclient.h"
#include "sources/droplists.h"
#include "store/store.h"

#include <QCryptographicHash>
#include <QTimeZone>

#include <algorithm>

namespace sites::store {

Refresher::Refresher(Store& store, QList<ListSource> sources, QDate fixedToday, QObject* parent)
    : QObject(parent), store_(store), sources_(std::move(sources)), fixedToday_(fixedToday),
      client_(new net::HttpClient(this)) {
    QList<SourceState> states;
    for (const ListSource& source : sources_)
        states.append({source.id, source.list, source.url.toString()});
    store_.declare(states);
}

Refresher::~Refresher() = default;

QDate Refresher::today(const ListSource& source) const {
    return fixedToday_.isValid() ? fixedToday_
                                 : registryToday(source.format, QDateTime::currentDateTimeUtc());
}

void Refresher::setFetchInterval(int milliseconds) {
    client_->setMinInterval(std::chrono::milliseconds(milliseconds));
}

void Refresher::start() {
    if (running())
        return;
    results_.clear();
    pending_ = int(sources_.size());
    for (const ListSource& source : sources_) {
        net::Fetch fetch;
        fetch.url = source.url;
        const Store::Validators held = store_.validators(source.id);
        fetch.etag = held.etag;
        fetch.lastModified = held.lastModified;
        client_->start(fetch, [this, source](const net::Fetched& got) {
            switch (got.outcome) {
            case net::Fetched::Outcome::Ok:
                file(source, got.body, got.etag, got.lastModified);
                return;
            case net::Fetched::Outcome::NotModified:
                done({source.id, QStringLiteral("unchanged"), store_.lastNames(source.id), {}});
                return;
            case net::Fetched::Outcome::HttpError:
                done({source.id, QStringLiteral("failed"), 0,
                      got.error.isEmpty() ? QStringLiteral("HTTP %1").arg(got.status) : got.error});
                return;
            case net::Fetched::Outcome::Failed:
                done({source.id, QStringLiteral("failed"), 0, got.error});
                return;
            }
        });
    }
}

void Refresher::file(const ListSource& source, const QByteArray& body, const QByteArray& etag,
                     const QByteArray& lastModified) {
    const QDate today = this->today(source);
    const QByteArray hash = QCryptographicHash::hash(body, QCryptographicHash::Sha256);
    if (source.format == ListFormat::Cnnic) {
        // The same bytes as the list filed from this file for another day: CNNIC has not
        // replaced it yet, so the new day keeps what it has and the next fetch tries again.
        const Store::Filed before = store_.filed(source.id);
        if (before.hash == hash && before.day.isValid() &&
            before.day != today.addDays(source.dayOffset)) {
            RefreshResult result{source.id, QStringLiteral("unchanged"),
                                 store_.lastNames(source.id), {}};
            result.note = QStringLiteral("still the list of %1").arg(before.day.toString(Qt::ISODate));
            done(result);
            return;
        }
    }
    sources::ParsedList parsed;
    switch (source.format) {
    case ListFormat::Cnnic:
        parsed = sources::parseCnnic(body, today.addDays(source.dayOffset));
        break;
    case ListFormat::Swedish:
        parsed = sources::parseSwedish(body, source.suffix);
        break;
    case ListFormat::Top:
        parsed = sources::parseTop(body);
        break;
    }
    QString refused = parsed.error;
    if (refused.isEmpty())
        refused = sources::refuseShrunk(parsed.names.size(), store_.lastNames(source.id));
    if (!refused.isEmpty()) {
        done({source.id, QStringLiteral("failed"), 0, QStringLiteral("refused: ") + refused});
        return;
    }
    const QList<ListedName>& rows = parsed.names;
    const QDateTime now = fixedToday_.isValid()
                              ? QDateTime(fixedToday_, QTime::currentTime(), Qt::UTC)
                              : QDateTime::currentDateTimeUtc();
    QString error;
    if (!store_.replaceDays(source.list, rows, today, now, &error)) {
        done({source.id, QStringLiteral("failed"), 0, QStringLiteral("store: ") + error});
        return;
    }
    store_.recordFiled(source.id, hash, rows.first().day);
    RefreshResult result{source.id, QStringLiteral("ok"), qint64(rows.size()), {}};
    store_.recordFetch(source.id, QDateTime::currentDateTimeUtc(), result.status, result.names,
                       {}, etag, lastModified);
    finishOne(result);
}

void Refresher::finishOne(const RefreshResult& result) {
    results_.append(result);
    if (--pending_ > 0)
        return;
    // In the order of the sources, however the answers came.
    auto rank = [this](const RefreshResult& r) {
        for (qsizetype i = 0; i < sources_.size(); ++i)
            if (sources_[i].id == r.source)
                return i;
        return sources_.size();
    };
    std::stable_sort(results_.begin(), results_.end(),
                     [&](const RefreshResult& a, const RefreshResult& b) { return rank(a) < rank(b); });
    emit finished(results_);
}

void Refresher::done(RefreshResult result) {
    store_.recordFetch(result.source, QDateTime::currentDateTimeUtc(), result.status,
                       result.names, result.error);
    finishOne(result);
}

QString Refresher::line(const RefreshResult& result) {
    if (result.status == u"failed")
        return QStringLiteral("%1: failed: %2").arg(result.source, result.error);
    QString line =
        QStringLiteral("%1: %2, %3 names").arg(result.source, result.status).arg(result.names);
    if (!result.note.isEmpty())
        line += QStringLiteral(" (%1)").arg(result.note);
    return line;
}

} // namespace sites::store
