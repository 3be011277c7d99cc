// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

namespace listing {

// What a buyer asks of a name; a field left at its default asks nothing. Every field that
// asks something must hold. All of them look at the name's label (see nameLabel).
struct FilterSpec {
    bool lettersOnly = false; // a-z, either case
    bool digitsOnly = false;  // 0-9
    bool noHyphen = false;
    QString contains{}; // case-insensitive
    // A shape as domain investors write it, as long as the label: L a letter, N a digit,
    // C a consonant, V a vowel, - a hyphen, any other capital one character (the same capital
    // the same character, different capitals different ones), lowercase letters and digits
    // themselves. "AABB" fits 1122 and xxyy, "LL88" fits ab88.
    QString pattern{};
    int pinyinSyllables = -1; // -1: no pinyin filter; 0: any number of syllables; 1 to 3: exactly
    QString regex{};          // searched anywhere in the label, case-insensitively
    bool isEmpty() const;
    bool operator==(const FilterSpec&) const = default;
};

// The text the filters look at: the name up to its first ".".
QStringView nameLabel(QStringView domain);

// What a filter says of one name. Undecided: the regular expression gave up on it (PCRE2 stops
// at its match limit, about ten million steps, as "(a+)+b" does on a long run of a's); the
// name may pass or not, and must be neither shown as failing nor dropped.
enum class Verdict : quint8 { Fails, Passes, Undecided };

// The one-line reason for an undecided name, in the words of the other filter errors.
QString undecidedReason(QStringView domain);

// A FilterSpec checked once, ready to test many names quickly (thousands a millisecond).
class NameFilter {
public:
    NameFilter(); // passes every name
    // The filter, or nullopt with a one-line reason in `error` when the pattern or the regular
    // expression is invalid (or pinyinSyllables is out of range).
    static std::optional<NameFilter> compile(const FilterSpec& criteria, QString* error = nullptr);
    Verdict judge(QStringView domain) const; // the whole name, suffix included
    // Passes or not, an undecided name counted as failing: only where losing it is harmless.
    bool matches(QStringView domain) const { return judge(domain) == Verdict::Passes; }
    bool isEmpty() const;
    const FilterSpec& criteria() const;

private:
    // One place of a pattern: a class of characters, a character itself, or a capital that
    // stands for one character throughout.
    struct Place {
        enum Kind : quint8 { Letter, Digit, Consonant, Vowel, Literal, Variable } kind;
        char16_t value; // the character for Literal, 0-25 for Variable
    };
    bool fitsPattern(QStringView label) const;

    FilterSpec criteria_;
    std::vector<Place> pattern_;
    QRegularExpression regex_;
};

// Whether `label` splits wholly into pinyin syllables; with `syllables` 1 to 3, into exactly
// that many; 0: any number.
bool splitsIntoPinyin(QStringView label, int syllables = 0);

} // namespace listing
