// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitescore/names.h"

#include <array>
#include <cmath>

namespace sites {
namespace {

constexpr std::array<const char16_t*, SuffixCount + 1> Suffixes = {
    u"", u".com", u".net", u".org", u".info", u".biz", u".cn", u".com.cn"};

// Mean counts per suffix (rows, index 1 ... 7) and length (columns, 3 ... 7), shaped after
// the drop lists of the time: .com far ahead, long names by the thousand, short ones rare.
constexpr double MeanCount[SuffixCount + 1][MaxLength - MinLength + 1] = {
    {0, 0, 0, 0, 0},           {3.0, 60, 900, 2200, 2600}, {1.0, 12, 180, 420, 500},
    {0.8, 9, 140, 330, 380},   {0.5, 5, 70, 180, 210},     {0.4, 3, 35, 80, 90},
    {2.0, 30, 400, 900, 1000}, {0.6, 10, 120, 260, 300}};

// Room per day in a cell's index space; no count reaches it.
constexpr qint64 cellRoom(int length) {
    return length == 3 ? 64 : length == 4 ? 1024 : 8192;
}

// Days with data, counted from the first.
const QDate& firstDay() {
    static const QDate day(2010, 12, 1);
    return day;
}
constexpr qint64 DaysWithData = 401;

constexpr char16_t Edge[] = u"abcdefghijklmnopqrstuvwxyz0123456789";   // 36, no hyphen
constexpr char16_t Inner[] = u"abcdefghijklmnopqrstuvwxyz0123456789-"; // 37

// A hyphen may stand inside a label but not at either end, nor at the fourth place of a
// longer label: "ab--c" reads as a reserved ACE prefix.
bool hyphenAllowed(int position, int length) {
    return position > 0 && position < length - 1 && !(position == 3 && length >= 5);
}
qint64 radix(int position, int length) {
    return hyphenAllowed(position, length) ? 37 : 36;
}

qint64 labelSpace(int length) {
    qint64 size = 1;
    for (int p = 0; p < length; ++p)
        size *= radix(p, length);
    return size;
}

quint64 mix(quint64 x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

quint64 hashOf(std::initializer_list<quint64> parts) {
    quint64 h = 0x6c756d6f2d73ull;
    for (quint64 p : parts)
        h = mix(h ^ p);
    return h;
}

double unit(quint64 h) {
    return double(h >> 11) * (1.0 / 9007199254740992.0);
}

// A permutation of [0, size): a balanced Feistel network on the smallest even number of bits
// that covers size, walked until it lands inside the range again.
class Shuffle {
public:
    Shuffle(qint64 size, quint64 key) : size_(quint64(size)), key_(key) {
        int bits = 2;
        while ((quint64(1) << bits) < size_)
            bits += 2;
        half_ = bits / 2;
        mask_ = (quint64(1) << half_) - 1;
    }
    quint64 forward(quint64 x) const {
        quint64 y = encrypt(x);
        while (y >= size_) // cycle-walk back into the label space
            y = encrypt(y);
        return y;
    }
    quint64 backward(quint64 x) const {
        quint64 y = decrypt(x);
        while (y >= size_)
            y = decrypt(y);
        return y;
    }

private:
    static constexpr int Rounds = 6;
    quint64 round(int r, quint64 half) const {
        return mix(key_ ^ (quint64(r) << 56) ^ half) & mask_;
    }
    quint64 encrypt(quint64 x) const {
        quint64 left = x >> half_, right = x & mask_;
        for (int r = 0; r < Rounds; ++r) {
            const quint64 next = left ^ round(r, right);
            left = right;
            right = next;
        }
        return (left << half_) | right;
    }
    quint64 decrypt(quint64 x) const {
        quint64 left = x >> half_, right = x & mask_;
        for (int r = Rounds - 1; r >= 0; --r) {
            const quint64 previous = right ^ round(r, left);
            right = left;
            left = previous;
        }
        return (left << half_) | right;
    }

    quint64 size_;
    quint64 key_;
    int half_ = 1;
    quint64 mask_ = 1;
};

Shuffle shuffleFor(int suffixIndex, int length) {
    return Shuffle(labelSpace(length), hashOf({0x5eed, quint64(suffixIndex), quint64(length)}));
}

bool validCell(int suffixIndex, int length) {
    return suffixIndex >= 1 && suffixIndex <= SuffixCount && length >= MinLength &&
           length <= MaxLength;
}

QString labelOf(quint64 value, int length) {
    QString label(length, Qt::Uninitialized);
    for (int p = length - 1; p >= 0; --p) {
        const quint64 r = quint64(radix(p, length));
        const quint64 digit = value % r;
        value /= r;
        label[p] = QChar((r == 37 ? Inner : Edge)[digit]);
    }
    return label;
}

std::optional<quint64> valueOf(QStringView label) {
    const int length = int(label.size());
    quint64 value = 0;
    for (int p = 0; p < length; ++p) {
        const QChar c = label[p].toLower();
        qint64 digit = -1;
        if (c >= u'a' && c <= u'z')
            digit = c.unicode() - u'a';
        else if (c >= u'0' && c <= u'9')
            digit = 26 + c.unicode() - u'0';
        else if (c == u'-' && hyphenAllowed(p, length))
            digit = 36;
        if (digit < 0)
            return std::nullopt;
        value = value * quint64(radix(p, length)) + quint64(digit);
    }
    return value;
}

} // namespace

QString suffixName(int suffixIndex) {
    if (suffixIndex < 1 || suffixIndex > SuffixCount)
        return {};
    return QString::fromUtf16(Suffixes[suffixIndex]);
}

int suffixIndexOf(QStringView suffix) {
    for (int i = 1; i <= SuffixCount; ++i)
        if (suffix == QStringView(Suffixes[i]))
            return i;
    return 0;
}

QString suffixKind(int suffixIndex) {
    if (suffixIndex < 1 || suffixIndex > SuffixCount)
        return {};
    return suffixIndex >= 6 ? QStringLiteral("cn") : QStringLiteral("inter");
}

bool hasData(QDate day) {
    if (!day.isValid())
        return false;
    const qint64 offset = firstDay().daysTo(day);
    return offset >= 0 && offset < DaysWithData;
}

int nameCount(QDate day, int suffixIndex, int length) {
    if (!hasData(day) || !validCell(suffixIndex, length))
        return 0;
    const quint64 jd = quint64(day.toJulianDay());
    // Busier days lift every cell a little: weekends are quieter at the registries.
    const double dayLoad = (day.dayOfWeek() >= 6 ? 0.8 : 1.0) * (0.85 + 0.3 * unit(hashOf({jd})));
    const quint64 h = hashOf({jd, quint64(suffixIndex), quint64(length)});
    const double spread = 0.55 + 0.9 * unit(h);
    const double jitter = unit(mix(h)); // rounds the rare short names up or down
    const double mean = MeanCount[suffixIndex][length - MinLength];
    const qint64 count = qint64(std::floor(mean * dayLoad * spread + jitter));
    return int(qBound<qint64>(0, count, cellRoom(length) - 1));
}

QString domainName(QDate day, int suffixIndex, int length, int index) {
    if (index < 0 || index >= nameCount(day, suffixIndex, length))
        return {};
    return cellName(day, suffixIndex, length, index);
}

QString cellName(QDate day, int suffixIndex, int length, qint64 index) {
    if (!hasData(day) || !validCell(suffixIndex, length) || index < 0)
        return {};
    const quint64 slot =
        (quint64(firstDay().daysTo(day)) * quint64(cellRoom(length)) + quint64(index)) %
        quint64(labelSpace(length));
    return labelOf(shuffleFor(suffixIndex, length).forward(slot), length) + suffixName(suffixIndex);
}

std::optional<Listing> findListing(QStringView domain) {
    int suffixIndex = 0;
    qsizetype labelLength = -1;
    // .com.cn before .cn and .com, so that the longest suffix wins.
    for (int i : {7, 1, 2, 3, 4, 5, 6}) {
        const QStringView s(Suffixes[i]);
        if (domain.size() > s.size() && domain.endsWith(s, Qt::CaseInsensitive)) {
            suffixIndex = i;
            labelLength = domain.size() - s.size();
            break;
        }
    }
    if (suffixIndex == 0 || labelLength < MinLength || labelLength > MaxLength)
        return std::nullopt;
    const int length = int(labelLength);
    const std::optional<quint64> value = valueOf(domain.first(labelLength));
    if (!value)
        return std::nullopt;
    const quint64 slot = shuffleFor(suffixIndex, length).backward(*value);
    const qint64 room = cellRoom(length);
    const QDate day = firstDay().addDays(qint64(slot / quint64(room)));
    const int index = int(slot % quint64(room));
    if (index >= nameCount(day, suffixIndex, length))
        return std::nullopt;
    return Listing{day, suffixIndex, length, index};
}

Record record(const Listing& listing) {
    const bool cn = listing.suffixIndex >= 6;
    // The generic registries keep an expired name about 75 days (grace, redemption, pending
    // delete); CNNIC about 35.
    const QDate expires = listing.day.addDays(cn ? -35 : -75);
    const int opened = cn ? 2003 : (listing.suffixIndex >= 4 ? 2002 : 1996);
    const quint64 h = hashOf({quint64(listing.day.toJulianDay()), quint64(listing.suffixIndex),
                              quint64(listing.length), quint64(listing.index), 0xa9e});
    int years = 1 + int(h % 12);
    while (years > 1 && expires.addYears(-years).year() < opened)
        --years;
    return Record{expires.addYears(-years), expires, listing.day};
}

} // namespace sites
