// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/settingsfile.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

// Which lists lumo-sites reads and from where: the built-in addresses, or those of the INI
// file (sections [cnnic], [se], [top]; other sections are left to the code that reads them).
namespace sites::store {

enum class ListFormat { Cnnic, Swedish, Top };

struct ListSource {
    QString id;   // "cnnic-today": one file
    QString list; // "cnnic": the registry list its names are filed under
    QUrl url;
    ListFormat format = ListFormat::Cnnic;
    int dayOffset = 0;  // CNNIC: the file's day, counted from today
    QString suffix;     // Swedish: ".se" or ".nu"
};

// The registry's own today at `now`, whatever the machine's zone: a China Standard Time day for
// CNNIC and .top, a Swedish one for .se and .nu.
QDate registryToday(ListFormat format, const QDateTime& now);

// The six files, with the addresses the file sets; the built-in one for each it does not set
// or sets to something other than an http(s) address.
QList<ListSource> readSources(const settings::SettingsFile& file);

// [fetch] interval_ms=: the least time between two requests to one host, 0 to 60000; 1000
// when missing or out of range.
int fetchIntervalMs(const settings::SettingsFile& file);

} // namespace sites::store
