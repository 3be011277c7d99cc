#include "scrape/split.h"

#include <QTest>

class TestSplit : public QObject {
    Q_OBJECT
private slots:
    void piece_data();
    void piece();
    void piecesInOrder_data();
    void piecesInOrder();
    void removeAll_data();
    void removeAll();
};

void TestSplit::piece_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("expected");

    QTest::newRow("before first marker") << "a,b,c"
                                         << "," << 0 << true << "a";
    QTest::newRow("middle") << "a,b,c"
                            << "," << 1 << true << "b";
    QTest::newRow("last runs to end") << "a,b,c"
                                      << "," << 2 << true << "c";
    QTest::newRow("beyond the pieces") << "a,b,c"
                                       << "," << 3 << false << "";
    QTest::newRow("no marker: whole text") << "abc"
                                           << "," << 0 << true << "abc";
    QTest::newRow("no marker: no piece 1") << "abc"
                                           << "," << 1 << false << "";
    QTest::newRow("empty pieces count") << ",,x"
                                        << "," << 2 << true << "x";
    QTest::newRow("empty piece in middle") << "a,,b"
                                           << "," << 1 << true << "";
    QTest::newRow("marker at end gives empty last") << "a,"
                                                    << "," << 1 << true << "";
    QTest::newRow("empty text has no piece 0") << ""
                                               << "," << 0 << false << "";
    QTest::newRow("case-sensitive") << "aXbxc"
                                    << "x" << 1 << true << "c";
    QTest::newRow("multi-char marker") << "1</td>2</td>3"
                                       << "</td>" << 1 << true << "2";
    QTest::newRow("overlapping occurrences are not") << "aaaa"
                                                     << "aa" << 1 << true << "";
    QTest::newRow("overlap: piece 2") << "aaaaa"
                                      << "aa" << 2 << true << "a";
    QTest::newRow("negative index") << "a,b"
                                    << "," << -1 << false << "";
    QTest::newRow("cjk marker") << "前四天后的删除域名查询后"
                                << "四天后的删除域名查询" << 1 << true << "后";
}

void TestSplit::piece() {
    QFETCH(QString, text);
    QFETCH(QString, marker);
    QFETCH(int, index);
    QFETCH(bool, exists);
    QFETCH(QString, expected);
    const auto got = scrape::piece(text, marker, index);
    QCOMPARE(got.has_value(), exists);
    if (exists)
        QCOMPARE(got->toString(), expected);
}

void TestSplit::piecesInOrder_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("marker");
    QTest::newRow("plain") << "a,b,c"
                           << ",";
    QTest::newRow("empties") << ",a,,b,"
                             << ",";
    QTest::newRow("none") << "abc"
                          << "|";
    QTest::newRow("empty text") << ""
                                << ",";
    QTest::newRow("overlap") << "aaaaa"
                             << "aa";
}

// Taking the pieces one after another gives exactly what asking for each number gives.
void TestSplit::piecesInOrder() {
    QFETCH(QString, text);
    QFETCH(QString, marker);
    scrape::Pieces pieces(text, marker);
    for (int i = 0; i < 10; ++i) {
        const auto byNumber = scrape::piece(text, marker, i);
        const auto inOrder = pieces.next();
        QCOMPARE(inOrder.has_value(), byNumber.has_value());
        if (byNumber)
            QCOMPARE(inOrder->toString(), byNumber->toString());
    }
}

void TestSplit::removeAll_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");
    QTest::newRow("tags") << "<b>8年</b>"
                          << "<b>"
                          << "8年</b>";
    QTest::newRow("several") << "a b  c "
                             << " "
                             << "abc";
    QTest::newRow("absent") << "abc"
                            << "x"
                            << "abc";
    QTest::newRow("left-to-right, non-overlapping") << "aaa"
                                                    << "aa"
                                                    << "a";
    QTest::newRow("no rescan of joined text") << "<<b>b>"
                                              << "<b>"
                                              << "<b>";
    QTest::newRow("case-sensitive") << "<B>x<b>"
                                    << "<b>"
                                    << "<B>x";
    QTest::newRow("mark anywhere") << "3年(近似值)多"
                                   << "(近似值)"
                                   << "3年多";
    QTest::newRow("full-width parens stay") << "3年（近似值）"
                                            << "(近似值)"
                                            << "3年（近似值）";
    QTest::newRow("empty text") << ""
                                << "x"
                                << "";
}

void TestSplit::removeAll() {
    QFETCH(QString, text);
    QFETCH(QString, what);
    QFETCH(QString, expected);
    QCOMPARE(scrape::removeAll(text, what), expected);
}

QTEST_APPLESS_MAIN(TestSplit)
#include "tst_split.moc"
