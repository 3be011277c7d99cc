// SPDX-License-Identifier: GPL-3.0-or-later
// The window's handlers that ask the services: the start-up dates, the date buttons, the count
// cells' lists, the lookup and the update check.
#include "listing/domainlist.h"
#include "rig.h"
#include "window/listmenu.h"

#include <QEventLoop>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString Done = QStringLiteral("恭喜查询完毕！");

// A day summary: the date, then each count as the text of a link whose address ends in
// `length=n">`; count (n, i) is n * 10 + i.
QString summaryPage(const QString& date) {
    QString page = "<td noWrap><font color=red>" + date + "</font></td>";
    for (int length = 3; length <= 7; ++length)
        for (int i = 1; i <= 7; ++i)
            page += QStringLiteral("<a href=\"d.php?length=%1\">%2</a>")
                        .arg(length)
                        .arg(length * 10 + i);
    return page;
}

// A home page: today's date, then a table of `links` of the other five dates.
QByteArray homePage(int links = 5) {
    QString page = "<a>今天</a> &nbsp;&nbsp; 2011-03-06 <h1>四天后的删除域名查询</h1><table>";
    for (const char* day : {"03-04", "03-05", "03-07", "03-08", "03-09"})
        page += QStringLiteral("<a>2011-%1</a>").arg(day).repeated(links-- > 0);
    return (page + "</table>").toUtf8();
}

// Page `page` of the .com cell of `length` on 2011-05-03.
QString comPage(int length, int page) {
    return QStringLiteral("/deleteddomain.php?date=2011-05-03&t=inter&page=%1&tld=.com&length=%2")
        .arg(page)
        .arg(length);
}

// A lookup page with `value` in its five cells and its countdown.
QByteArray lookupPage(const QString& value) {
    const QString cell = "<td class=\"deltd\">x</td><td class=\"deltd1\"><b>" + value + "</b></td>";
    return (cell.repeated(5) + "<div>还剩：" + value + " 天</div>").toUtf8();
}

struct HandlerRig : Rig {
    HandlerRig(int answer = MsgBoxOk) : Rig(answer) {
        form->Text7->setText("2011-05-03");
        for (int k = 1; k <= 6; ++k)
            form->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(k))
                ->setText(QStringLiteral("d%1").arg(k));
    }
    // Every target answers a page of `count` names; `held` only after `act` has run while
    // the program waits for it.
    void serve(int count, const QString& held = {}, const std::function<void()>& act = {}) {
        server.setFallback(FixtureServer::answer(listPageOf(server.origin(), count)));
        server.setReply(held, FixtureServer::held(listPageOf(server.origin(), count)));
        server.onRequest = [this, held, act](const QString& t) {
            if (t == held)
                QTimer::singleShot(0, [this, held, act] {
                    act();
                    server.release(held);
                });
        };
    }
    void click(int length, int index, const QString& caption) const {
        cell(length, index)->setText(caption);
        emit cell(length, index)->clicked();
    }
    QString lookedUp() const {
        QStringList out;
        for (int i = 1; i <= 6; ++i)
            out << form->Label9(i)->text();
        return out.join(' ');
    }
};

} // namespace

class TestHandlers : public QObject {
    Q_OBJECT
private slots:
    void startup_data() {
        QTest::addColumn<int>("links");
        QTest::addColumn<QString>("dateSlots"); // Text1 .. Text6 afterwards
        QTest::addColumn<QString>("status");
        QTest::newRow("complete")
            << 5 << "2011-03-06 2011-03-05 2011-03-04 2011-03-07 2011-03-08 2011-03-09"
            << "..";
        QTest::newRow("two links") << 2 << " 2011-03-05 2011-03-04 Text4 Text5 Text6"
                                   << "日期载入失败，请检查网络后重新打开本工具";
    }
    // The slots filled in their order under the start-up cover, which goes after a failure too.
    void startup() {
        QFETCH(int, links);
        QFETCH(QString, dateSlots);
        QFETCH(QString, status);
        Rig rig;
        Form1& form = *rig.form;
        rig.server.setReply("/", FixtureServer::answer(homePage(links)));
        form.show();
        form.Command11_Click();
        QVERIFY(form.Picture1->isHidden());
        QStringList got;
        for (QLineEdit* slot :
             {form.Text1, form.Text2, form.Text3, form.Text4, form.Text5, form.Text6})
            got << slot->text();
        QCOMPARE(got.join(' '), dateSlots);
        QCOMPARE(form.Label8->text(), status);
    }

    // Each date button fetches its own slot and reads the page in its own encoding.
    void dateButtons_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("slot"); // Text1 ... Text6
        QTest::addColumn<bool>("gbk");
        const std::tuple<int, int, bool> rows[] = {{1, 3, false}, {2, 2, true}, {3, 1, false},
                                                   {4, 4, true},  {5, 5, true}, {6, 6, true}};
        for (auto [button, slot, gbk] : rows)
            QTest::addRow("Command%d", button) << button << slot << gbk;
    }
    void dateButtons() {
        QFETCH(int, button);
        QFETCH(int, slot);
        QFETCH(bool, gbk);
        HandlerRig rig;
        QByteArray page = summaryPage("5月3日").toUtf8();
        if (gbk) // as code page 936 writes 月 and 日
            page.replace("月", "\xD4\xC2").replace("日", "\xC8\xD5");
        rig.server.setFallback(FixtureServer::answer(page));
        rig.form->findChild<QPushButton*>(QStringLiteral("Command%1").arg(button))->click();
        QCOMPARE(rig.server.targets(),
                 QStringList{QStringLiteral("/deleteddate.php?date=d%1").arg(slot)});
        QCOMPARE(rig.form->Label1(0)->text() + rig.form->Text7->text(),
                 QStringLiteral("5月3日删除的域名5月3日"));
        QCOMPARE(rig.cell(3, 1)->text() + rig.cell(7, 7)->text(), QStringLiteral("3177"));
    }

    // A page without its date changes nothing; a page without some counts shows "..." there;
    // a date button pressed from the keyboard while a day loads starts nothing.
    void laterDays() {
        HandlerRig rig;
        const auto load = [&](const QString& page) {
            rig.server.setFallback(FixtureServer::answer(page.toUtf8()));
            rig.form->Command3->click();
        };
        load(summaryPage("2011-05-03"));
        load(summaryPage("x").replace("noWrap", "nowrap").replace(">77<", ">0<"));
        QCOMPARE(rig.form->Text7->text() + rig.cell(7, 7)->text(), QStringLiteral("2011-05-0377"));
        QCOMPARE(rig.form->Label8->text(), QStringLiteral("数据载入失败，请重试"));
        QVERIFY(rig.form->Frame4->isHidden());

        load(summaryPage("2011-05-04")
                 .replace("length=5\">57<", "length=5<")
                 .replace("length=7\">", "length=7>"));
        QCOMPARE(rig.form->Label8->text(), QStringLiteral(".."));
        QCOMPARE(rig.cell(5, 6)->text() + rig.cell(5, 7)->text() + rig.cell(7, 1)->text(),
                 "56......");

        rig.server.setFallback(FixtureServer::held(summaryPage("2011-05-05").toUtf8()));
        rig.server.onRequest = [&](const QString&) {
            QTimer::singleShot(0, [&] {
                rig.form->Command1_Click();
                rig.server.release();
            });
        };
        rig.form->Command3_Click();
        QCOMPARE(rig.server.targets().size(), 4);
        QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-05"));
    }

    // The headers tell the day's columns apart: an estimated one is marked, beside its suffix
    // and never in its counts; a "-" cell lists nothing and says which "-" it is; generated
    // names mark the title; an export is named after the real day. The next day clears it all.
    void dayMarks() {
        HandlerRig rig;
        const QString marks =
            "<th class=\"approximate\" title=\"t\">.com</th><th class=\"nodata\">.cn</th>"
            "<th class=\"nosource\">.com.cn</th>"
            "<div id=\"lumo-day\" data-day=\"2026-12-08\" data-generated=\"1\"></div>";
        rig.server.setFallback(FixtureServer::answer(
            (summaryPage("2011-05-03").replace(">56<", ">-<").replace(">57<", ">-<") + marks)
                .toUtf8()));
        rig.form->Command3->click();
        QCOMPARE(rig.form->Label1(1)->text() + rig.form->Label1(2)->text() + rig.cell(5, 1)->text(),
                 QStringLiteral("≈.com.cn51"));
        QCOMPARE(rig.form->Label1(1)->toolTip(),
                 QStringLiteral("删除日期为估计值，由区域文件的变化推算"));
        QVERIFY(rig.form->windowTitle().endsWith(QStringLiteral("演示数据")));

        const qsizetype asked = rig.server.targets().size();
        rig.form->List1->addItem("left over");
        emit rig.cell(5, 6)->clicked();
        QCOMPARE(rig.form->Label8->text(), QStringLiteral("这一天还没有数据"));
        emit rig.cell(5, 7)->clicked();
        QCOMPARE(rig.form->Label8->text(), QStringLiteral("这个后缀没有数据来源"));
        QCOMPARE(rig.server.targets().size(), asked);
        QCOMPARE(rig.form->List1->count(), 0);

        rig.server.setFallback(FixtureServer::answer(listPageOf(rig.server.origin(), 60)));
        emit rig.cell(5, 1)->clicked();
        QCOMPARE(rig.form->List1->count(), 51);
        QCOMPARE(rig.form->Label8->text(), QStringLiteral("恭喜查询完毕！(估计值)"));
        QString proposed;
        rig.form->SaveFileName = [&](const QString& path) {
            proposed = path;
            return QString();
        };
        rig.form->listMenu->exportList();
        QVERIFY2(proposed.endsWith("/2026-12-08_com_5.txt"), qPrintable(proposed));

        rig.server.setFallback(FixtureServer::answer(summaryPage("2011-05-04").toUtf8()));
        rig.form->Command3->click();
        QCOMPARE(rig.form->Label1(1)->text() + rig.form->Label1(1)->toolTip(), ".com");
        QVERIFY(!rig.form->windowTitle().contains(QStringLiteral("演示数据")));
    }

    // Every cell, clicked: its row gives the length, its column the suffix and the kind.
    void cellsAskForTheirList() {
        Rig rig;
        rig.form->Text7->setText("D");
        rig.form->show();
        const char* suffixes[] = {".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};
        QStringList expected;
        for (int length = 3; length <= 7; ++length)
            for (int i = 1; i <= 7; ++i) {
                QTest::mouseClick(rig.cell(length, i), Qt::LeftButton);
                expected << QStringLiteral("/deleteddomain.php?date=D&t=%1&page=1&tld=%2&length=%3")
                                .arg(i >= 6 ? "cn" : "inter", suffixes[i - 1])
                                .arg(length);
            }
        QTest::mouseClick(rig.form->Label1(3), Qt::LeftButton); // headers do nothing
        QCOMPARE(rig.server.targets(), expected);
    }

    // A list that ends short of what its cell promised says so and keeps what came: pages
    // that run out, an error page, a body cut off or falsely labelled gzip.
    void cellClick_data() {
        QTest::addColumn<int>("perPage");
        QTest::addColumn<QString>("later"); // what pages 2 and on bring
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("status");
        QTest::newRow("57 of 60") << 60 << ""
                                  << "57" << 1 << 57 << Done;
        QTest::newRow("pages run out") << 0 << "empty"
                                       << "250" << 3 << 0 << "列表不完整：0/250个";
        QTest::newRow("100 of 250, then empty pages")
            << 100 << "empty"
            << "250" << 3 << 100 << "列表不完整：100/250个";
        QTest::newRow("a billion in one page")
            << 100 << ""
            << "1000000000" << 1 << 100 << "列表不完整：100/1000000000个";
        QTest::newRow("error status")
            << 100 << "500"
            << "300" << 2 << 100 << "列表不完整：100/300个，第2页载入失败";
        QTest::newRow("chunked body cut")
            << 100 << "cut"
            << "300" << 2 << 100 << "列表不完整：100/300个，第2页载入失败";
        QTest::newRow("false gzip") << 100 << "gzip"
                                    << "300" << 2 << 100 << "列表不完整：100/300个，第2页载入失败";
    }
    void cellClick() {
        QFETCH(int, perPage);
        QFETCH(QString, later);
        QFETCH(QString, caption);
        QFETCH(int, pages);
        QFETCH(int, listed);
        QFETCH(QString, status);
        HandlerRig rig;
        const QByteArray names = listPageOf(rig.server.origin(), 100, 101);
        const QHash<QString, FixtureServer::Reply> replies = {
            {"empty", FixtureServer::answer(listPageOf(rig.server.origin(), 0))},
            {"500", FixtureServer::answer(names, 500)},
            {"cut",
             FixtureServer::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                QByteArray::number(names.size(), 16) + "\r\n" + names + "\r\n")},
            {"gzip", FixtureServer::answer(names).with("Content-Encoding", "gzip")}};
        rig.server.setFallback(replies.value(later));
        rig.server.setReply(comPage(5, 1),
                            FixtureServer::answer(listPageOf(rig.server.origin(), perPage)));
        rig.click(5, 1, caption);
        QCOMPARE(rig.server.targets().size(), pages);
        QCOMPARE(rig.server.targets().last(), comPage(5, pages));
        QCOMPARE(rig.form->List1->count(), listed);
        QCOMPARE(rig.form->Label7->text() + rig.form->Text8->text(),
                 QString::number(listed) + QString::number(listing::pageCount(caption)));
        QCOMPARE(rig.form->Label8->text(), status);
        if (listed > 0)
            QCOMPARE(rig.form->List1->item(listed - 1)->text(),
                     QStringLiteral("n%1.com").arg(listed));
    }

    // Stopping during a wait; then the click after it, still with the stop flag set.
    void stopDuringFetch() {
        HandlerRig rig;
        rig.serve(100, comPage(4, 3), [&] { rig.form->Command7->click(); });
        rig.click(4, 1, "500");
        QCOMPARE(rig.server.targets(), (QStringList{comPage(4, 1), comPage(4, 2), comPage(4, 3)}));
        QCOMPARE(rig.form->List1->count(), 300); // page 3 still listed whole
        QCOMPARE(rig.form->Label8->text(), Done);
        rig.click(5, 1, "500"); // starts afresh
        QCOMPARE(rig.form->List1->count(), 500);
    }

    // A page that comes in while the exit box stands open for longer than the fetch's total
    // limit is kept: after Cancel the list holds every name.
    void pageUnderOpenBoxKept() {
        Module1::FetchLimits limits;
        limits.totalTimeoutMs = 300;
        Module1::setFetchLimits(limits);
        HandlerRig rig;
        rig.form->show();
        rig.form->MsgBox = [&](const QString&, int, const QString&) {
            rig.server.release();
            QTest::qWait(2 * limits.totalTimeoutMs);
            return MsgBoxCancel;
        };
        rig.serve(100, comPage(5, 2), [&] { rig.form->close(); });
        rig.click(5, 1, "300");
        Module1::setFetchLimits({});
        QCOMPARE(rig.form->List1->count(), 300);
    }

    void overtakenRequestStopped_data() {
        QTest::addColumn<bool>("lookup");
        QTest::newRow("cell click") << false;
        QTest::newRow("lookup") << true;
    }
    // A newer click overtakes a request still waiting: it gives its connection back at once
    // instead of holding it until its answer comes (Qt keeps only six to a host, and a seventh
    // click would wait for one), and its late page is not shown.
    void overtakenRequestStopped() {
        QFETCH(bool, lookup);
        HandlerRig rig;
        rig.server.setFallback(
            FixtureServer::held(listPageOf(rig.server.origin(), 30) + lookupPage("b")));
        const auto act = [&] {
            if (!lookup)
                return rig.click(4, 1, "30");
            rig.form->Text9->setText("n1.com");
            rig.form->Command8->click();
        };
        int requests = 0;
        bool stopped = false;
        rig.server.onRequest = [&](const QString&) {
            QTimer::singleShot(0, [&, first = ++requests == 1] {
                if (first)
                    return act(); // inside the first one's wait
                stopped = QTest::qWaitFor([&] { return rig.server.heldOpen() == 1; });
                rig.server.release();
            });
        };
        act();
        QVERIFY(stopped);
        QCOMPARE(requests, 2);
        // The newer one's answer stays; the older one, stopped, writes nothing over it.
        QCOMPARE(lookup ? rig.lookedUp() : QString::number(rig.form->List1->count()),
                 lookup ? "b b b b b b天" : "30");
    }

    // An empty box asks for a name and sends nothing; a name goes out with its blanks.
    void lookup() {
        HandlerRig rig;
        rig.server.setFallback(FixtureServer::answer(lookupPage("1")));
        rig.form->Command8->click();
        QCOMPARE(rig.boxes, QStringList{"请输入查询域名"});
        rig.form->Text9->setText(" a b.com ");
        rig.form->Command8->click();
        QCOMPARE(rig.server.targets(), QStringList{"/DomainDel/?wd=%20a%20b.com%20"});
        QCOMPARE(rig.lookedUp(), QStringLiteral("1 1 1 1 1 1天"));

        // Why the service could not ask, and an estimated day, where they are seen.
        const QString cell = "<td class=\"deltd1\">%1</td>";
        rig.server.setFallback(FixtureServer::answer(
            (cell.arg("") + cell.arg("无法查询：RDAP 服务器出错") + cell.arg("").repeated(2) +
             cell.arg("2026-12-08(近似值)"))
                .toUtf8()));
        rig.form->Command8->click();
        QCOMPARE(rig.form->Label8->text() + rig.form->Label9(5)->text(),
                 QStringLiteral("无法查询：RDAP 服务器出错≈2026-12-08"));
    }

    // The question on another version; only OK opens the maker's page, and only that. The
    // button opens the maker's site as it is.
    void update() {
        HandlerRig rig(MsgBoxCancel);
        rig.server.setFallback(FixtureServer::answer("9.0\r\n"));
        rig.form->Command9_Click();
        rig.answer = MsgBoxOk;
        rig.form->Command9_Click();
        QCOMPARE(rig.boxes, QStringList(2, "发现最新版本9.0，是否更新？"));
        QCOMPARE(rig.server.targets(),
                 QStringList(2, "/lumo/rideve.txt")); // the page is the browser's
        rig.form->Command10->click();
        QCOMPARE(rig.opened,
                 (QStringList{rig.server.origin() + "/lumo/", rig.server.origin() + "/lumo"}));
    }

    // Each timer fires once from the window's creation: the update check's while the start-up
    // waits for a slow home page, and the start-up goes on once the question is answered.
    void timersFireOnce() {
        FixtureServer server;
        QVERIFY(server.listen());
        server.setReply("/", FixtureServer::held(homePage()));
        server.setReply("/lumo/rideve.txt", FixtureServer::answer("9.0\r\n"));
        Form1 form(Addresses{server.origin() + "/", server.origin(), server.origin()});
        QStringList seen; // the requests and today's slot while the question is up
        form.MsgBox = [&](const QString&, int, const QString&) {
            // A modal box keeps the events going: the home page comes in while it is up, but
            // the start-up below it on the stack must wait for the answer.
            server.release("/");
            QEventLoop modal;
            QTimer::singleShot(300, &modal, &QEventLoop::quit);
            modal.exec();
            seen = server.targets() << form.Text1->text();
            return MsgBoxCancel;
        };
        QTRY_COMPARE_WITH_TIMEOUT(form.Text1->text(), QStringLiteral("2011-03-06"), 15'000);
        QCOMPARE(seen, (QStringList{"/", "/lumo/rideve.txt", ""}));
        QTest::qWait(600);
        QCOMPARE(server.targets().size(), 2);
    }
};

QTEST_MAIN(TestHandlers)
#include "tst_handlers.moc"
