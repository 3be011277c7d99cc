// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/startup.h"
#include "rig.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {

const QString kFailed = QStringLiteral("日期载入失败，请检查网络后重新打开本工具");
// Today's date follows the 18-character marker "</a> &nbsp;&nbsp; ".
const QString kToday = QStringLiteral("<a href=/>首页</a> &nbsp;&nbsp; ");
const QStringList kFive = {"2011-03-04", "2011-03-05", "2011-03-07", "2011-03-08", "2011-03-09"};

// A home page in the listing service's form: the heading and a table of date links, with
// `before` and `after` around them.
QString homePage(const QStringList& dates, const QString& before, const QString& after = "") {
    QString page = before + "<h1>四天后的删除域名查询</h1><table>";
    for (const QString& d : dates)
        page += "<tr><td><a href=deleteddate.php?date=" + d + ">" + d + "</a></td></tr>";
    return page + "</table>" + after;
}

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
    QTest::newRow("page order, today up to the next blank")
        << homePage(kFive, kToday + "2011-03-06 rest") << full;
    QTest::newRow("today's marker after the table")
        << homePage(kFive, "", kToday + "D1 z") << kFive + QStringList{"D1"};
    QTest::newRow("today without a blank after it takes the rest of the page")
        << homePage(kFive, "", kToday + "2011-03-06") << full;
    QTest::newRow("a second marker before the next blank ends today's date")
        << homePage(kFive, kToday + "D2</a> &nbsp;&nbsp; x ") << kFive + QStringList{"D2"};
    QTest::newRow("today's date empty before a blank")
        << homePage(kFive, kToday + " 2011-03-06 ") << kFive + QStringList{""};
    QTest::newRow("a second marker straight after the first: no date")
        << homePage(kFive, kToday + "</a> &nbsp;&nbsp; 2011-03-06 ") << kFive;
    // Incomplete pages: cutting stops at the first piece that is missing.
    QTest::newRow("empty page") << QString() << QStringList{};
    QTest::newRow("no heading") << homePage(kFive, kToday + "x ").remove("四天后的删除域名查询")
                                << QStringList{};
    QTest::newRow("</table ends the table")
        << homePage(kFive.mid(0, 2), kToday + "x ", "<a>2011-03-07</a>") << kFive.mid(0, 2);
    QTest::newRow("links of another year are not found")
        << homePage({"2011-03-04", "2012-03-05", "2011-03-07", "2011-03-08", "2011-03-09"},
                    kToday + "x ")
        << QStringList{"2011-03-04", "2011-03-07", "2011-03-08", "2011-03-09"};
    QTest::newRow("no today marker") << homePage(kFive, "<a>x</a> &nbsp; x ") << kFive;
}

void TestStartup::parse() {
    QFETCH(QString, page);
    QFETCH(QStringList, slotTexts);
    QCOMPARE(listing::parseStartupDates(page).slotTexts, slotTexts);
}

void TestStartup::fillsSlotsAndDropsCover_data() {
    QTest::addColumn<FixtureServer::Reply>("reply");
    QTest::addColumn<QStringList>("dateSlots"); // Text1 .. Text6 afterwards
    QTest::addColumn<QString>("status");
    QTest::newRow("complete page")
        << FixtureServer::answer(homePage(kFive, kToday + "2011-03-06 ").toUtf8())
        << QString("2011-03-06 2011-03-05 2011-03-04 2011-03-07 2011-03-08 2011-03-09").split(' ')
        << "..";
    QTest::newRow("two links, then the table ends")
        << FixtureServer::answer(homePage(kFive.mid(0, 2), kToday + "2011-03-06 ").toUtf8())
        << QStringList{"", "2011-03-05", "2011-03-04", "Text4", "Text5", "Text6"} << kFailed;
}

void TestStartup::fillsSlotsAndDropsCover() {
    QFETCH(FixtureServer::Reply, reply);
    QFETCH(QStringList, dateSlots);
    QFETCH(QString, status);
    Rig rig;
    Form1& form = *rig.form;
    rig.server.setReply("/", reply);
    form.show();
    bool coverShownDuringFetch = false;
    rig.server.onRequest = [&](const QString&) {
        coverShownDuringFetch = form.Picture1->isVisible();
    };
    form.Picture1->hide(); // the discovery shows the cover itself
    form.Command11_Click();
    QVERIFY(coverShownDuringFetch);
    QVERIFY(!form.Picture1->isVisible());
    const QStringList got = {form.Text1->text(), form.Text2->text(), form.Text3->text(),
                             form.Text4->text(), form.Text5->text(), form.Text6->text()};
    QCOMPARE(got, dateSlots);
    QCOMPARE(form.Label8->text(), status);
}

// Timer1 starts the discovery once: it must not tick again while or after the page loads.
void TestStartup::timerStartsDiscoveryOnce() {
    FixtureServer server;
    QVERIFY(server.listen());
    server.setReply("/", FixtureServer::answer(homePage(kFive, kToday + "2011-03-06 ").toUtf8()));
    Form1 form({server.origin() + "/", server.origin(), server.origin()});
    form.Timer3->stop();
    form.show();
    QTRY_COMPARE_WITH_TIMEOUT(form.Text1->text(), QStringLiteral("2011-03-06"), 10000);
    QVERIFY(!form.Timer1->isActive());
    QCOMPARE(server.targets(), QStringList{"/"});
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
