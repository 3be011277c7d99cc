// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/daysummary.h"
#include "rig.h"
#include "window/form1.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// A day summary as the service lays it out: the date, then a table row by row, each count
// the text of a link whose address ends in `length=n">`; count (n, i) is n * 10 + i.
QString summaryPage(const QString& date) {
    QString page = "<html><table><tr><td noWrap><font color=red>" + date + "</font></td></tr>";
    for (int length = 3; length <= 7; ++length)
        for (int i = 1; i <= 7; ++i)
            page += QStringLiteral("<td><a href=\"deleteddomain.php?length=%1\">%2</a>")
                        .arg(length)
                        .arg(length * 10 + i);
    return page + "</table></html>";
}

struct GridRig : Rig {
    GridRig() {
        for (int k = 1; k <= 6; ++k) // the six date slots
            form->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(k))
                ->setText(QStringLiteral("d%1").arg(k));
    }
    // Loads today's slot, answered with `reply`.
    void load(const FixtureServer::Reply& reply) {
        server.setReply("/deleteddate.php?date=d1", reply);
        form->Command3->click();
    }
};

} // namespace

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void parse();
    void buttons_data();
    void buttons();
    void laterPages();
    void oneLoadAtATime();
};

// Counts go by occurrence: text before the first marker and the eighth are no counts, and
// a marker followed at once by "<" is an empty count.
void GridTest::parse() {
    const auto summary = listing::parseDaySummary(
        u"9<length=3\"><length=4\">x<length=3\">b<length=3\">c<length=3\">d<length=3\">e<"
        u"length=3\">f<length=3\">g<length=3\">h<");
    QStringList got;
    for (auto [length, i] : {std::pair{3, 1}, {3, 2}, {3, 7}, {4, 1}, {4, 2}})
        got << summary.count(length, i).value_or("<none>");
    QCOMPARE(got, (QStringList{"", "b", "g", "x", "<none>"}));
}

// Each date button fetches its own slot and reads the page in its own encoding.
void GridTest::buttons_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("slot"); // Text1 ... Text6
    QTest::addColumn<bool>("gbk");
    const std::tuple<int, int, bool> rows[] = {{1, 3, false}, {2, 2, true}, {3, 1, false},
                                               {4, 4, true},  {5, 5, true}, {6, 6, true}};
    for (auto [button, slot, gbk] : rows)
        QTest::addRow("Command%d", button) << button << slot << gbk;
}

void GridTest::buttons() {
    QFETCH(int, button);
    QFETCH(int, slot);
    QFETCH(bool, gbk);
    GridRig rig;
    QByteArray body = summaryPage("2011年5月3日").replace("31<", "三十<").toUtf8();
    if (gbk) // 年 月 日 三 十, as code page 936 writes them
        body.replace("年", "\xC4\xEA")
            .replace("月", "\xD4\xC2")
            .replace("日", "\xC8\xD5")
            .replace("三十", "\xC8\xFD\xCA\xAE");
    rig.server.setFallback(FixtureServer::answer(body));
    rig.form->findChild<QPushButton*>(QStringLiteral("Command%1").arg(button))->click();
    QCOMPARE(rig.server.targets().join(' '), QStringLiteral("/deleteddate.php?date=d%1").arg(slot));
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011年5月3日"));
    QCOMPARE(rig.form->Label1(0)->text(), QStringLiteral("2011年5月3日删除的域名"));
    QCOMPARE(rig.cell(3, 1)->text(), QStringLiteral("三十"));
}

// A page without its date changes nothing; a page without some counts shows "..." there.
void GridTest::laterPages() {
    GridRig rig;
    rig.load(FixtureServer::answer(summaryPage("2011-05-03").toUtf8()));
    rig.load(FixtureServer::answer(
        summaryPage("x").replace("noWrap", "nowrap").replace(">77<", ">0<").toUtf8()));
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-03"));
    QCOMPARE(rig.cell(7, 7)->text(), QStringLiteral("77"));
    QCOMPARE(rig.form->Label8->text(), QStringLiteral("数据载入失败，请重试"));
    QVERIFY(rig.form->Frame4->isHidden());

    // The next day's page has only three length-5 counts and no length-7 row.
    QString page = summaryPage("2011-05-04");
    for (int i = 4; i <= 7; ++i)
        page.replace(QStringLiteral("length=5\">5%1<").arg(i), "length=5<");
    rig.load(FixtureServer::answer(page.replace("length=7\">", "length=7>").toUtf8()));
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-04"));
    for (int length = 3; length <= 7; ++length)
        for (int i = 1; i <= 7; ++i)
            QCOMPARE(rig.cell(length, i)->text(), (length == 5 && i >= 4) || length == 7
                                                      ? QStringLiteral("...")
                                                      : QString::number(length * 10 + i));
}

// A date button pressed from the keyboard while a day loads starts nothing.
void GridTest::oneLoadAtATime() {
    GridRig rig;
    rig.server.setFallback(FixtureServer::held(summaryPage("2011-05-03").toUtf8()));
    rig.server.onRequest = [&](const QString&) {
        QTimer::singleShot(0, [&] {
            rig.form->Command1_Click();
            rig.server.release();
        });
    };
    rig.form->Command3_Click();
    QCOMPARE(rig.server.targets(), QStringList{"/deleteddate.php?date=d1"});
}

QTEST_MAIN(GridTest)
#include "tst_grid.moc"
