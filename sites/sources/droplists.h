// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/listedname.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QTime>

// The registries' own deletion lists, read from the bytes they publish. Pure functions: no
// network, no store, no clock.
//
// Text is read as UTF-8 when it has a UTF-8 (or UTF-16) byte order mark or is valid UTF-8,
// and as GBK (code page 936) otherwise. A list is refused outright when it holds no names or
// is markup, and when more of its lines (entries, rows) are not names than the tolerance:
// five, or one in a hundred of them, whichever is more. A name listed twice is kept once.
namespace sites::sources {

// The parsers' name for what they give.
using DropName = sites::ListedName;

struct ParsedList {
    QList<DropName> names;
    QString error;   // empty: the bytes are a list; otherwise one English line saying why they are refused
    int skipped = 0; // lines that were not domain names, tolerated up to maxSkipped()
};

// CNNIC's plain lists, one name a line, maybe in "[" "]"; every name is deleted on `day`, the
// day that file is for. Names under .cn and CNNIC's .中国, .公司 and .网络 only.
ParsedList parseCnnic(const QByteArray& bytes, QDate day);
// The Swedish Internet Foundation's JSON, {"data":[{"name":..,"release_at":..}]}, for ".se"
// or ".nu". A name's day is the date release_at starts with (yyyy-MM-dd), the registry's day
// of release; the time after it only says when in that day (04:00 UTC) it is released.
ParsedList parseSwedish(const QByteArray& bytes, const QString& suffix);
// nic.top's CSV: a header row, then rows of the name and its deletion time "YYYY/MM/DD HH:MM";
// the day is the date written there. Further columns are ignored.
ParsedList parseTop(const QByteArray& bytes);

// The registry suffix of a name ("abc.com.cn" -> ".com.cn", "abc.cn" -> ".cn", "x.bj.cn" -> ".bj.cn"), empty when none known.
QString registrySuffix(QStringView name);
// Every suffix registrySuffix() knows, with its dot: the .cn family, .se, .nu, .top, and the
// grid's .com, .net, .org, .info and .biz.
QStringList registrySuffixes();
// `raw` as a DropName's name: lower case, Unicode form, no trailing dot; empty when it is not a
// domain name (LDH labels, or an IDN that encodes and decodes cleanly). Any suffix passes.
QString normalizedName(QStringView raw);

// How many lines that are not names a list of `lines` non-blank lines may hold.
int maxSkipped(qsizetype lines);

// The sanity gate against a source's previous good list: empty when `now` may replace it, else one English line why not.
// Refused: an empty list, and a list under a tenth of a previous one of at least 100 names.
QString refuseShrunk(qsizetype now, qsizetype before);

} // namespace sites::sources
