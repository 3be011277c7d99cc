// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/lookupservice.h"

#include "net/httpclient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>
#include <memory>

namespace sites::rdap {
namespace {

constexpr qint64 DirectoryMaxAgeSecs = 24 * 3600;
// Without a directory at all, a failed fetch is tried again sooner than a day.
constexpr qint64 RetryWithoutDirectorySecs = 15 * 60;
constexpr qint64 AnswerMaxAgeSecs = 3600;

QString directoryFile(const Settings& settings) {
    return settings.dataDir + QStringLiteral("/rdap-dns.json");
}
QString validatorsFile(const Settings& settings) {
    return settings.dataDir + QStringLiteral("/rdap-dns.validators.json");
}

bool saveFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

bool validLabel(QStringView label) {
    if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
        return false;
    for (QChar c : label)
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-'))
            return false;
    return true;
}

} // namespace

std::optional<StoredAnswer> MemoryAnswerCache::find(const QString& aceName,
                                                    const QDateTime& notBefore) {
    const auto found = answers_.constFind(aceName);
    if (found == answers_.constEnd() || found->fetched < notBefore)
        return std::nullopt;
    return *found;
}

void MemoryAnswerCache::keep(const QString& aceName, const StoredAnswer& answer) {
    if (const auto old = answers_.constFind(aceName); old != answers_.constEnd()) {
        auto [first, last] = byAge_.equal_range(old->fetched);
        for (auto it = first; it != last; ++it)
            if (it->second == aceName) {
                byAge_.erase(it);
                break;
            }
    }
    answers_.insert(aceName, answer);
    byAge_.emplace(answer.fetched, aceName);
    while (answers_.size() > capacity_ && !byAge_.empty()) {
        answers_.remove(byAge_.begin()->second);
        byAge_.erase(byAge_.begin());
    }
}

std::optional<QString> aceName(const QString& name) {
    QString wanted = name.trimmed().toLower();
    if (wanted.endsWith(u'.'))
        wanted.chop(1);
    if (wanted.isEmpty() || wanted.size() > 253)
        return std::nullopt;
    const QString ace = QString::fromLatin1(QUrl::toAce(wanted))
                            .toLower();
    if (ace.isEmpty() || ace.size() > 253)
        return std::nullopt;
    const QList<QStringView> labels = QStringView(ace).split(u'.');
    if (labels.size() < 2)
        return std::nullopt;
    for (QStringView label : labels)
        if (!validLabel(label))
            return std::nullopt;
    bool digitsOnly = true;
    for (QChar c : labels.last())
        digitsOnly = digitsOnly && c.isDigit();
    if (digitsOnly)
        return std::nullopt; // an address, not a name
    return ace;
}

LookupService::LookupService(Settings settings, AnswerCache* cache, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), cache_(cache),
      client_(new net::HttpClient(this)) {
    client_->setMinInterval(settings_.interval);
}

LookupService::~LookupService() = default;

void LookupService::loadDirectory() {
    loaded_ = true;
    QFile file(directoryFile(settings_));
    if (!file.open(QIODevice::ReadOnly))
        return;
    directory_ = Bootstrap::parse(file.readAll());
    QFile validators(validatorsFile(settings_));
    if (!directory_ || !validators.open(QIODevice::ReadOnly))
        return;
    const QJsonObject saved = QJsonDocument::fromJson(validators.readAll()).object();
    etag_ = saved.value(u"etag").toString().toLatin1();
    lastModified_ = saved.value(u"lastModified").toString().toLatin1();
    checked_ = QDateTime::fromString(saved.value(u"checked").toString(), Qt::ISODate);
}

void LookupService::withDirectory(std::function<void()> then) {
    if (!loaded_)
        loadDirectory();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool fresh = directory_ && checked_.isValid() && checked_.secsTo(now) < DirectoryMaxAgeSecs &&
                       checked_ <= now;
    const bool failedLately = !directory_ && lastFailure_.isValid() &&
                              lastFailure_.secsTo(now) < RetryWithoutDirectorySecs;
    if (fresh || failedLately) {
        then();
        return;
    }
    waitingForDirectory_.append(std::move(then));
    if (fetching_)
        return;
    fetching_ = true;
    net::Fetch fetch;
    fetch.url = settings_.bootstrap;
    fetch.headers = {{"Accept", "application/json"}};
    if (directory_) { // only a copy held may be confirmed as current
        fetch.etag = etag_;
        fetch.lastModified = lastModified_;
    }
    fetch.maxBodyBytes = 4 << 20;
    client_->start(fetch, [this](const net::Fetched& got) {
        if (got.outcome == net::Fetched::Outcome::NotModified)
            directoryFetched({}, got.etag.isEmpty() ? etag_ : got.etag,
                             got.lastModified.isEmpty() ? lastModified_ : got.lastModified, false);
        else if (got.ok())
            directoryFetched(got.body, got.etag, got.lastModified, true);
        else {
            directoryError_ = got.error.isEmpty() ? QStringLiteral("HTTP %1").arg(got.status)
                                                  : got.error;
            directoryFetched({}, {}, {}, false);
        }
    });
}

void LookupService::directoryFetched(const QByteArray& body, const QByteArray& etag,
                                     const QByteArray& lastModified, bool changed) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Unchanged: a 304 (no body, validators given). Changed: a new body to read.
    bool current = !changed && body.isNull() && !(etag.isEmpty() && lastModified.isEmpty());
    if (changed) {
        QString error;
        if (std::optional<Bootstrap> parsed = Bootstrap::parse(body, &error)) {
            directory_ = std::move(parsed);
            saveFile(directoryFile(settings_), body);
            current = true;
        } else {
            directoryError_ = QStringLiteral("the directory does not read: %1").arg(error);
        }
    }
    if (current) {
        etag_ = etag;
        lastModified_ = lastModified;
    }
    // A failed fetch with a copy held keeps the copy for another day rather than asking again
    // at every lookup.
    if (directory_) {
        checked_ = now;
        const QJsonObject saved{{"etag", QString::fromLatin1(etag_)},
                                {"lastModified", QString::fromLatin1(lastModified_)},
                                {"checked", now.toString(Qt::ISODate)}};
        saveFile(validatorsFile(settings_), QJsonDocument(saved).toJson(QJsonDocument::Compact));
    } else {
        lastFailure_ = now;
    }
    fetching_ = false;
    const QList<std::function<void()>> waiting = std::exchange(waitingForDirectory_, {});
    for (const auto& then : waiting)
        then();
}

Result LookupService::fromStored(const StoredAnswer& stored) const {
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
        done(fromStored(*stored));
        return;
    }
    auto& waiting = pending_[*ace];
    waiting.append(std::move(done));
    if (waiting.size() == 1) // one request however many ask for the name at once
        ask(*ace);
}

void LookupService::ask(const QString& ace) {
    withDirectory([this, ace] {
        if (!directory_) {
            finish(ace, {Result::Kind::NoDirectory, {},
                         QStringLiteral("no directory of RDAP servers: %1").arg(directoryError_)});
            return;
        }
        const QUrl base = directory_->serverFor(ace);
        if (base.isEmpty()) {
            finish(ace, {Result::Kind::NoService, {}, QStringLiteral("no RDAP server for this suffix")});
            return;
        }
        net::Fetch fetch;
        fetch.url = base.resolved(QUrl(QStringLiteral("domain/") + ace));
        fetch.headers = {{"Accept", "application/rdap+json, application/json"}};
        fetch.maxBodyBytes = 1 << 20;
        auto answered = [this, ace](const net::Fetched& got) {
            StoredAnswer stored{got.status, got.body, QDateTime::currentDateTimeUtc()};
            if (got.ok() || (got.outcome == net::Fetched::Outcome::HttpError && got.status == 404)) {
                if (!got.ok())
                    stored = {404, {}, stored.fetched};
                const Result result = fromStored(stored);
                if (result.kind != Result::Kind::Failed)
                    cache_->keep(ace, stored);
                finish(ace, result);
            } else if (got.status == 429) {
                finish(ace, {Result::Kind::RateLimited, {},
                             QStringLiteral("the RDAP server asks to wait %1 s")
                                 .arg(got.retryAfterSeconds)});
            } else {
                finish(ace, {Result::Kind::Failed, {},
                             got.error.isEmpty() ? QStringLiteral("HTTP %1").arg(got.status)
                                                 : got.error});
            }
        };
        const qint64 wait = pace_ ? pace_(fetch.url.host()) : 0;
        if (wait > 0)
            QTimer::singleShot(std::chrono::milliseconds(wait), this,
                               [this, fetch, answered] { client_->start(fetch, answered); });
        else
            client_->start(fetch, answered);
    });
}

void LookupService::finish(const QString& ace, const Result& result) {
    const QList<std::function<void(const Result&)>> waiting = pending_.take(ace);
    for (const auto& done : waiting)
        done(result);
}

namespace {

QString unavailable(const Result& result) {
    switch (result.kind) {
    case Result::Kind::BadName:
        return QStringLiteral("无法查询：不是有效的域名");
    case Result::Kind::NoService:
        return QStringLiteral("无法查询：该后缀没有 RDAP 查询服务");
    case Result::Kind::NoDirectory:
        return QStringLiteral("无法查询：取不到 RDAP 服务器目录");
    case Result::Kind::RateLimited:
        return QStringLiteral("无法查询：RDAP 服务器限流，请稍后再查");
    default:
        return QStringLiteral("无法查询：RDAP 服务器出错");
    }
}

} // namespace

LookupFacts factsOf(const Result& result, std::optional<ListedDay> listed, QDate today) {
    LookupFacts facts;
    const std::optional<QDate> zoneDay =
        listed && listed->approximate ? std::optional<QDate>(listed->day) : std::nullopt;
    auto estimate = [&facts](std::optional<QDate> day, bool fromZone) {
        facts.deleted = day;
        facts.deletedApproximate = day.has_value();
        facts.estimatedFromZone = day.has_value() && fromZone;
    };
    bool dropping = false;
    if (result.kind == Result::Kind::Registered) {
        const DomainAnswer& answer = result.answer;
        if (answer.registered)
            facts.registered = answer.registered->date();
        if (answer.expires)
            facts.expires = answer.expires->date();
        if (answer.status.contains(u"redemption period"))
            facts.status = QStringLiteral("赎回期");
        else if (answer.status.contains(u"pending delete"))
            facts.status = QStringLiteral("待删除");
        else
            facts.status = QStringLiteral("已注册");
        dropping = facts.status != u"已注册";
        // The registry's own status stands over a zone's estimate; its dated last change
        // gives the closer day.
        if (dropping) {
            const std::optional<QDate> counted = estimatedDeletion(answer);
            estimate(counted ? counted : zoneDay, !counted);
        } else if (zoneDay) {
            facts.note = QStringLiteral("区域文件推算的删除日期 %1 不成立：注册局显示该域名仍在注册中")
                             .arg(zoneDay->toString(Qt::ISODate));
        }
    } else if (result.kind == Result::Kind::NotRegistered) {
        facts.status = QStringLiteral("未注册");
        // Gone from the registry: deleted, on about the estimated day if that has come.
        if (zoneDay && *zoneDay <= today) {
            facts.status = QStringLiteral("已删除");
            estimate(zoneDay, true);
        }
    } else {
        facts.status = unavailable(result);
        facts.note = result.detail;
        if (zoneDay) {
            facts.status = *zoneDay < today ? QStringLiteral("已删除") : QStringLiteral("待删除");
            estimate(zoneDay, true);
        }
    }
    // A registry's own list names the day itself: it stands over any estimate. Only a name
    // registered again after its listed day has gone by is shown as registered.
    if (listed && !listed->approximate) {
        facts.deleted = listed->day;
        facts.deletedApproximate = facts.estimatedFromZone = false;
        facts.note.clear();
        if (listed->day >= today)
            facts.status = QStringLiteral("待删除");
        else if (result.kind != Result::Kind::Registered || dropping)
            facts.status = QStringLiteral("已删除");
    }
    return facts;
}

void answerLookup(LookupService& service,
                  const std::function<QList<ListedDay>(const QString&)>& listedDays,
                  const QString& name, const QDateTime& now, int deadlineMs,
                  std::function<void(const Reply&)> reply) {
    const QString wanted = name.trimmed().toLower();
    const std::optional<ListedDay> listed =
        listedDays ? shownDay(listedDays(wanted), now.date()) : std::nullopt;
    auto page = [wanted, now](const LookupFacts& facts) {
        return Reply{200, "text/html; charset=utf-8", lookupFactsPage(wanted, facts, now).toUtf8()};
    };
    // Whichever comes first, the answer or the deadline, writes the page.
    auto once = std::make_shared<std::function<void(const Reply&)>>(std::move(reply));
    auto timer = std::make_shared<QTimer>();
    timer->setSingleShot(true);
    QObject::connect(timer.get(), &QTimer::timeout, [once, page, listed, now] {
        if (!*once)
            return;
        Result late{Result::Kind::Failed, {}, QStringLiteral("the RDAP server has not answered yet")};
        LookupFacts facts = factsOf(late, listed, now.date());
        if (facts.status.startsWith(u"无法查询"))
            facts.status = QStringLiteral("无法查询：RDAP 服务器未及时回应，请稍后再查");
        std::exchange(*once, nullptr)(page(facts));
    });
    timer->start(deadlineMs);
    service.lookup(wanted, [once, timer, page, listed, now](const Result& result) {
        timer->stop();
        if (*once)
            std::exchange(*once, nullptr)(page(factsOf(result, listed, now.date())));
    });
}

} // namespace sites::rdap
