// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitescore/generatednames.h"

#include "sitescore/names.h"

namespace sites {

QDateTime GeneratedNames::clock(const QDateTime& now) const {
    return QDateTime(siteToday(now.date()), now.time());
}

std::optional<QDate> GeneratedNames::dayOf(QStringView date, QDate) const {
    const std::optional<QDate> day = parseDate(date);
    return day && hasData(*day) ? day : std::nullopt;
}

QDate GeneratedNames::realDay(QDate day, QDate realToday) const {
    return realToday.isValid() ? realToday.addDays(siteToday(realToday).daysTo(day)) : day;
}

QDate GeneratedNames::dayOfReal(QDate realDay, QDate realToday) const {
    return siteToday(realToday).addDays(realToday.daysTo(realDay));
}

int GeneratedNames::shortestLabel() const {
    return MinLength;
}

int GeneratedNames::longestLabel() const {
    return MaxLength;
}

std::optional<NameRecord> GeneratedNames::record(const QString& name) const {
    const std::optional<Listing> listing = findListing(name);
    if (!listing)
        return std::nullopt;
    const Record r = sites::record(*listing);
    return NameRecord{r.registered, r.expires};
}

bool GeneratedNames::serves(const QString& suffix) const {
    return suffixIndexOf(suffix) != 0;
}

QMap<QString, QMap<int, qint64>> GeneratedNames::counts(QDate day) const {
    QMap<QString, QMap<int, qint64>> out;
    for (int s = 1; s <= SuffixCount; ++s) {
        QMap<int, qint64>& byLength = out[suffixName(s)];
        for (int length = MinLength; length <= MaxLength; ++length)
            byLength.insert(length, cellSize_ >= 0 ? cellSize_ : nameCount(day, s, length));
    }
    return out;
}

qint64 GeneratedNames::count(QDate day, const QString& suffix, int length) const {
    const int s = suffixIndexOf(suffix);
    if (cellSize_ >= 0)
        return s != 0 && length >= MinLength && length <= MaxLength ? cellSize_ : 0;
    return nameCount(day, s, length);
}

QStringList GeneratedNames::names(QDate day, const QString& suffix, int length, qint64 offset,
                                  int limit) const {
    const int s = suffixIndexOf(suffix);
    const qint64 end = qMin(offset + limit, count(day, suffix, length));
    QStringList out;
    out.reserve(qMax<qint64>(0, end - offset));
    for (qint64 i = offset; i < end; ++i)
        out.append(cellName(day, s, length, i));
    return out;
}

QList<ListedDay> GeneratedNames::findName(const QString& name) const {
    const std::optional<Listing> listing = findListing(name);
    if (!listing)
        return {};
    return {ListedDay{sites::record(*listing).deleted, false}};
}

QList<SourceRow> GeneratedNames::sourceRows() const {
    qint64 names = 0;
    for (const QDate& day : siteDays(siteToday(realToday_)))
        for (int s = 1; s <= SuffixCount; ++s)
            for (int length = MinLength; length <= MaxLength; ++length)
                names += nameCount(day, s, length);
    SourceRow row;
    row.source = QStringLiteral("generated");
    row.status = QStringLiteral("ok");
    row.names = names;
    row.generated = true;
    QList<SourceRow> rows{row};
    if (lists_)
        rows += lists_->sourceRows();
    return rows;
}

} // namespace sites
