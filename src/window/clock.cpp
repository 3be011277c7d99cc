// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/clock.h"

namespace window {

QString timeFormatWithSeconds(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::ShortFormat);
    // Quoted literals may hold letters; only the unquoted ones are fields.
    bool quoted = false;
    qsizetype minutesStart = -1;
    qsizetype minutesEnd = -1;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            quoted = !quoted;
        } else if (!quoted && c == u's') {
            return format;
        } else if (!quoted && c == u'm') {
            if (minutesEnd != i)
                minutesStart = i;
            minutesEnd = i + 1;
        }
    }
    if (minutesEnd < 0) // no minutes either: the long form always has seconds
        return locale.timeFormat(QLocale::LongFormat);
    // Seconds follow the minutes with the separator that precedes the minutes ("H.mm.ss").
    const QChar before = minutesStart > 0 ? format.at(minutesStart - 1) : QChar(u':');
    const QChar separator = before.isLetter() || before == u'\'' ? QChar(u':') : before;
    format.insert(minutesEnd, separator + QStringLiteral("ss"));
    return format;
}

QString clockText(const QDateTime& now, const QLocale& locale, const QString& supportContact) {
    return QStringLiteral("当前时间:  ") + locale.toString(now.date(), QLocale::ShortFormat) +
           u' ' + locale.toString(now.time(), timeFormatWithSeconds(locale)) +
           QStringLiteral("  软件问题：") + supportContact;
}

} // namespace window
