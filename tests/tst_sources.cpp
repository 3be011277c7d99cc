// SPDX-License-Identifier: GPL-3.0-or-later
// The registries' deletion lists as they may come: each format's shapes, encodings and line
// ends, and the pages and garbage that must be refused rather than stored.
#include "names/domainname.h"
#include "sources/droplists.h"

#include <QStringEncoder>
#include <QTest>

using namespace sites::sources;

namespace {

QByteArray gbk(const QString& text) {
    return QStringEncoder("windows-936").encode(text);
}

const QByteArray page = "\r\n<!DOCTYPE html>\n<html><body>404 Not Found\nabc.cn\n</body></html>\n";

} // namespace

class TestSources : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("format"); // "cnnic" (for 2026-12-09), ".se", ".nu" or "top"
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected"); // "name suffix length day[ time]"
        QTest::addColumn<int>("skipped");          // -1: refused
        const QString d9 = " 2026-12-09";
        QTest::newRow("cnnic plain") << "cnnic" << QByteArray("abc.cn\nhello.com.cn\n")
                                     << QStringList{"abc.cn .cn 3" + d9, "hello.com.cn .com.cn 5" + d9} << 0;
        QTest::newRow("cnnic bracketed") << "cnnic" << QByteArray("[abc.cn]\n[ x1-y.bj.cn ]")
                                         << QStringList{"abc.cn .cn 3" + d9, "x1-y.bj.cn .bj.cn 4" + d9} << 0;
        QTest::newRow("cnnic CRLF, blank lines, blanks")
            << "cnnic" << QByteArray("  abc.cn \r\n\r\n\r\n\tDEF.CN\r\nq.cn.\r\n")
            << QStringList{"abc.cn .cn 3" + d9, "def.cn .cn 3" + d9, "q.cn .cn 1" + d9} << 0;
        QTest::newRow("cnnic UTF-8 BOM") << "cnnic" << QByteArray("\xEF\xBB\xBF" "abc.cn\n中文.cn\n")
                                         << QStringList{"abc.cn .cn 3" + d9, "中文.cn .cn 2" + d9} << 0;
        QTest::newRow("cnnic GBK") << "cnnic" << QByteArray("abc.cn\r\n") + gbk("中文网.cn\r\n[北京.net.cn]")
                                   << QStringList{"abc.cn .cn 3" + d9, "中文网.cn .cn 3" + d9,
                                                  "北京.net.cn .net.cn 2" + d9} << 0;
        QTest::newRow("cnnic IDN A-labels and U-labels")
            << "cnnic" << QByteArray("xn--fiqs8s.cn\nXN--FIQS8S.NET.CN\n中国.cn\nＡＢＣ.cn\n")
            << QStringList{"中国.cn .cn 2" + d9, "中国.net.cn .net.cn 2" + d9, "abc.cn .cn 3" + d9} << 0;
        QTest::newRow("cnnic second levels") // abc.zz.cn: two labels under .cn
            << "cnnic" << QByteArray("abc.net.cn\nabc.gov.cn\nabc.mo.cn\nabc.zz.cn\n")
            << QStringList{"abc.net.cn .net.cn 3" + d9, "abc.gov.cn .gov.cn 3" + d9,
                           "abc.mo.cn .mo.cn 3" + d9} << 1;
        QTest::newRow("cnnic garbage tolerated")
            << "cnnic" << "域名列表 2026-12-09\nabc.cn\nab cd.cn\n" + QByteArray(300, 'a') + ".cn\nd.cn"
            << QStringList{"abc.cn .cn 3" + d9, "d.cn .cn 1" + d9} << 3;
        QTest::newRow("cnnic garbage, 7 of 12 lines")
            << "cnnic" << QByteArray("a_b.cn\n-ab.cn\nab-.cn\nabc.com\nxn--abc.cn\ncom.cn\nwww.abc.cn\n"
                                     "ok.cn\na.cn\nb.cn\nc.cn\nd.cn\n") << QStringList{} << -1;
        QTest::newRow("cnnic names of other registries") // kept out, counted as not names
            << "cnnic" << QByteArray("abc.com\nabc.cn\nabc.top\nabc.se\n中文.公司\n")
            << QStringList{"abc.cn .cn 3" + d9, "中文.公司 .公司 2" + d9} << 3;
        QTest::newRow("cnnic a name twice") << "cnnic" << QByteArray("abc.cn\nABC.cn\n[abc.cn.]\n")
                                            << QStringList{"abc.cn .cn 3" + d9} << 0;
        QTest::newRow("cnnic HTML page") << "cnnic" << page << QStringList{} << -1;
        QTest::newRow("cnnic empty") << "cnnic" << QByteArray("\xEF\xBB\xBF \r\n\r\n") << QStringList{} << -1;
        QTest::newRow("cnnic no names") << "cnnic" << QByteArray("Service unavailable\n")
                                        << QStringList{} << -1;

        QTest::newRow("se dates and times")
            << ".se" << QByteArray(R"({"data":[{"name":"example.se","release_at":"2026-12-09"},)"
                                   R"({"name":"Other.SE","release_at":"2026-12-10T04:00:00Z","x":1},)"
                                   R"({"name":"xn--bc-uia.se","release_at":"2026-12-11 04:00"}]})")
            << QStringList{"example.se .se 7" + d9, "other.se .se 5 2026-12-10", "äbc.se .se 3 2026-12-11"}
            << 0;
        QTest::newRow("nu with BOM, other keys, a .se name")
            << ".nu" << QByteArray("\xEF\xBB\xBF" R"({"meta":{"n":2},"data":[{"release_at":"2026-12-09",)"
                                   R"("name":"a-1.nu"},{"name":"b.se","release_at":"2026-12-09"}]})")
            << QStringList{"a-1.nu .nu 3" + d9} << 1;
        const QByteArray badEntries = R"({"name":"bad.se"},{"name":"late.se","release_at":"2026-13-09"},)"
                                      R"({"name":"x_y.se","release_at":"2026-12-09"},7,)"
                                      R"({"name":"odd.se","release_at":"2026-12-09X"})";
        QTest::newRow("se 5 entries wrong")
            << ".se" << R"({"data":[{"name":"good.se","release_at":"2026-12-09"},)" + badEntries + "]}"
            << QStringList{"good.se .se 4" + d9} << 5;
        QTest::newRow("se 6 entries wrong")
            << ".se" << R"({"data":[{"name":"good.se","release_at":"2026-12-09"},1,)" + badEntries + "]}"
            << QStringList{} << -1;
        QTest::newRow("se cut short") << ".se" << QByteArray(R"({"data":[{"name":"a.se","release_at":)")
                                      << QStringList{} << -1;
        QTest::newRow("se no data list") << ".se" << QByteArray(R"({"data":{}})") << QStringList{} << -1;
        QTest::newRow("se empty list") << ".se" << QByteArray(R"({"data":[]})") << QStringList{} << -1;
        QTest::newRow("se bare list") << ".se" << QByteArray(R"([{"name":"a.se","release_at":"2026-12-09"}])")
                                      << QStringList{} << -1;
        QTest::newRow("se HTML page") << ".se" << page << QStringList{} << -1;

        QTest::newRow("top header and rows")
            << "top" << QByteArray("domain,deletetime\nabc.top,2026/12/09 14:30\n\"Q-1.top\" , \"2026/12/10 00:00\",x")
            << QStringList{"abc.top .top 3" + d9 + " 14:30", "q-1.top .top 3 2026-12-10 00:00"} << 0;
        QTest::newRow("top GBK, CRLF")
            << "top" << gbk("域名,删除日期\r\n中文.top,2026/12/09 09:05\r\nxn--fiqs8s.top,2026/1/5 9:05\r\n")
            << QStringList{"中文.top .top 2" + d9 + " 09:05", "中国.top .top 2 2026-01-05 09:05"} << 0;
        QTest::newRow("top no header") << "top" << QByteArray("abc.top,2026/12/09 14:30\nabd.top,2026-12-09\n")
                                       << QStringList{"abc.top .top 3" + d9 + " 14:30", "abd.top .top 3" + d9} << 0;
        const QByteArray badRows = "a.top,2026/13/09 14:30\nb.top,2026/12/32 10:00\nc.top,tomorrow\n"
                                   "d.top,2026/12/09 25:00\nf.com,2026/12/09 10:00\n";
        QTest::newRow("top 5 bad dates") << "top" << "name,time\nok.top,2026/12/09 14:30\n" + badRows
                                         << QStringList{"ok.top .top 2" + d9 + " 14:30"} << 5;
        QTest::newRow("top 6 bad dates") << "top" << "name,time\nok.top,2026/12/09 14:30\ne.top\n" + badRows
                                         << QStringList{} << -1;
        QTest::newRow("top header only") << "top" << QByteArray("域名,删除时间\r\n") << QStringList{} << -1;
    }
    void parse() {
        QFETCH(QString, format);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QFETCH(int, skipped);
        const ParsedList list = format == u"cnnic" ? parseCnnic(bytes, QDate(2026, 12, 9))
                                : format == u"top" ? parseTop(bytes)
                                                   : parseSwedish(bytes, format);
        QCOMPARE(!list.error.isEmpty(), skipped < 0);
        QVERIFY(!list.error.contains(u'\n'));
        QStringList rows;
        for (const DropName& name : list.names)
            rows << QStringLiteral("%1 %2 %3 %4").arg(name.name, name.suffix).arg(name.length)
                        .arg(name.day.toString(Qt::ISODate))
                  + (name.time.isValid() ? name.time.toString(u" HH:mm") : QString());
        QCOMPARE(rows, expected);
        if (skipped >= 0)
            QCOMPARE(list.skipped, skipped);
    }

    void registrySuffix_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("deeper") << "w.x.mo.cn" << ".mo.cn";
        QTest::newRow("the suffix itself") << "com.cn" << "";
        QTest::newRow(".top") << "中文.top" << ".top";
        QTest::newRow("unknown") << "abc.xyz" << "";
    }
    void registrySuffix() {
        QFETCH(QString, name);
        QFETCH(QString, suffix);
        QCOMPARE(sites::sources::registrySuffix(name), suffix);
    }

    // The one rule every name from outside goes through: lists, zones, lookups, the store.
    void domainName_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("unicode"); // "": not a domain name
        QTest::addColumn<QString>("ace");
        QTest::addColumn<bool>("address");
        QTest::newRow("upper case, blanks, final dot") << " ABC.Cn. " << "abc.cn" << "abc.cn" << false;
        QTest::newRow("U-labels mapped") << "例子。ＣＯＭ" << "例子.com" << "xn--fsqu00a.com" << false;
        QTest::newRow("A-label decoded") << "XN--FSQU00A.com" << "例子.com" << "xn--fsqu00a.com" << false;
        QTest::newRow("A-label that does not decode") << "xn--a.com" << "" << "" << false;
        QTest::newRow("one label") << "com." << "" << "" << false;
        QTest::newRow("hyphen at a label's end") << "ab-.cn" << "" << "" << false;
        QTest::newRow("label of 64") << QString(64, u'a') + ".cn" << "" << "" << false;
        QTest::newRow("blank inside") << "a b.cn" << "" << "" << false;
        QTest::newRow("an address") << "10.0.0.1" << "10.0.0.1" << "10.0.0.1" << true;
        QTest::newRow("empty label") << "a..cn" << "" << "" << false;
    }
    void domainName() {
        QFETCH(QString, raw);
        QFETCH(QString, unicode);
        QFETCH(QString, ace);
        QFETCH(bool, address);
        QCOMPARE(sites::names::unicodeName(raw), unicode);
        QCOMPARE(sites::names::endsInNumber(raw), address);
        QCOMPARE(sites::names::aceName(raw), ace);
        QCOMPARE(normalizedName(u'[' + raw + u']'), unicode);
    }

    void refuseShrunk_data() {
        QTest::addColumn<qsizetype>("now");
        QTest::addColumn<qsizetype>("before");
        QTest::addColumn<bool>("refused");
        QTest::newRow("first list") << qsizetype(3) << qsizetype(0) << false;
        QTest::newRow("empty") << qsizetype(0) << qsizetype(0) << true;
        QTest::newRow("a tenth") << qsizetype(10) << qsizetype(100) << false;
        QTest::newRow("under a tenth") << qsizetype(9) << qsizetype(100) << true;
        QTest::newRow("small lists vary") << qsizetype(1) << qsizetype(99) << false;
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
