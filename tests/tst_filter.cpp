// SPDX-License-Identifier: GPL-3.0-or-later
// The name filters: each rule on names with and without suffixes, names the regular expression
// gives up on, and specs refused.
#include "listing/filter.h"

#include <QTest>

using listing::FilterSpec;
using listing::NameFilter;
using listing::Verdict;

Q_DECLARE_METATYPE(FilterSpec)
Q_DECLARE_METATYPE(Verdict)

class TestFilter : public QObject {
    Q_OBJECT

private slots:
    void matches_data();
    void matches();
    void refused_data();
    void refused();
};

void TestFilter::matches_data() {
    QTest::addColumn<FilterSpec>("criteria");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Verdict>("expected");
    auto row = [](const char* tag, const FilterSpec& criteria, const char* name, auto expected) {
        Verdict verdict;
        if constexpr (std::is_same_v<decltype(expected), bool>)
            verdict = expected ? Verdict::Passes : Verdict::Fails;
        else
            verdict = expected;
        QTest::newRow(tag) << criteria << QString::fromUtf8(name) << verdict;
    };
    const FilterSpec letters{.lettersOnly = true}, digits{.digitsOnly = true};
    row("nothing asked", {}, "a-1.com", true);
    row("letters, either case", letters, "AbC.com.cn", true);
    row("letters, a digit", letters, "ab1.com", false);
    row("letters, no label", letters, ".com", false);
    row("digits", digits, "1212.cn", true);
    row("digits, a letter", digits, "12a.cn", false);
    row("no hyphen", {.noHyphen = true}, "ab.com", true);
    row("no hyphen, one", {.noHyphen = true}, "a-b.com", false);
    row("contains, any case", {.contains = "GUO"}, "zhongguo.cn", true);
    row("contains, only in the suffix", {.contains = "com"}, "abc.com", false);
    row("regex searched", {.regex = "g+u"}, "zhongguo.cn", true);
    row("regex, label end", {.regex = "a$"}, "ba.com", true);
    row("regex, not the suffix", {.regex = "com"}, "abc.com", false);
    row("regex, any case", {.regex = "^b"}, "Bob.com", true);
    row("AABB letters", {.pattern = "AABB"}, "aabb.com", true);
    row("AABB digits", {.pattern = "AABB"}, "1122.cn", true);
    row("AABB, one letter", {.pattern = "AABB"}, "aaaa.com", false);
    row("ABAB, aabb", {.pattern = "ABAB"}, "aabb.com", false);
    row("ABAB, 1212", {.pattern = "ABAB"}, "1212.com.cn", true);
    row("NNNN, 1212", {.pattern = "NNNN"}, "1212", true);
    row("NNNN, a letter", {.pattern = "NNNN"}, "12a2.com", false);
    row("CVCV bobo", {.pattern = "CVCV"}, "bobo.com", true);
    row("CVCV dame", {.pattern = "CVCV"}, "DAME.com", true);
    row("CVCV abab", {.pattern = "CVCV"}, "abab.com", false);
    row("LL88", {.pattern = "LL88"}, "ab88.com", true);
    row("LL88, 89", {.pattern = "LL88"}, "ab89.com", false);
    row("literal letters", {.pattern = "aLL"}, "Abc.com", true);
    row("hyphen", {.pattern = "L-L"}, "a-b.com", true);
    row("shorter pattern", {.pattern = "AAA"}, "aaaa.com", false);
    row("longer pattern", {.pattern = "LLLL"}, "abc.com.cn", false);
    row("pinyin any", {.pinyinSyllables = 0}, "zhongguoren.cn", true);
    row("pinyin xian 1", {.pinyinSyllables = 1}, "xian.com", true);
    row("pinyin xian 2", {.pinyinSyllables = 2}, "Xian.com.cn", true);
    row("pinyin xian 3", {.pinyinSyllables = 3}, "xian.com", false);
    row("pinyin zhong 1", {.pinyinSyllables = 1}, "zhong.cn", true);
    row("pinyin zhong 2", {.pinyinSyllables = 2}, "zhong.cn", false);
    row("pinyin 3", {.pinyinSyllables = 3}, "zhongguoren.cn", true);
    row("pinyin, a letter left", {.pinyinSyllables = 0}, "zhongx.cn", false);
    row("pinyin, interjection", {.pinyinSyllables = 0}, "hm.com", false);
    row("pinyin, hyphen", {.pinyinSyllables = 0}, "xi-an.com", false);
    // Past PCRE2's match limit a search is neither a match nor a miss.
    const FilterSpec nested{.regex = "(a+)+b"};
    const std::string aaa(30, 'a');
    row("nested +, 15 a's", nested, (std::string(15, 'a') + "cab.com").c_str(), true);
    row("nested +, 30 a's", nested, (aaa + "cab.com").c_str(), Verdict::Undecided);
    row("nested +, 30 a's, digits fail first", {.digitsOnly = true, .regex = "(a+)+b"},
        (aaa + "cab.com").c_str(), false);
    row("nested +, 30 a's and a b", nested, (aaa + "b.com").c_str(), true);
    row("all must hold", {.lettersOnly = true, .contains = "hao", .pinyinSyllables = 2},
        "haoche.com", true);
    row("all must hold, one fails", {.lettersOnly = true, .contains = "hao", .pinyinSyllables = 2},
        "haoc.com", false);
}

void TestFilter::matches() {
    QFETCH(FilterSpec, criteria);
    QFETCH(QString, name);
    QFETCH(Verdict, expected);
    QString error;
    const std::optional<NameFilter> filter = NameFilter::compile(criteria, &error);
    QVERIFY2(filter, qPrintable(error));
    QCOMPARE(filter->judge(name), expected);
    QCOMPARE(filter->matches(name), expected == Verdict::Passes);
    if (expected == Verdict::Undecided) {
        const QString reason = listing::undecidedReason(name);
        QVERIFY2(reason.startsWith(QStringLiteral("正则表达式太费时")) && !reason.contains(u'\n'),
                 qPrintable(reason));
    }
}

void TestFilter::refused_data() {
    QTest::addColumn<FilterSpec>("criteria");
    QTest::addColumn<QString>("reason");
    const QString shape = QStringLiteral("模式只能包含字母、数字和连字符");
    QTest::newRow("pattern *") << FilterSpec{.pattern = "AB*B"} << shape;
    QTest::newRow("pattern blank") << FilterSpec{.pattern = "A B"} << shape;
    QTest::newRow("pattern 中") << FilterSpec{.pattern = "中AA"} << shape;
    QTest::newRow("regex") << FilterSpec{.regex = "(ab"}
                           << QRegularExpression(QStringLiteral("(ab")).errorString();
    QTest::newRow("pinyin 4") << FilterSpec{.pinyinSyllables = 4} << QStringLiteral("拼音音节数");
    QTest::newRow("pinyin -2") << FilterSpec{.pinyinSyllables = -2} << QStringLiteral("拼音音节数");
}

void TestFilter::refused() {
    QFETCH(FilterSpec, criteria);
    QFETCH(QString, reason);
    QString error;
    QVERIFY(!NameFilter::compile(criteria, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!error.contains(u'\n'));
}

QTEST_GUILESS_MAIN(TestFilter)
#include "tst_filter.moc"
