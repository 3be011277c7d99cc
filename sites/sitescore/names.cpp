// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitescore/names.h"

#include "listing/pinyin.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numeric>
#include <string_view>
#include <vector>

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

// Counts stay below this, whatever the day's load.
constexpr qint64 countLimit(int length) {
    return length == 3 ? 64 : length == 4 ? 1024 : 8192;
}

// Days with data, counted from the first.
const QDate& firstDay() {
    static const QDate day(2010, 12, 1);
    return day;
}
constexpr qint64 DaysWithData = 401;

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

// What a drop list is made of. Each kind has labels of its own in every length, so that a
// label tells its kind, and numbers them from 0.
enum Kind : quint8 {
    ShapedDigits, // two different digits at most: 1122, 1212, 8886
    PlainDigits,
    Pinyin1, // one syllable: zhong
    Pinyin2, // two and not one: haoche
    Pinyin3, // three and not fewer, of the common syllables only: zhongguoren
    Letters, // any other letters
    Mixed,   // letters and digits, or one hyphen among letters and digits
    KindCount
};

// Shares of a cell's names in thousandths. The .cn registry's names were bought for pinyin
// and lucky numbers far more than the generic ones.
constexpr int Wheel = 1000;
constexpr std::array<int, KindCount> GenericShares = {40, 80, 20, 80, 40, 500, 240};
constexpr std::array<int, KindCount> ChineseShares = {100, 150, 50, 250, 100, 200, 150};
// Where a kind's share goes, first choice first, when its labels would not last the data's
// days.
constexpr std::array<std::array<int, 3>, KindCount> Spill = {{{PlainDigits, Mixed, -1},
                                                              {Mixed, -1, -1},
                                                              {Pinyin2, Pinyin3, Letters},
                                                              {Pinyin3, Letters, -1},
                                                              {Pinyin2, Letters, -1},
                                                              {Mixed, -1, -1},
                                                              {-1, -1, -1}}};

// The syllables names are most often made of.
constexpr std::string_view CommonSyllables =
    "ai an ba bai bao bei ben bi bo cai che chang cheng chu chuan da dai dan dao de di dian "
    "ding dong du fa fan fang fei feng fu gao ge gong gu guang gui guo hai han hao he hong "
    "hua huan hui jia jian jiang jie jin jing jiu ju kai kang ke kuai lai lan le li lian liang "
    "lin ling long lu lv ma mai mao mei men mi min ming mu nan neng ni pin qi qian qing qu "
    "ren ri rong ru shan shang shen sheng shi shou shu shui si song tai tang tian tong tu wan "
    "wang wei wen wu xi xia xian xiang xiao xin xing xiu xue ya yan yang yao ye yi yin ying "
    "you yu yuan yue yun zhan zhang zhen zheng zhi zhong zhou zhu zi";

constexpr char16_t Alphanumeric[] = u"abcdefghijklmnopqrstuvwxyz0123456789";

// A hyphen may stand inside a label but not at either end, nor at the fourth place of a
// longer label: "ab--c" reads as a reserved ACE prefix.
bool hyphenAllowed(int position, int length) {
    return position > 0 && position < length - 1 && !(position == 3 && length >= 5);
}

quint64 power(quint64 base, int exponent) {
    quint64 result = 1;
    while (exponent-- > 0)
        result *= base;
    return result;
}

quint64 letterValue(std::string_view letters) {
    quint64 value = 0;
    for (char c : letters)
        value = value * 26 + quint64(c - 'a');
    return value;
}

void sortUnique(std::vector<quint64>& values) {
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
}

void remove(std::vector<quint64>& values, const std::vector<quint64>& sortedDrop) {
    std::vector<quint64> kept;
    std::set_difference(values.begin(), values.end(), sortedDrop.begin(), sortedDrop.end(),
                        std::back_inserter(kept));
    values.swap(kept);
}

using Tables = std::initializer_list<const std::vector<quint64>*>;

quint64 countUpTo(quint64 value, Tables tables) {
    quint64 count = 0;
    for (const auto* table : tables)
        count += quint64(std::upper_bound(table->begin(), table->end(), value) - table->begin());
    return count;
}

// The `rank`th value (from 0) that none of the sorted tables holds.
quint64 outside(quint64 rank, Tables tables) {
    quint64 value = rank;
    for (;;) {
        const quint64 next = rank + countUpTo(value, tables);
        if (next == value)
            return value;
        value = next;
    }
}

std::optional<quint64> indexIn(const std::vector<quint64>& table, quint64 value) {
    const auto at = std::lower_bound(table.begin(), table.end(), value);
    if (at == table.end() || *at != value)
        return std::nullopt;
    return quint64(at - table.begin());
}

// The labels of one length, kind by kind: the small kinds as sorted tables (digits as decimal
// values, letters as base-26 values), the large ones counted around them or by their build.
struct Labels {
    int length = 0;
    std::vector<quint64> shaped;
    std::array<std::vector<quint64>, 3> pinyin;
    // Letters and digits without a hyphen, one block per mask (bit p set: a letter at place
    // p), the masks 1 to 2^length - 2 in turn; then one block per place a hyphen may take.
    std::vector<quint64> maskStart;
    quint64 hyphenFree = 0;
    std::vector<int> hyphenPlaces;
    std::array<quint64, KindCount> size{};

    explicit Labels(int labelLength) : length(labelLength) {
        for (int a = 0; a <= 9; ++a)
            for (int b = 0; b <= 9; ++b)
                for (unsigned mask = 0; mask < (1u << length); ++mask) {
                    quint64 value = 0;
                    for (int p = 0; p < length; ++p)
                        value = value * 10 + quint64((mask >> p) & 1 ? b : a);
                    shaped.push_back(value);
                }
        sortUnique(shaped);
        size[ShapedDigits] = shaped.size();
        size[PlainDigits] = power(10, length) - shaped.size();

        // Syllable values by their length; a name is the syllables' values in base 26, one
        // after the other.
        auto byLength = [](auto&& syllables) {
            std::array<std::vector<quint64>, listing::LongestPinyinSyllable + 1> values;
            for (std::string_view syllable : syllables)
                values[syllable.size()].push_back(letterValue(syllable));
            return values;
        };
        const auto all = byLength(listing::PinyinSyllables);
        std::vector<std::string_view> commonSyllables;
        for (std::string_view rest = CommonSyllables; !rest.empty();) {
            const std::size_t blank = std::min(rest.find(' '), rest.size());
            commonSyllables.push_back(rest.substr(0, blank));
            rest.remove_prefix(std::min(blank + 1, rest.size()));
        }
        const auto common = byLength(commonSyllables);
        auto fits = [](int rest) { return rest >= 1 && rest <= listing::LongestPinyinSyllable; };
        if (fits(length))
            pinyin[0] = all[length];
        for (int a = 1; a < length; ++a)
            if (fits(a) && fits(length - a))
                for (quint64 first : all[a])
                    for (quint64 second : all[length - a])
                        pinyin[1].push_back(first * power(26, length - a) + second);
        for (int a = 1; a < length; ++a)
            for (int b = 1; a + b < length; ++b)
                if (fits(a) && fits(b) && fits(length - a - b))
                    for (quint64 first : common[a])
                        for (quint64 second : common[b])
                            for (quint64 third : common[length - a - b])
                                pinyin[2].push_back((first * power(26, b) + second) *
                                                        power(26, length - a - b) +
                                                    third);
        for (auto& table : pinyin)
            sortUnique(table);
        remove(pinyin[1], pinyin[0]);
        remove(pinyin[2], pinyin[0]);
        remove(pinyin[2], pinyin[1]);
        size[Letters] = power(26, length);
        for (int t = 0; t < 3; ++t) {
            size[Pinyin1 + t] = pinyin[t].size();
            size[Letters] -= pinyin[t].size();
        }

        for (unsigned mask = 1; mask + 1 < (1u << length); ++mask) {
            maskStart.push_back(hyphenFree);
            const int letters = std::popcount(mask);
            hyphenFree += power(26, letters) * power(10, length - letters);
        }
        for (int p = 0; p < length; ++p)
            if (hyphenAllowed(p, length))
                hyphenPlaces.push_back(p);
        size[Mixed] = hyphenFree + hyphenPlaces.size() * power(36, length - 1);
    }

    QString text(int kind, quint64 rank) const {
        QString label(length, Qt::Uninitialized);
        auto spell = [&](quint64 value, quint64 radix, const char16_t* alphabet) {
            for (int p = length - 1; p >= 0; --p) {
                label[p] = QChar(alphabet[value % radix]);
                value /= radix;
            }
        };
        switch (kind) {
        case ShapedDigits:
            spell(shaped[rank], 10, Alphanumeric + 26);
            break;
        case PlainDigits:
            spell(outside(rank, {&shaped}), 10, Alphanumeric + 26);
            break;
        case Pinyin1:
        case Pinyin2:
        case Pinyin3:
            spell(pinyin[kind - Pinyin1][rank], 26, Alphanumeric);
            break;
        case Letters:
            spell(outside(rank, {&pinyin[0], &pinyin[1], &pinyin[2]}), 26, Alphanumeric);
            break;
        default:
            if (rank < hyphenFree) {
                const auto block = std::upper_bound(maskStart.begin(), maskStart.end(), rank) - 1;
                const unsigned mask = unsigned(block - maskStart.begin()) + 1;
                quint64 value = rank - *block;
                for (int p = length - 1; p >= 0; --p) {
                    const bool letter = (mask >> p) & 1;
                    label[p] =
                        QChar(letter ? Alphanumeric[value % 26] : Alphanumeric[26 + value % 10]);
                    value /= letter ? 26 : 10;
                }
            } else {
                const quint64 perPlace = power(36, length - 1);
                const int hyphen = hyphenPlaces[(rank - hyphenFree) / perPlace];
                quint64 value = (rank - hyphenFree) % perPlace;
                for (int p = length - 1; p >= 0; --p) {
                    if (p == hyphen) {
                        label[p] = u'-';
                    } else {
                        label[p] = QChar(Alphanumeric[value % 36]);
                        value /= 36;
                    }
                }
            }
        }
        return label;
    }

    struct Ranked {
        int kind;
        quint64 rank;
    };
    // The kind and number of `label` (of this length, either case), if it is one of ours.
    std::optional<Ranked> rankOf(QStringView label) const {
        int letters = 0, digits = 0, hyphen = -1;
        unsigned mask = 0;
        quint64 decimal = 0, base26 = 0, base36 = 0, mixed = 0;
        for (int p = 0; p < length; ++p) {
            const char16_t c = label[p].toLower().unicode();
            if (c >= u'a' && c <= u'z') {
                const quint64 digit = quint64(c - u'a');
                ++letters;
                mask |= 1u << p;
                base26 = base26 * 26 + digit;
                base36 = base36 * 36 + digit;
                mixed = mixed * 26 + digit;
            } else if (c >= u'0' && c <= u'9') {
                const quint64 digit = quint64(c - u'0');
                ++digits;
                decimal = decimal * 10 + digit;
                base36 = base36 * 36 + 26 + digit;
                mixed = mixed * 10 + digit;
            } else if (c == u'-' && hyphen < 0 && hyphenAllowed(p, length)) {
                hyphen = p;
            } else {
                return std::nullopt;
            }
        }
        if (hyphen >= 0) {
            const auto place = std::find(hyphenPlaces.begin(), hyphenPlaces.end(), hyphen);
            return Ranked{Mixed, hyphenFree +
                                     quint64(place - hyphenPlaces.begin()) * power(36, length - 1) +
                                     base36};
        }
        if (digits == length) {
            if (const auto at = indexIn(shaped, decimal))
                return Ranked{ShapedDigits, *at};
            return Ranked{PlainDigits, decimal - countUpTo(decimal, {&shaped})};
        }
        if (letters == length) {
            for (int t = 0; t < 3; ++t)
                if (const auto at = indexIn(pinyin[t], base26))
                    return Ranked{Pinyin1 + t, *at};
            return Ranked{Letters,
                          base26 - countUpTo(base26, {&pinyin[0], &pinyin[1], &pinyin[2]})};
        }
        return Ranked{Mixed, maskStart[mask - 1] + mixed};
    }
};

// One suffix and length. A wheel of places, each of one kind in the kind's share, says the
// kind of each name: name i of a day is place (turn + i) of the wheel, the day's turn a keyed
// number. A kind's names are numbered on from day to day, so that its labels, shuffled once
// per cell, serve every day's names once only; the shares are cut where a kind's labels
// would not last all the days.
struct Cell {
    std::array<quint8, Wheel> wheel{};
    std::array<int, KindCount> share{};
    std::array<std::array<quint16, Wheel + 1>, KindCount> before{}; // kind's places below p
    std::array<std::vector<quint16>, KindCount> places;
    std::array<quint16, DaysWithData> turn{};
    // A kind's first number on each day, and after the last day how many there are.
    std::array<std::array<quint64, DaysWithData + 1>, KindCount> firstSlot{};

    // How many places of `kind` lie before place `at` of the wheel turned round and round.
    quint64 ofKind(int kind, quint64 at) const {
        return at / Wheel * quint64(share[kind]) + before[kind][at % Wheel];
    }

    Cell(int suffixIndex, int length, const Labels& labels) {
        std::array<int, DaysWithData> counts{};
        for (int d = 0; d < DaysWithData; ++d) {
            const QDate day = firstDay().addDays(d);
            counts[d] = nameCount(day, suffixIndex, length);
            turn[d] = quint16(
                hashOf({quint64(day.toJulianDay()), quint64(suffixIndex), quint64(length), 0x7e1}) %
                Wheel);
        }
        std::array<quint16, Wheel> order{};
        std::iota(order.begin(), order.end(), quint16(0));
        for (int i = Wheel - 1; i > 0; --i)
            std::swap(order[i],
                      order[hashOf({0x3ee1, quint64(suffixIndex), quint64(length), quint64(i)}) %
                            quint64(i + 1)]);

        share = suffixIndex >= 6 ? ChineseShares : GenericShares;
        std::array<bool, KindCount> full{};
        for (;;) {
            int next = 0;
            for (int kind = 0; kind < KindCount; ++kind)
                for (int n = 0; n < share[kind]; ++n)
                    wheel[order[next++]] = quint8(kind);
            for (int kind = 0; kind < KindCount; ++kind) {
                places[kind].clear();
                for (int p = 0; p < Wheel; ++p) {
                    before[kind][p + 1] = before[kind][p] + (wheel[p] == kind);
                    if (wheel[p] == kind)
                        places[kind].push_back(quint16(p));
                }
                for (int d = 0; d < DaysWithData; ++d)
                    firstSlot[kind][d + 1] = firstSlot[kind][d] +
                                             ofKind(kind, turn[d] + counts[d]) -
                                             ofKind(kind, turn[d]);
            }
            // A kind whose labels ran short once takes no other kind's share after that.
            int over = 0;
            auto runsShort = [&](int kind) {
                return Spill[kind][0] >= 0 && share[kind] > 0 &&
                       (labels.size[kind] == 0 ||
                        firstSlot[kind][DaysWithData] > labels.size[kind]);
            };
            while (over < KindCount && !runsShort(over))
                ++over;
            if (over == KindCount)
                break;
            full[over] = true;
            int to = 0;
            while (to < 2 && Spill[over][to + 1] >= 0 && full[Spill[over][to]])
                ++to;
            const int kept =
                qMin(share[over] - 1, int(double(share[over]) * double(labels.size[over]) /
                                          double(qMax<quint64>(1, firstSlot[over][DaysWithData]))));
            share[Spill[over][to]] += share[over] - kept;
            share[over] = kept;
        }
    }
};

class Data {
public:
    Data() {
        for (int length = MinLength; length <= MaxLength; ++length)
            labels_.emplace_back(length);
        for (int suffixIndex = 1; suffixIndex <= SuffixCount; ++suffixIndex)
            for (int length = MinLength; length <= MaxLength; ++length)
                cells_.emplace_back(suffixIndex, length, labels_[length - MinLength]);
    }
    const Labels& labels(int length) const { return labels_[size_t(length - MinLength)]; }
    const Cell& cell(int suffixIndex, int length) const {
        return cells_[size_t((suffixIndex - 1) * (MaxLength - MinLength + 1) + length - MinLength)];
    }

private:
    std::vector<Labels> labels_;
    std::vector<Cell> cells_;
};

const Data& data() {
    static const Data all;
    return all;
}

Shuffle shuffleFor(int suffixIndex, int length, int kind, quint64 size) {
    return Shuffle(qint64(size),
                   hashOf({0x5eed, quint64(suffixIndex), quint64(length), quint64(kind)}));
}

bool validCell(int suffixIndex, int length) {
    return suffixIndex >= 1 && suffixIndex <= SuffixCount && length >= MinLength &&
           length <= MaxLength;
}

} // namespace

QString suffixName(int suffixIndex) {
    if (suffixIndex < 1 || suffixIndex > SuffixCount)
        return {};
    // Shared, not made anew: the day summary asks for each suffix dozens of times.
    static const auto names = [] {
        std::array<QString, SuffixCount + 1> out;
        for (int s = 1; s <= SuffixCount; ++s)
            out[s] = QString::fromUtf16(Suffixes[s]);
        return out;
    }();
    return names[suffixIndex];
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
    return int(qBound<qint64>(0, count, countLimit(length) - 1));
}

QString domainName(QDate day, int suffixIndex, int length, int index) {
    if (index < 0 || index >= nameCount(day, suffixIndex, length))
        return {};
    return cellName(day, suffixIndex, length, index);
}

QString cellName(QDate day, int suffixIndex, int length, qint64 index) {
    if (!hasData(day) || !validCell(suffixIndex, length) || index < 0)
        return {};
    const Cell& cell = data().cell(suffixIndex, length);
    const Labels& labels = data().labels(length);
    const qint64 d = firstDay().daysTo(day);
    const quint64 turn = cell.turn[d];
    const quint64 at = turn + quint64(index);
    const int kind = cell.wheel[at % Wheel];
    // Past the day's names (a forced cell size) this runs on into the next days' names of
    // the kind, and round its labels.
    const quint64 slot =
        (cell.firstSlot[kind][d] + cell.ofKind(kind, at) - cell.ofKind(kind, turn)) %
        labels.size[kind];
    const quint64 rank = shuffleFor(suffixIndex, length, kind, labels.size[kind]).forward(slot);
    return labels.text(kind, rank) + suffixName(suffixIndex);
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
    const Labels& labels = data().labels(length);
    const std::optional<Labels::Ranked> ranked = labels.rankOf(domain.first(labelLength));
    if (!ranked)
        return std::nullopt;
    const int kind = ranked->kind;
    const Cell& cell = data().cell(suffixIndex, length);
    const quint64 slot =
        shuffleFor(suffixIndex, length, kind, labels.size[kind]).backward(ranked->rank);
    const auto& first = cell.firstSlot[kind];
    if (slot >= first[DaysWithData]) // a label no day has come to
        return std::nullopt;
    const int d = int(std::upper_bound(first.begin(), first.end(), slot) - first.begin()) - 1;
    const quint64 t = cell.before[kind][cell.turn[d]] + slot - first[d];
    const quint64 share = quint64(cell.share[kind]);
    const quint64 at = t / share * Wheel + cell.places[kind][t % share];
    const QDate day = firstDay().addDays(d);
    const int index = int(at - cell.turn[d]);
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
