// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>

// The listing's data: how many names of each suffix and length are deleted on a day, and
// the names themselves, a mix like a real drop list's: digits (many in repeated shapes such as
// 1122 or 1212), pinyin of one to three syllables, letters, and letters with digits or a
// hyphen, with more pinyin and digits under .cn and .com.cn. Only small tables are kept: name
// i of a cell is computed from (day, suffix, length, i) by keyed permutations of each kind's
// labels, so names never repeat (not within a day, not across days) and a name leads back to
// its day and index.
namespace sites {

inline constexpr int SuffixCount = 7; // suffix index 1 .com ... 7 .com.cn
inline constexpr int MinLength = 3;
inline constexpr int MaxLength = 7;

// ".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn" for 1 ... 7; empty otherwise.
QString suffixName(int suffixIndex);
// 1 ... 7 for a suffix written exactly as above; 0 for anything else.
int suffixIndexOf(QStringView suffix);
// The list kind of the suffix: "cn" for .cn and .com.cn, "inter" for the other five.
QString suffixKind(int suffixIndex);

// Whether the listing knows `day` at all: the days around 2011, from 2010-12-01 to 2012-01-05.
bool hasData(QDate day);
// How many names of the cell are deleted on `day`; 0 for a day without data or a bad cell.
int nameCount(QDate day, int suffixIndex, int length);
// Name `index` (from 0, below nameCount) of the cell, suffix included: "k3x9a.com".
QString domainName(QDate day, int suffixIndex, int length, int index);
// The same without regard to the day's count, for the server's forced cell size: past the
// day's room the names run on into the following days' names (and wrap round the label
// space), so only the names below nameCount are the day's own.
QString cellName(QDate day, int suffixIndex, int length, qint64 index);

struct Listing {
    QDate day;
    int suffixIndex = 0;
    int length = 0;
    int index = 0;
};
// Where the listing holds `domain` (lower or upper case, no blanks around it), if it does.
std::optional<Listing> findListing(QStringView domain);

struct Record {
    QDate registered;
    QDate expires;
    QDate deleted; // the day the name is listed under
};
Record record(const Listing& listing);

} // namespace sites
