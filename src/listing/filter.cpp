// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/filter.h"

#include "listing/pinyin.h"

#include <QVarLengthArray>
#include <array>

namespace listing {
namespace {

bool isAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
}
bool isVowel(char16_t c) { // c already lower case
    return c == u'a' || c == u'e' || c == u'i' || c == u'o' || c == u'u';
}

// The syllables as a trie over a-z, walked letter by letter from each place of a label.
class SyllableTrie {
public:
    SyllableTrie() {
        nodes_.push_back({});
        for (std::string_view syllable : PinyinSyllables) {
            int node = 0;
            for (char c : syllable) {
                const int letter = c - 'a';
                if (nodes_[node].next[letter] == 0) {
                    nodes_[node].next[letter] = qint16(nodes_.size());
                    nodes_.push_back({});
                }
                node = nodes_[node].next[letter];
            }
            nodes_[node].syllableEnds = true;
        }
    }
    // The node after `letter` (0-25) from `node`, or 0 when no syllable goes on that way.
    int next(int node, int letter) const { return nodes_[node].next[letter]; }
    bool endsSyllable(int node) const { return nodes_[node].syllableEnds; }

private:
    struct Node {
        std::array<qint16, 26> next{};
        bool syllableEnds = false;
    };
    std::vector<Node> nodes_;
};

const SyllableTrie& syllableTrie() {
    static const SyllableTrie trie;
    return trie;
}

} // namespace

bool FilterSpec::isEmpty() const {
    return !lettersOnly && !digitsOnly && !noHyphen && contains.isEmpty() && pattern.isEmpty() &&
           pinyinSyllables == -1 && regex.isEmpty();
}

QString undecidedReason(QStringView domain) {
    QString name = domain.toString();
    if (name.size() > 40)
        name = name.left(39) + u'…';
    return QStringLiteral("正则表达式太费时：判断 %1 时超出了匹配的步数上限，请改写得简单些")
        .arg(name);
}

QStringView nameLabel(QStringView domain) {
    const qsizetype dot = domain.indexOf(u'.');
    return dot < 0 ? domain : domain.first(dot);
}

bool splitsIntoPinyin(QStringView label, int syllables) {
    const qsizetype n = label.size();
    if (n == 0 || syllables < 0 || syllables > 3)
        return false;
    if (syllables > 0 && n > qsizetype(syllables) * LongestPinyinSyllable)
        return false;
    for (QChar c : label)
        if (!isAsciiLetter(c.unicode()))
            return false;
    // reach[i] has bit k set when the first i letters split into k syllables; without a wanted
    // count only bit 0 is kept, as "splits at all".
    const unsigned keep = syllables == 0 ? 1u : (2u << syllables) - 1u;
    QVarLengthArray<quint8, 64> reach(n + 1, 0);
    reach[0] = 1;
    const SyllableTrie& trie = syllableTrie();
    for (qsizetype i = 0; i < n; ++i) {
        if (reach[i] == 0)
            continue;
        const quint8 onward = syllables == 0 ? 1 : quint8((unsigned(reach[i]) << 1) & keep);
        int node = 0;
        for (qsizetype j = i; j < n && j - i < LongestPinyinSyllable; ++j) {
            node = trie.next(node, asciiLower(label[j].unicode()) - u'a');
            if (node == 0)
                break;
            if (trie.endsSyllable(node))
                reach[j + 1] |= onward;
        }
    }
    return syllables == 0 ? reach[n] != 0 : (reach[n] >> syllables) & 1;
}

NameFilter::NameFilter() = default;

std::optional<NameFilter> NameFilter::compile(const FilterSpec& criteria, QString* error) {
    auto fail = [error](const QString& reason) -> std::optional<NameFilter> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    NameFilter filter;
    filter.criteria_ = criteria;
    if (criteria.pinyinSyllables < -1 || criteria.pinyinSyllables > 3)
        return fail(QStringLiteral("拼音音节数只能是 1、2 或 3（0 表示不限），不能是 %1")
                        .arg(criteria.pinyinSyllables));

    for (qsizetype i = 0; i < criteria.pattern.size(); ++i) {
        const char16_t c = criteria.pattern[i].unicode();
        Place place{Place::Literal, c};
        if (c == u'L')
            place.kind = Place::Letter;
        else if (c == u'N')
            place.kind = Place::Digit;
        else if (c == u'C')
            place.kind = Place::Consonant;
        else if (c == u'V')
            place.kind = Place::Vowel;
        else if (c >= u'A' && c <= u'Z')
            place = {Place::Variable, char16_t(c - u'A')};
        else if (!(c >= u'a' && c <= u'z') && !isDigit(c) && c != u'-')
            return fail(QStringLiteral("模式只能包含字母、数字和连字符，第 %1 个字符“%2”不行")
                            .arg(i + 1)
                            .arg(criteria.pattern[i]));
        filter.pattern_.push_back(place);
    }

    if (!criteria.regex.isEmpty()) {
        filter.regex_ =
            QRegularExpression(criteria.regex, QRegularExpression::CaseInsensitiveOption);
        if (!filter.regex_.isValid())
            return fail(QStringLiteral("正则表达式有误：%1（第 %2 个字符）")
                            .arg(filter.regex_.errorString())
                            .arg(filter.regex_.patternErrorOffset() + 1));
        filter.regex_.optimize();
    }
    return filter;
}

bool NameFilter::fitsPattern(QStringView label) const {
    if (label.size() != qsizetype(pattern_.size()))
        return false;
    // What each capital stands for in this label, 0 while it stands for nothing yet.
    std::array<char16_t, 26> bound{};
    for (qsizetype i = 0; i < label.size(); ++i) {
        const char16_t c = asciiLower(label[i].unicode());
        const Place& place = pattern_[size_t(i)];
        switch (place.kind) {
        case Place::Letter:
            if (c < u'a' || c > u'z')
                return false;
            break;
        case Place::Digit:
            if (!isDigit(c))
                return false;
            break;
        case Place::Consonant:
            if (c < u'a' || c > u'z' || isVowel(c))
                return false;
            break;
        case Place::Vowel:
            if (!isVowel(c))
                return false;
            break;
        case Place::Literal:
            if (c != place.value)
                return false;
            break;
        case Place::Variable:
            if (bound[place.value] == 0) {
                for (char16_t other : bound)
                    if (other == c)
                        return false; // another capital has this character already
                bound[place.value] = c;
            } else if (bound[place.value] != c) {
                return false;
            }
            break;
        }
    }
    return true;
}

Verdict NameFilter::judge(QStringView domain) const {
    const QStringView label = nameLabel(domain);
    if (criteria_.lettersOnly || criteria_.digitsOnly || criteria_.noHyphen) {
        if ((criteria_.lettersOnly || criteria_.digitsOnly) && label.isEmpty())
            return Verdict::Fails;
        for (QChar ch : label) {
            const char16_t c = ch.unicode();
            if ((criteria_.lettersOnly && !isAsciiLetter(c)) ||
                (criteria_.digitsOnly && !isDigit(c)) || (criteria_.noHyphen && c == u'-'))
                return Verdict::Fails;
        }
    }
    if (!pattern_.empty() && !fitsPattern(label))
        return Verdict::Fails;
    if (!criteria_.contains.isEmpty() && !label.contains(criteria_.contains, Qt::CaseInsensitive))
        return Verdict::Fails;
    if (criteria_.pinyinSyllables >= 0 && !splitsIntoPinyin(label, criteria_.pinyinSyllables))
        return Verdict::Fails;
    // The costly test last: the cheap ones above may settle the name first.
    if (!criteria_.regex.isEmpty()) {
        const QRegularExpressionMatch match = regex_.match(label);
        // Qt reports an engine error, the match limit among them, as an invalid match.
        if (!match.isValid())
            return Verdict::Undecided;
        if (!match.hasMatch())
            return Verdict::Fails;
    }
    return Verdict::Passes;
}

bool NameFilter::isEmpty() const {
    return criteria_.isEmpty();
}

const FilterSpec& NameFilter::criteria() const {
    return criteria_;
}

} // namespace listing
