// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace window {

// The clock line for one moment: "当前时间:  ", the date in the locale's short date format,
// a blank, the time with seconds in the locale's time format, "  软件问题：" and the contact.
QString clockText(const QDateTime& now, const QLocale& locale, const QString& supportContact);

// The locale's short time format with seconds added where it has none ("HH:mm" gives
// "HH:mm:ss", "h:mm AP" gives "h:mm:ss AP").
QString timeFormatWithSeconds(const QLocale& locale);

} // namespace window
