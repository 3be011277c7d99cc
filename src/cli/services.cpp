// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/services.h"

#include "cli/interrupt.h"
#include "cli/output.h"
#include "listing/startup.h"
#include "listing/urls.h"

#include <QDate>

namespace cli {
namespace {

// The buttons left to right, each with the place of its date among the slot texts that the
// home page gives (Text3, Text2, Text4, Text5, Text6, Text1) and its charset.
struct Button {
    const char* key;
    const char16_t* caption;
    int slot;
    const char* charset;
};
constexpr Button buttons[] = {
    {"-2", u"二天前", 0, "UTF-8"},      {"-1", u"一天前", 1, "gb2312"},
    {"today", u"今天删除", 5, "UTF-8"}, {"+1", u"一天后", 2, "gb2312"},
    {"+2", u"二天后", 3, "gb2312"},     {"+3", u"三天后", 4, "gb2312"},
};

} // namespace

QString dayKeys() {
    QStringList keys;
    for (const Button& b : buttons)
        keys << QString::fromLatin1(b.key);
    return keys.join(QStringLiteral(", "));
}

Services::Services(QString listingUrl, QString lookupUrl)
    : listing_(std::move(listingUrl)), lookup_(std::move(lookupUrl)) {
    // The listing's pages are found under its base with its own "/"; the lookup's path
    // brings its own.
    if (!listing_.endsWith(u'/'))
        listing_ += u'/';
    while (lookup_.endsWith(u'/'))
        lookup_.chop(1);
}

void Services::fail(const QString& url, const QString& what) {
    complain(url + QStringLiteral("：") + what);
    exitCode_ = ServiceFailed;
}

std::optional<QString> Services::fetch(const QString& url, const QString& charset,
                                       bool absentIsEmpty) {
    if (!interrupt::requested()) {
        const Module1::Page page = Module1::Fetch(url, charset, &interrupt::lane());
        if (!interrupt::requested()) {
            if (page.failure == Module1::Failure::None)
                return page.text;
            if (absentIsEmpty && page.failure == Module1::Failure::ErrorStatus &&
                page.status == 404)
                return QString();
            fail(url, Module1::describe(page));
            return std::nullopt;
        }
    }
    exitCode_ = Interrupted;
    return std::nullopt;
}

std::optional<QList<Day>> Services::days(bool withReal) {
    const std::optional<QString> page = fetch(listing_, QStringLiteral("UTF-8"));
    if (!page)
        return std::nullopt;
    const listing::StartupDates dates = listing::parseStartupDates(*page);
    if (!dates.complete()) {
        fail(listing_, QStringLiteral("页面里没有六天的日期"));
        return std::nullopt;
    }
    QList<Day> days;
    for (const Button& b : buttons)
        days.append({QString::fromLatin1(b.key), QString::fromUtf16(b.caption),
                     dates.slotTexts.at(b.slot), QString::fromLatin1(b.charset)});
    if (!withReal)
        return days;
    const QString url = listing_ + QStringLiteral("lumo/days.json");
    const std::optional<QString> answer = fetch(url, QStringLiteral("UTF-8"), true);
    if (!answer)
        return std::nullopt;
    const QByteArray body = answer->toUtf8();
    if (!listing::looksLikeJson(body))
        return days; // an older service: the site dates alone
    const std::optional<QList<listing::DayDates>> real = listing::parseDays(body);
    if (!real) {
        fail(url, QStringLiteral("回答不是六天的日期表"));
        return std::nullopt;
    }
    for (Day& day : days)
        for (const listing::DayDates& r : *real)
            if (r.key == day.key || r.site == day.date)
                day.real = r.date;
    return days;
}

std::optional<QList<listing::StoredDay>> Services::stored() {
    const QString url = listing_ + QStringLiteral("lumo/stored.json");
    const std::optional<QString> answer = fetch(url, QStringLiteral("UTF-8"), true);
    if (!answer)
        return std::nullopt;
    const QByteArray body = answer->toUtf8();
    if (!listing::looksLikeJson(body)) {
        fail(url, QStringLiteral("这个服务没有存下的日期表"));
        return std::nullopt;
    }
    std::optional<QList<listing::StoredDay>> stored = listing::parseStored(body);
    if (!stored)
        fail(url, QStringLiteral("回答不是存下的日期表"));
    return stored;
}

std::optional<Day> Services::day(const QString& choice) {
    // The six print their dates in 2011; any other date is a real one, left to the service.
    const QDate real = QDate::fromString(choice, Qt::ISODate);
    if (choice.size() == 10 && real.isValid() && real.year() != 2011)
        return Day{QString(), QString(), choice, QStringLiteral("UTF-8")};
    const std::optional<QList<Day>> all = days();
    if (!all)
        return std::nullopt;
    for (const Day& d : *all)
        if (d.key == choice || d.date == choice)
            return d;
    QStringList dates;
    for (const Day& d : *all)
        dates << d.date;
    complain(QStringLiteral("没有这一天：%1；可选 %2、%3 或 YYYY-MM-DD 形式的实际日期")
                 .arg(choice, dayKeys(), dates.join(QStringLiteral(", "))));
    exitCode_ = Usage;
    return std::nullopt;
}

std::optional<listing::DaySummary> Services::summary(const Day& day) {
    const QString url = listing::daySummaryUrl(listing_, day.date);
    const std::optional<QString> page = fetch(url, day.charset);
    if (!page)
        return std::nullopt;
    listing::DaySummary summary = listing::parseDaySummary(*page);
    bool complete = summary.printedDate.has_value();
    for (const auto& row : summary.counts)
        for (const auto& count : row)
            complete = complete && count.has_value();
    if (!complete) {
        fail(url, QStringLiteral("页面里没有日期和各项数量"));
        return std::nullopt;
    }
    return summary;
}

std::optional<lookup::LookupPage> Services::lookup(const QString& name) {
    const QString url = lookup_ + QStringLiteral("/DomainDel/?wd=") + name;
    const std::optional<QString> page = fetch(url, QStringLiteral("UTF-8"));
    if (!page)
        return std::nullopt;
    lookup::LookupPage values = lookup::parseLookupPage(*page);
    bool any = !values.countdown.isEmpty();
    for (const QString& field : values.fields)
        any = any || !field.isEmpty();
    if (!any) {
        fail(url, QStringLiteral("页面里没有查询结果"));
        return std::nullopt;
    }
    return values;
}

} // namespace cli
