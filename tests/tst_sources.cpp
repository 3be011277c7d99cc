// SPDX-License-Identifier: GPL-3.0-or-later
// The registries' deletion lists as they may come: each format's shapes, encodings and line
// ends, and the pages and garbage that must be refused rather than stored.
#include "sources/droplists.h"

#include <QStringEncoder>
#include <QTest>

using namespace sites::sources;

namespace {

// "name suffix length day" for each name, in list order.
QStringList rows(const ParsedList& list) {
    QStringList out;
    for (const DropName& name : list.names)
        out << QStringLiteral("%1 %2 %3 %4")
                   .arg(name.name, name.suffix)
                   .arg(name.length)
                   .arg(name.day.toString(Qt::ISODate));
    return out;
}

QByteArray gbk(const QString& text) {
    QStringEncoder encoder("windows-936");
    return encoder.encode(text);
}

// Checks what every parse owes: a refused list holds no names, a kept one says no error.
void verifyList(const ParsedList& list, const QStringList& expected, bool refused, int skipped) {
    QCOMPARE(!list.error.isEmpty(), refused);
    if (refused) {
        QVERIFY(list.names.isEmpty());
        QVERIFY(!list.error.contains(u'\n'));
        return;
    }
    QCOMPARE(rows(list), expected);
    QCOMPARE(list.skipped, skipped);
}

} // namespace

class TestSources : public QObject {
    Q_OBJECT
private slots:
    void cnnic_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected"); // for 2026-12-09
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("skipped");
        QTest::newRow("plain") << QByteArray("abc.cn\nhello.com.cn\n")
                               << QStringList{"abc.cn .cn 3 2026-12-09", "hello.com.cn .com.cn 5 2026-12-09"}
                               << false << 0;
        QTest::newRow("bracketed") << QByteArray("[abc.cn]\n[ x1-y.bj.cn ]")
                                   << QStringList{"abc.cn .cn 3 2026-12-09", "x1-y.bj.cn .bj.cn 4 2026-12-09"}
                                   << false << 0;
        QTest::newRow("CRLF, blank lines, stray blanks")
            << QByteArray("  abc.cn \r\n\r\n\r\n\tDEF.CN\r\nq.cn.\r\n")
            << QStringList{"abc.cn .cn 3 2026-12-09", "def.cn .cn 3 2026-12-09", "q.cn .cn 1 2026-12-09"}
            << false << 0;
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF" "abc.cn\n") + QString("中文.cn\n").toUtf8()
                                        << QStringList{"abc.cn .cn 3 2026-12-09", "中文.cn .cn 2 2026-12-09"}
                                        << false << 0;
        QTest::newRow("GBK") << QByteArray("abc.cn\r\n") + gbk("中文网.cn\r\n[北京.net.cn]\r\n")
                             << QStringList{"abc.cn .cn 3 2026-12-09", "中文网.cn .cn 3 2026-12-09",
                                            "北京.net.cn .net.cn 2 2026-12-09"}
                             << false << 0;
        QTest::newRow("IDN A-labels and U-labels")
            << QByteArray("xn--fiqs8s.cn\nXN--FIQS8S.NET.CN\n") + QString("中国.cn\nＡＢＣ.cn\n").toUtf8()
            << QStringList{"中国.cn .cn 2 2026-12-09", "中国.net.cn .net.cn 2 2026-12-09", "abc.cn .cn 3 2026-12-09"}
            << false << 0;
        QTest::newRow("second-level suffixes")
            << QByteArray("abc.net.cn\nabc.gov.cn\nabc.mo.cn\nabc.zz.cn\n")
            << QStringList{"abc.net.cn .net.cn 3 2026-12-09", "abc.gov.cn .gov.cn 3 2026-12-09",
                           "abc.mo.cn .mo.cn 3 2026-12-09"}
            << false << 1; // abc.zz.cn is two labels under .cn
        QTest::newRow("garbage lines, few")
            << QByteArray("a_b.cn\n-ab.cn\nab-.cn\nabc.com\nxn--abc.cn\ncom.cn\nwww.abc.cn\nok.cn\n"
                          "a.cn\nb.cn\nc.cn\nd.cn\n")
            << QStringList{"ok.cn .cn 2 2026-12-09", "a.cn .cn 1 2026-12-09", "b.cn .cn 1 2026-12-09",
                           "c.cn .cn 1 2026-12-09", "d.cn .cn 1 2026-12-09"}
            << true << 7; // seven of twelve lines are too many
        QTest::newRow("garbage lines, tolerated")
            << QByteArray("域名列表 2026-12-09\nabc.cn\nab cd.cn\n" + QByteArray(300, 'a') + ".cn\ndef.cn\n")
            << QStringList{"abc.cn .cn 3 2026-12-09", "def.cn .cn 3 2026-12-09"} << false << 3;
        QTest::newRow("a name twice") << QByteArray("abc.cn\nABC.cn\n[abc.cn.]\n")
                                      << QStringList{"abc.cn .cn 3 2026-12-09"} << false << 0;
        QTest::newRow("HTML error page")
            << QByteArray("\r\n<!DOCTYPE html>\n<html><body>404 Not Found\nabc.cn\n</body></html>\n")
            << QStringList{} << true << 0;
        QTest::newRow("empty") << QByteArray() << QStringList{} << true << 0;
        QTest::newRow("blank lines only") << QByteArray("\xEF\xBB\xBF \r\n\r\n  \n") << QStringList{} << true << 0;
        QTest::newRow("no names") << QByteArray("Service unavailable\n") << QStringList{} << true << 0;
        QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << QStringList{} << true << 0;
    }
    void cnnic() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QFETCH(bool, refused);
        QFETCH(int, skipped);
        verifyList(parseCnnic(bytes, QDate(2026, 12, 9)), expected, refused, skipped);
    }

    void swedish_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("skipped");
        QTest::newRow("dates and times")
            << QByteArray(R"({"data":[{"name":"example.se","release_at":"2026-12-09"},)"
                          R"({"name":"Other.SE","release_at":"2026-12-10T04:00:00Z","extra":1},)"
                          R"({"name":"xn--bc-uia.se","release_at":"2026-12-11 04:00:00+00:00"}]})")
            << ".se"
            << QStringList{"example.se .se 7 2026-12-09", "other.se .se 5 2026-12-10", "äbc.se .se 3 2026-12-11"}
            << false << 0;
        QTest::newRow(".nu, other keys and a .se name")
            << QByteArray("\xEF\xBB\xBF" R"({"meta":{"n":2},"data":[{"release_at":"2026-12-09T04:00:00Z","name":"a-1.nu"},)"
                          R"({"name":"b.se","release_at":"2026-12-09"}]})")
            << ".nu" << QStringList{"a-1.nu .nu 3 2026-12-09"} << false << 1;
        QTest::newRow("entries gone wrong, few")
            << QByteArray(R"({"data":[{"name":"good.se","release_at":"2026-12-09"},{"name":"bad.se"},)"
                          R"({"name":"late.se","release_at":"2026-13-09"},{"name":"x_y.se","release_at":"2026-12-09"},)"
                          R"({"name":7,"release_at":"2026-12-09"},{"name":"odd.se","release_at":"2026-12-09X"}]})")
            << ".se" << QStringList{"good.se .se 4 2026-12-09"} << false << 5;
        QTest::newRow("entries gone wrong, many")
            << QByteArray(R"({"data":[{"name":"good.se","release_at":"2026-12-09"},1,2,3,4,5,6]})") << ".se"
            << QStringList{} << true << 6;
        QTest::newRow("cut short") << QByteArray(R"({"data":[{"name":"example.se","release_at":)") << ".se"
                                   << QStringList{} << true << 0;
        QTest::newRow("no data") << QByteArray(R"({"items":[]})") << ".se" << QStringList{} << true << 0;
        QTest::newRow("data not a list") << QByteArray(R"({"data":{"name":"a.se"}})") << ".se" << QStringList{}
                                         << true << 0;
        QTest::newRow("empty list") << QByteArray(R"({"data":[]})") << ".se" << QStringList{} << true << 0;
        QTest::newRow("a bare list") << QByteArray(R"([{"name":"a.se","release_at":"2026-12-09"}])") << ".se"
                                     << QStringList{} << true << 0;
        QTest::newRow("HTML error page") << QByteArray("<html><body>502 Bad Gateway</body></html>") << ".se"
                                         << QStringList{} << true << 0;
        QTest::newRow("empty") << QByteArray() << ".nu" << QStringList{} << true << 0;
        QTest::newRow("unknown suffix") << QByteArray(R"({"data":[{"name":"a.se","release_at":"2026-12-09"}]})")
                                        << ".com" << QStringList{} << true << 0;
    }
    void swedish() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QFETCH(QStringList, expected);
        QFETCH(bool, refused);
        QFETCH(int, skipped);
        verifyList(parseSwedish(bytes, suffix), expected, refused, skipped);
    }

    void top_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("skipped");
        QTest::newRow("header and rows")
            << QByteArray("domain,deletetime\nabc.top,2026/12/09 14:30\n\"Q-1.top\" , \"2026/12/10 00:00\",x\n")
            << QStringList{"abc.top .top 3 2026-12-09", "q-1.top .top 3 2026-12-10"} << false << 0;
        QTest::newRow("GBK, CRLF") << gbk("域名,删除日期\r\n中文.top,2026/12/09 09:05\r\nxn--fiqs8s.top,2026/1/5 9:05\r\n")
                                   << QStringList{"中文.top .top 2 2026-12-09", "中国.top .top 2 2026-01-05"} << false << 0;
        QTest::newRow("no header") << QByteArray("abc.top,2026/12/09 14:30\nabd.top,2026-12-09\n")
                                   << QStringList{"abc.top .top 3 2026-12-09", "abd.top .top 3 2026-12-09"}
                                   << false << 0;
        QTest::newRow("bad dates, few")
            << QByteArray("name,time\nok.top,2026/12/09 14:30\na.top,2026/13/09 14:30\nb.top,2026/12/32 10:00\n"
                          "c.top,tomorrow\nd.top,2026/12/09 25:00\nf.com,2026/12/09 10:00\n")
            << QStringList{"ok.top .top 2 2026-12-09"} << false << 5;
        QTest::newRow("bad dates, many")
            << QByteArray("name,time\nok.top,2026/12/09 14:30\na.top,0\nb.top,0\nc.top,0\nd.top,0\ne.top,0\nf.top,0\n")
            << QStringList{} << true << 6;
        QTest::newRow("header only") << QByteArray("域名,删除时间\r\n") << QStringList{} << true << 0;
        QTest::newRow("HTML error page") << QByteArray("  <html><head><title>404</title></head></html>")
                                         << QStringList{} << true << 0;
        QTest::newRow("empty") << QByteArray("\r\n") << QStringList{} << true << 0;
    }
    void top() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QFETCH(bool, refused);
        QFETCH(int, skipped);
        verifyList(parseTop(bytes), expected, refused, skipped);
    }

    void registrySuffix_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("suffix");
        QTest::newRow(".com.cn") << "abc.com.cn" << ".com.cn";
        QTest::newRow(".cn") << "abc.cn" << ".cn";
        QTest::newRow("province") << "x.bj.cn" << ".bj.cn";
        QTest::newRow("last province, deeper") << "w.x.mo.cn" << ".mo.cn";
        QTest::newRow("unknown second level") << "abc.zz.cn" << ".cn";
        QTest::newRow("upper case, trailing dot") << "ABC.NET.CN." << ".net.cn";
        QTest::newRow("the suffix itself") << "com.cn" << "";
        QTest::newRow(".se") << "abc.se" << ".se";
        QTest::newRow(".top") << "中文.top" << ".top";
        QTest::newRow("unknown") << "abc.xyz" << "";
        QTest::newRow("no dot") << "cn" << "";
    }
    void registrySuffix() {
        QFETCH(QString, name);
        QFETCH(QString, suffix);
        QCOMPARE(sites::sources::registrySuffix(name), suffix);
    }

    void refuseShrunk_data() {
        QTest::addColumn<qsizetype>("now");
        QTest::addColumn<qsizetype>("before");
        QTest::addColumn<bool>("refused");
        QTest::newRow("first list") << qsizetype(3) << qsizetype(0) << false;
        QTest::newRow("empty, never before") << qsizetype(0) << qsizetype(0) << true;
        QTest::newRow("empty after a list") << qsizetype(0) << qsizetype(40) << true;
        QTest::newRow("a tenth") << qsizetype(10) << qsizetype(100) << false;
        QTest::newRow("under a tenth") << qsizetype(9) << qsizetype(100) << true;
        QTest::newRow("small lists vary") << qsizetype(1) << qsizetype(99) << false;
        QTest::newRow("large, cut") << qsizetype(49'999) << qsizetype(500'000) << true;
        QTest::newRow("grown") << qsizetype(200'000) << qsizetype(1'000) << false;
    }
    void refuseShrunk() {
        QFETCH(qsizetype, now);
        QFETCH(qsizetype, before);
        QFETCH(bool, refused);
        const QString why = sites::sources::refuseShrunk(now, before);
        QCOMPARE(!why.isEmpty(), refused);
        QVERIFY(!why.contains(u'\n'));
    }
};

QTEST_GUILESS_MAIN(TestSources)
#include "tst_sources.moc"
