#include "fixtureserver.h"
#include "listing/startup.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

const QString kFailed = QStringLiteral("日期载入失败，请检查网络后重新打开本工具");

// A home page in the listing service's form: the heading, a table of five date links, and
// elsewhere today's date after the 18-character marker.
QString homePage(const QString& table, const QString& todayPart) {
    return "<html><body><a href=/>首页</a> &nbsp;&nbsp; " + todayPart +
           "<h1>四天后的删除域名查询</h1><table>" + table + "</table><p>more</p></body></html>";
}

QString links(const QStringList& dates) {
    QString out;
    for (const QString& d : dates)
        out += "<tr><td><a href=deleteddate.php?date=" + d + ">" + d + "</a></td></tr>";
    return out;
}

const QStringList kFive = {"2011-03-04", "2011-03-05", "2011-03-07", "2011-03-08", "2011-03-09"};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void fillsSlotsAndDropsCover_data();
    void fillsSlotsAndDropsCover();
    void timerStartsDiscoveryOnce();
};

void TestStartup::parse_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("slotTexts"); // Text3, Text2, Text4, Text5, Text6, Text1

    const QStringList full = kFive + QStringList{"2011-03-06"};
    QTest::newRow("page order") << homePage(links(kFive), "2011-03-06 ") << full;
    QTest::newRow("text before the first link ignored")
        << homePage("<tr><td>year 2011</td></tr>" + links(kFive), "2011-03-06 ") << full;
    QTest::newRow("only the first five links")
        << homePage(links(kFive + QStringList{"2011-09-09"}), "2011-03-06 ") << full;
    QTest::newRow("date taken unchanged up to </a>")
        << homePage("<a>2011-1 <b>x</b></a><a>2011B</a><a>2011C</a><a>2011D</a><a>2011E</a>", "t ")
        << QStringList{"2011-1 <b>x</b>", "2011B", "2011C", "2011D", "2011E", "t"};
    QTest::newRow("today from before the heading, up to the next blank")
        << homePage(links(kFive), "2011-03-06 rest") << full;
    QTest::newRow("today without a blank after it takes the rest of the page")
        << ("<h1>四天后的删除域名查询</h1><table>" + links(kFive) +
            "</table><a>x</a> &nbsp;&nbsp; 2011-03-06")
        << full;
    QTest::newRow("today's marker after the table")
        << ("<h1>四天后的删除域名查询</h1><table>" + links(kFive) +
            "</table><a>x</a> &nbsp;&nbsp; D1 z")
        << kFive + QStringList{"D1"};
    QTest::newRow("a second marker before the next blank ends today's date")
        << homePage(links(kFive), "D2</a> &nbsp;&nbsp; x ") << kFive + QStringList{"D2"};
    QTest::newRow("today's date empty before a blank")
        << homePage(links(kFive), " 2011-03-06 ") << kFive + QStringList{""};
    QTest::newRow("a second marker straight after the first: no date")
        << homePage(links(kFive), "</a> &nbsp;&nbsp; 2011-03-06 ") << kFive;

    // Incomplete pages: cutting stops at the first piece that is missing.
    QTest::newRow("empty page") << QString() << QStringList{};
    QTest::newRow("no heading") << homePage(links(kFive), "x ").remove("四天后的删除域名查询")
                                << QStringList{};
    QTest::newRow("</table ends the table")
        << homePage(links(kFive.mid(0, 2)) + "</table>" + links(kFive.mid(2)), "x ")
        << kFive.mid(0, 2);
    QTest::newRow("links of another year are not found")
        << homePage(links({"2011-03-04", "2012-03-05", "2011-03-07", "2011-03-08", "2011-03-09",
                           "2012-01-01"}),
                    "x ")
        << QStringList{"2011-03-04", "2011-03-07", "2011-03-08", "2011-03-09"};
    QTest::newRow("no today marker")
        << homePage(links(kFive), "x ").replace("&nbsp;&nbsp;", "&nbsp;") << kFive;
    QTest::newRow("a link without </a> runs to the end of the table")
        << "<h1>四天后的删除域名查询</h1><table><a>2011-03-04</a><a>2011-03-05" << kFive.mid(0, 2);
}

void TestStartup::parse() {
    QFETCH(QString, page);
    QFETCH(QStringList, slotTexts);
    const listing::StartupDates dates = listing::parseStartupDates(page);
    QCOMPARE(dates.slotTexts, slotTexts);
    QCOMPARE(dates.complete(), slotTexts.size() == 6);
}

void TestStartup::fillsSlotsAndDropsCover_data() {
    QTest::addColumn<FixtureServer::Reply>("reply");
    QTest::addColumn<QStringList>("dateSlots"); // Text1 .. Text6 afterwards
    QTest::addColumn<QString>("status");

    QTest::newRow("complete page")
        << FixtureServer::answer(homePage(links(kFive), "2011-03-06 ").toUtf8())
        << QStringList{"2011-03-06", "2011-03-05", "2011-03-04",
                       "2011-03-07", "2011-03-08", "2011-03-09"}
        << "..";
    QTest::newRow("two links, then the table ends")
        << FixtureServer::answer(homePage(links(kFive.mid(0, 2)), "2011-03-06 ").toUtf8())
        << QStringList{"", "2011-03-05", "2011-03-04", "Text4", "Text5", "Text6"} << kFailed;
    QTest::newRow("error page") << FixtureServer::answer("<h1>500</h1>", 500)
                                << QStringList{"", "Text2", "Text3", "Text4", "Text5", "Text6"}
                                << kFailed;
    QTest::newRow("connection closed")
        << FixtureServer::closing() << QStringList{"", "Text2", "Text3", "Text4", "Text5", "Text6"}
        << kFailed;
}

void TestStartup::fillsSlotsAndDropsCover() {
    QFETCH(FixtureServer::Reply, reply);
    QFETCH(QStringList, dateSlots);
    QFETCH(QString, status);
    FixtureServer server;
    QVERIFY(server.listen());
    server.setReply("/", reply);
    Form1 form({server.origin() + "/", server.origin(), server.origin()});
    form.Timer1->stop();
    form.Timer3->stop();
    form.show();
    bool coverShownDuringFetch = false;
    server.onRequest = [&](const QString&) { coverShownDuringFetch = form.Picture1->isVisible(); };
    form.Picture1->hide(); // the discovery shows the cover itself
    form.Command11_Click();
    QVERIFY(coverShownDuringFetch);
    QVERIFY(!form.Picture1->isVisible());
    const QStringList got = {form.Text1->text(), form.Text2->text(), form.Text3->text(),
                             form.Text4->text(), form.Text5->text(), form.Text6->text()};
    QCOMPARE(got, dateSlots);
    QCOMPARE(form.Label8->text(), status);
    QStringList targets = server.targets(); // the client may retry a dropped connection once
    targets.removeDuplicates();
    QCOMPARE(targets, QStringList{"/"});
}

// The timer switches itself off before the discovery waits, so a slow home page is asked
// for once, however long it takes.
void TestStartup::timerStartsDiscoveryOnce() {
    FixtureServer server;
    QVERIFY(server.listen());
    server.setReply("/", FixtureServer::held(homePage(links(kFive), "2011-03-06 ").toUtf8()));
    bool timerOffDuringWait = false;
    server.onRequest = [&](const QString& target) {
        if (target == "/")
            QTimer::singleShot(1600, &server, [&] { server.release("/"); });
    };
    Form1 form({server.origin() + "/", server.origin(), server.origin()});
    form.MsgBox = [](const QString&, int, const QString&) { return MsgBoxCancel; };
    form.Timer3->stop();
    QTimer probe;
    connect(&probe, &QTimer::timeout, &form, [&] {
        if (server.heldCount() == 1)
            timerOffDuringWait = !form.Timer1->isActive();
    });
    probe.start(50);
    form.show();
    QTRY_COMPARE_WITH_TIMEOUT(form.Text1->text(), QStringLiteral("2011-03-06"), 10000);
    QVERIFY(timerOffDuringWait);
    QCOMPARE(server.targets().count("/"), 1);
    QVERIFY(!form.Picture1->isVisible());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
