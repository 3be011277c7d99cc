// SPDX-License-Identifier: GPL-3.0-or-later
#include "scrape/split.h"

#include <QTest>

class TestSplit : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void removeAll_data();
    void removeAll();
};

// Each row: the text, the marker, and every piece the split gives, in order.
void TestSplit::split_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QStringList>("pieces");
    const QList<std::tuple<const char*, const char*, const char*, QStringList>> rows = {
        {"pieces from 0, last runs to the end", "a,b,c", ",", {"a", "b", "c"}},
        {"no marker: the whole text", "abc", ",", {"abc"}},
        {"empty pieces count", ",a,,b,", ",", {"", "a", "", "b", ""}},
        {"an empty text has no pieces", "", ",", {}},
        {"case-sensitive", "aXbxc", "x", {"aXb", "c"}},
        {"multi-character marker", "1</td>2</td>3", "</td>", {"1", "2", "3"}},
        {"occurrences do not overlap", "aaaaa", "aa", {"", "", "a"}},
        {"chinese marker", "前四天后的删除域名查询后", "四天后的删除域名查询", {"前", "后"}},
    };
    for (const auto& [name, text, marker, pieces] : rows)
        QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(marker) << pieces;
}

// Asking for each piece by number and taking them one after another agree, and both end
// where the pieces end.
void TestSplit::split() {
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(QStringList, pieces);
    scrape::Pieces inOrder(text, marker);
    for (int i = 0; i <= pieces.size(); ++i) {
        const auto byNumber = scrape::piece(text, marker, i);
        const auto next = inOrder.next();
        QCOMPARE(byNumber.has_value(), i < pieces.size());
        QCOMPARE(next.has_value(), i < pieces.size());
        if (byNumber) {
            QCOMPARE(byNumber->toString(), pieces.at(i));
            QCOMPARE(next->toString(), pieces.at(i));
        }
    }
    QVERIFY(!scrape::piece(text, marker, -1));
}

void TestSplit::removeAll_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");
    const QList<std::tuple<const char*, const char*, const char*, const char*>> rows = {
        {"tags", "<b>8年</b>", "<b>", "8年</b>"},
        {"every occurrence", "a b  c ", " ", "abc"},
        {"left to right, non-overlapping", "aaa", "aa", "a"},
        {"no rescan of joined text", "<<b>b>", "<b>", "<b>"},
        {"case-sensitive", "<B>x<b>", "<b>", "<B>x"},
        {"full-width parentheses stay", "3年（近似值）(近似值)", "(近似值)", "3年（近似值）"},
    };
    for (const auto& [name, text, what, expected] : rows)
        QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(what)
                            << QString::fromUtf8(expected);
}

void TestSplit::removeAll() {
    QFETCH(QString, text);
    QFETCH(QString, what);
    QFETCH(QString, expected);
    QCOMPARE(scrape::removeAll(text, what), expected);
}

QTEST_APPLESS_MAIN(TestSplit)
#include "tst_split.moc"
