// SPDX-License-Identifier: GPL-3.0-or-later
// The split step and every scraper built on it, on pages cut down to what they read.
#include "listing/daysummary.h"
#include "listing/domainlist.h"
#include "listing/export.h"
#include "listing/startup.h"
#include "lookup/lookuppage.h"
#include "maintenance/versionfile.h"
#include "scrape/split.h"

#include <QTest>

namespace {

// A home page: the heading and a table of date links, with `before` and `after` around them.
QString homePage(const QStringList& dates, const QString& before, const QString& after = {}) {
    QString page = before + "<h1>四天后的删除域名查询</h1><table>";
    for (const QString& d : dates)
        page += "<tr><td><a href=deleteddate.php?date=" + d + ">" + d + "</a></td></tr>";
    return page + "</table>" + after;
}

} // namespace

class TestScrape : public QObject {
    Q_OBJECT
private slots:
    void split_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("pieces from 0") << "a,b,c"
                                       << "," << QStringList{"a", "b", "c"};
        QTest::newRow("no marker") << "abc"
                                   << "," << QStringList{"abc"};
        QTest::newRow("empty pieces") << ",a,,b,"
                                      << "," << QStringList{"", "a", "", "b", ""};
        QTest::newRow("empty text, no pieces") << ""
                                               << "," << QStringList{};
        QTest::newRow("case-sensitive") << "aXbxc"
                                        << "x" << QStringList{"aXb", "c"};
        QTest::newRow("no overlap") << "aaaaa"
                                    << "aa" << QStringList{"", "", "a"};
    }
    // By number and one after another, the pieces agree and end where the split ends; the
    // remove step takes out what the split would cut at.
    void split() {
        QFETCH(QString, text);
        QFETCH(QString, marker);
        QFETCH(QStringList, pieces);
        scrape::Pieces inOrder(text, marker);
        for (int i = 0; i <= pieces.size(); ++i) {
            QCOMPARE(scrape::piece(text, marker, i).value_or(u"-").toString(),
                     pieces.value(i, "-"));
            QCOMPARE(inOrder.next().value_or(u"-").toString(), pieces.value(i, "-"));
        }
        QCOMPARE(scrape::removeAll(text, marker), pieces.join(""));
        QCOMPARE(scrape::removeAll(u"<<b>b>", u"<b>"), QStringLiteral("<b>")); // no second look
    }

    void startup_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("slotTexts"); // Text3, Text2, Text4, Text5, Text6, Text1
        const QString today = QStringLiteral("<a href=/>首页</a> &nbsp;&nbsp; ");
        const QStringList five = {"2011-03-04", "2011-03-05", "2011-03-07", "2011-03-08",
                                  "2011-03-09"};
        const QStringList full = five + QStringList{"2011-03-06"};
        QTest::newRow("today up to a blank") << homePage(five, today + "2011-03-06 x") << full;
        QTest::newRow("a second marker ends today")
            << homePage(five, today + "D2</a> &nbsp;&nbsp; x ") << five + QStringList{"D2"};
        QTest::newRow("no heading")
            << homePage(five, today + "x ").remove("四天后") << QStringList{};
        QTest::newRow("</table ends the links")
            << homePage(five.mid(0, 2), today + "x ", "<a>2011-03-07</a>") << five.mid(0, 2);
        QTest::newRow("a second heading ends the links")
            << homePage(five, today + "x ")
                   .replace("<tr>", "<tr>四天后的删除域名查询")
                   .replace("</table>", "")
            << QStringList{};
        QTest::newRow("another year is no link")
            << homePage({"2011-03-04", "2012-03-05", "2011-03-07"}, today + "x ")
            << QStringList{"2011-03-04", "2011-03-07"};
    }
    void startup() {
        QFETCH(QString, page);
        QFETCH(QStringList, slotTexts);
        QCOMPARE(listing::parseStartupDates(page).slotTexts, slotTexts);
    }

    // Counts go by occurrence: text before the first marker and the eighth are no counts, and
    // a marker followed at once by "<" is an empty count.
    void daySummary() {
        const auto summary = listing::parseDaySummary(
            u"<td noWrap><font color=red>5月3日</font>9<length=3\"><length=4\">x<length=3\">b<"
            u"length=3\">c<length=3\">d<length=3\">e<length=3\">f<length=3\">g<length=3\">h<");
        QStringList got{summary.printedDate.value_or("-")};
        for (auto [length, i] : {std::pair{3, 1}, {3, 2}, {3, 7}, {4, 1}, {4, 2}})
            got << summary.count(length, i).value_or("-");
        QCOMPARE(got, (QStringList{"5月3日", "", "b", "g", "x", "-"}));
    }

    // A cell's caption: the pages to ask for, and the count of names that completes the list.
    void cells_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("complete"); // -1: no count does
        const std::tuple<int, const char*, int, int> rows[] = {
            {4, "0", 1, 0},     {4, "100", 1, 100},  {4, "101", 2, 101},        {4, "149", 2, 149},
            {4, "250", 3, 250}, {4, " +57 ", 1, 57}, {3, " 57", 1, -1},         {3, "57", 1, 57},
            {4, "...", 1, -1},  {4, "1,234", 1, -1}, {4, "3276701", 1, 3276701}};
        for (auto [length, caption, pages, complete] : rows)
            QTest::addRow("%d: %s", length, caption) << length << caption << pages << complete;
    }
    void cells() {
        QFETCH(int, length);
        QFETCH(QString, caption);
        QFETCH(int, pages);
        QFETCH(int, complete);
        QCOMPARE(listing::pageCount(caption), pages);
        const listing::EndTest end(length, caption);
        for (int entries : {0, 56, 57, 100, 101, 149, 250, 3276701})
            QVERIFY2(end.met(entries) == (entries == complete),
                     qPrintable(QString::number(entries)));
    }

    // Names are the text after each link marker up to ">", unchanged, from the first 100 links.
    void listPage() {
        QString page = "<a href=B/w?d= sp ace.com >x</a>href=B/w?d=中文.comhref=B/w?d=";
        for (int k = 0; k < 120; ++k)
            page += QStringLiteral("href=B/w?d=n%1.com>").arg(k);
        const QStringList names = listing::namesOnPage(page, u"href=B/w?d=");
        QCOMPARE(names.size(), 99); // the link between two markers holds none
        QCOMPARE(names.mid(0, 3), (QStringList{" sp ace.com ", "中文.com", "n0.com"}));
        QCOMPARE(names.last(), QStringLiteral("n96.com"));
    }

    void lookup_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("shown"); // the five cells, then the countdown
        const auto cells = [](const QStringList& values, const QString& countdown) {
            QString page;
            for (const QString& v : values)
                page += "<td class=\"deltd\">x</td><td class=\"deltd1\">" + v + "</td>";
            return page + "<div>还剩：" + countdown + "</div>";
        };
        QTest::newRow("bold and mark removed, the rest kept")
            << cells({"<b>1</b>(近似值)", "<B>2</B>", " 3", "<i>4</i>", "5（近似值）", "6"},
                     " 3 天\u00A04\t时 ")
            << "1|<B>2</B>| 3|<i>4</i>|5（近似值）|3天\u00A04\t时";
        QTest::newRow("fewer cells") << cells({"1", "2"}, "9") << "1|2||||9";
        QTest::newRow("no markers") << "<td class=\"deltd\">x</td> 还剩：3天"
                                    << "|||||";
    }
    void lookup() {
        QFETCH(QString, page);
        QFETCH(QString, shown);
        const lookup::LookupPage values = lookup::parseLookupPage(page);
        QCOMPARE(QStringList(values.fields.begin(), values.fields.end()).join('|') + '|' +
                     values.countdown,
                 shown);
    }

    void versionLine_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("line"); // empty: no question
        QTest::newRow("equal") << "8.8\r\n更新说明"
                               << "";
        QTest::newRow("trailing blank") << "8.8 \r\n"
                                        << "8.8 ";
        QTest::newRow("LF only") << "8.8\n说明\n"
                                 << "8.8\n说明\n";
        QTest::newRow("error page") << "<html><title>404 Not Found</title></html>"
                                    << "";
        QTest::newRow("past 1,000 characters") << QString(1200, u'说') + "\r\n"
                                               << QString(1000, u'说') + "…";
    }
    void versionLine() {
        QFETCH(QString, page);
        QFETCH(QString, line);
        QCOMPARE(maintenance::newVersionLine(page).value_or(QString()), line);
    }

    void csv() {
        QCOMPARE(listing::listCsvHeader() +
                     listing::listCsvRows({"a\"b,c.com"}, 5, ".com", "5月3日"),
                 QStringLiteral("name,length,suffix,day\r\n\"a\"\"b,c.com\",5,.com,5月3日\r\n"));
        QCOMPARE(listing::csvRow({"a\nb", "x\ry", "plain"}),
                 QStringLiteral("\"a\nb\",\"x\ry\",plain\r\n"));
        QCOMPARE(listing::namesAsText({"a.com", "b.cn"}), QStringLiteral("a.com\nb.cn\n"));
        QCOMPARE(listing::listFileStem("2011/05:03", ".com.cn", 5),
                 QStringLiteral("2011_05_03_com.cn_5"));
    }
};

QTEST_APPLESS_MAIN(TestScrape)
#include "tst_scrape.moc"
