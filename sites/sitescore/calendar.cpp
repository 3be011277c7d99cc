// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitescore/calendar.h"

namespace sites {

QDate siteToday(QDate real) {
    if (!real.isValid())
        return {};
    const int day = (real.month() == 2 && real.day() == 29) ? 28 : real.day();
    return QDate(SiteYear, real.month(), day);
}

QList<QDate> siteDays(QDate today) {
    QList<QDate> days;
    for (int offset = -2; offset <= 3; ++offset)
        days.append(today.addDays(offset));
    return days;
}

QString formatDate(QDate day) {
    return day.toString(QStringLiteral("yyyy-MM-dd"));
}

std::optional<QDate> parseDate(QStringView text) {
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (i != 4 && i != 7 && !(text[i] >= u'0' && text[i] <= u'9'))
            return std::nullopt;
    const QDate day(text.first(4).toInt(), text.sliced(5, 2).toInt(), text.sliced(8, 2).toInt());
    if (!day.isValid())
        return std::nullopt;
    return day;
}

std::optional<QDate> realDayOf(QStringView text, QDate realToday) {
    const std::optional<QDate> day = parseDate(text);
    if (!day || day->year() < SiteYear - 1 || day->year() > SiteYear + 1)
        return day;
    return realToday.addDays(siteToday(realToday).daysTo(*day));
}

} // namespace sites
