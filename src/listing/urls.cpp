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
    return suffixIndex >= 6 ? QStringLiteral("&t=cn&page=") : QStringLiteral("&t=inter&page=");
}

QString tail(int suffixIndex, int length) {
    return QStringLiteral("&tld=") + suffix(suffixIndex) + QStringLiteral("&length=") +
           QString::number(length);
}

QString daySummaryUrl(const QString& base, const QString& slotDate) {
    return base + QStringLiteral("deleteddate.php?date=") + slotDate;
}

QString listPageUrl(const QString& base, const QString& date, int suffixIndex, int length,
                    int page) {
    return base + QStringLiteral("deleteddomain.php?date=") + date + kindSegment(suffixIndex) +
           QString::number(page) + tail(suffixIndex, length);
}

QString linkMarker(const QString& base) {
    return QStringLiteral("href=") + base + QStringLiteral("whois.php?domain=");
}

} // namespace listing
