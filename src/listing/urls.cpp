// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/urls.h"

namespace listing {

QString suffix(int suffixIndex) {
    static const char* const suffixes[] = {".com", ".net", ".org",   ".info",
                                           ".biz", ".cn",  ".com.cn"};
    if (suffixIndex < 1 || suffixIndex > 7)
        return {};
    return QString::fromLatin1(suffixes[suffixIndex - 1]);
}

QString kindSegment(int suffixIndex) {
    return kindSegment(suffix(suffixIndex));
}

QString kindSegment(const QString& suffix) {
    return suffix.endsWith(QLatin1String(".cn")) ? QStringLiteral("&t=cn&page=")
                                                 : QStringLiteral("&t=inter&page=");
}

QString daySummaryUrl(const QString& base, const QString& slotDate) {
    return base + QStringLiteral("deleteddate.php?date=") + slotDate;
}

QString listPageUrl(const QString& base, const QString& date, int suffixIndex, int length,
                    int page) {
    return listPageUrl(base, date, suffix(suffixIndex), length, page);
}

QString listPageUrl(const QString& base, const QString& date, const QString& suffix, int length,
                    int page) {
    return base + QStringLiteral("deleteddomain.php?date=") + date + kindSegment(suffix) +
           QString::number(page) + QStringLiteral("&tld=") + suffix + QStringLiteral("&length=") +
           QString::number(length);
}

QString linkMarker(const QString& base) {
    return QStringLiteral("href=") + base + QStringLiteral("whois.php?domain=");
}

} // namespace listing
