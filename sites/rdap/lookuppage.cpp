// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/lookuppage.h"

#include "rdap/lookupservice.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <utility>

namespace sites::rdap {
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

void estimate(LookupFacts& facts, std::optional<QDate> day, bool fromZone) {
    facts.deleted = day;
    facts.deletedApproximate = day.has_value();
    facts.estimatedFromZone = day.has_value() && fromZone;
}

// A registered name: its dates and status; whether it is on its way out.
bool registeredFacts(LookupFacts& facts, const DomainAnswer& answer, std::optional<QDate> zoneDay) {
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
    const bool dropping = facts.status != u"已注册";
    // The registry's own status stands over a zone's estimate; its dated last change gives the
    // closer day.
    if (dropping) {
        const std::optional<QDate> counted = estimatedDeletion(answer);
        estimate(facts, counted ? counted : zoneDay, !counted);
    } else if (zoneDay) {
        facts.note = QStringLiteral("区域文件推算的删除日期 %1 不成立：注册局显示该域名仍在注册中")
                         .arg(zoneDay->toString(Qt::ISODate));
    }
    return dropping;
}

} // namespace

LookupFacts factsOf(const Result& result, std::optional<ListedDay> listed, QDate today) {
    LookupFacts facts;
    const std::optional<QDate> zoneDay =
        listed && listed->approximate ? std::optional<QDate>(listed->day) : std::nullopt;
    bool dropping = false;
    if (result.kind == Result::Kind::Registered) {
        dropping = registeredFacts(facts, result.answer, zoneDay);
    } else if (result.kind == Result::Kind::NotRegistered) {
        facts.status = QStringLiteral("未注册");
        // Gone from the registry: deleted, on about the estimated day if that has come.
        if (zoneDay && *zoneDay <= today) {
            facts.status = QStringLiteral("已删除");
            estimate(facts, zoneDay, true);
        }
    } else {
        facts.status = unavailable(result);
        facts.note = result.detail;
        if (zoneDay) {
            facts.status = *zoneDay < today ? QStringLiteral("已删除") : QStringLiteral("待删除");
            estimate(facts, zoneDay, true);
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
