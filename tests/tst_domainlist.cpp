// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/domainlist.h"
#include "listing/export.h"
#include "listing/urls.h"
#include "rig.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

const QString Done = QStringLiteral("恭喜查询完毕！");

QByteArray listPage(const QString& origin, int count) {
    return listPageOf(origin, count);
}

// The target of page `page` of the .com cell of `length` on 2011-05-03.
QString comPage(int length, int page) {
    return QStringLiteral("/deleteddomain.php?date=2011-05-03&t=inter&page=%1&tld=.com&length=%2")
        .arg(page)
        .arg(length);
}

struct ListRig : Rig {
    ListRig() { form->Text7->setText(QStringLiteral("2011-05-03")); }
    // Every target answers a page of `count` names; `held` only after `act` has run while
    // the program waits for it.
    void serve(int count, const QString& held = {}, const std::function<void()>& act = {}) {
        server.setFallback(FixtureServer::answer(listPage(server.origin(), count)));
        server.setReply(held, FixtureServer::held(listPage(server.origin(), count)));
        server.onRequest = [this, held, act](const QString& t) {
            if (t == held)
                QTimer::singleShot(0, [this, held, act] {
                    act();
                    server.release(held);
                });
        };
    }
    // Clicks the cell as the user would: through the label's own signal.
    void click(int length, int index, const QString& caption) const {
        cell(length, index)->setText(caption);
        emit cell(length, index)->clicked();
    }
};

// A cell click: the row's length, the suffix index, the names on every page, the names
// listed at the end, the pages asked for, the caption and the target of page 1.
struct Click {
    int length, index, perPage, listed, pages;
    QString caption, first;
};

} // namespace

Q_DECLARE_METATYPE(Click)

class DomainListTest : public QObject {
    Q_OBJECT
private slots:
    void pageCount();
    void listPageUrls();
    void cellClick_data();
    void cellClick();
    void namesAppendedUnchanged();
    void stopDuringFetch();
    void secondClickOvertakesFirst();
    void overtakenRequestStopped_data();
    void overtakenRequestStopped();
    void dateLoadDuringRetrieval();
    void csv();
};

void DomainListTest::pageCount() {
    const std::pair<const char*, int> table[] = {{"0", 1},   {"50", 1},     {"100", 1},
                                                 {"101", 2}, {"149", 2},    {"250", 3},
                                                 {"...", 1}, {"3276701", 1}};
    for (auto [caption, pages] : table)
        QCOMPARE(listing::pageCount(QString::fromLatin1(caption)), pages);
}

// Every cell of the grid: its row gives the length, its column the suffix and the kind.
void DomainListTest::listPageUrls() {
    const char* suffixes[] = {".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};
    for (int length = 3; length <= 7; ++length)
        for (int i = 1; i <= 7; ++i)
            QCOMPARE(listing::listPageUrl("B/", "D", i, length, 2),
                     QStringLiteral("B/deleteddomain.php?date=D&t=%1&page=2&tld=%2&length=%3")
                         .arg(i >= 6 ? "cn" : "inter", suffixes[i - 1])
                         .arg(length));
}

void DomainListTest::cellClick_data() {
    QTest::addColumn<Click>("c");
    QTest::newRow("57 of 60, length 3") << Click{3, 1, 60, 57, 1, "57", comPage(3, 1)};
    QTest::newRow("57 of 60, length 4") << Click{4, 1, 60, 57, 1, "57", comPage(4, 1)};
    QTest::newRow("full page") << Click{5, 1, 100, 100, 1, "100", comPage(5, 1)};
    QTest::newRow("dots") << Click{4, 1, 60, 60, 1, "...", comPage(4, 1)};
    QTest::newRow("three pages, .cn") << Click{
        5, 6, 0, 0, 3, "250", "/deleteddomain.php?date=2011-05-03&t=cn&page=1&tld=.cn&length=5"};
    QTest::newRow("empty date") << Click{
        4, 1, 0, 0, 1, "...", "/deleteddomain.php?date=&t=inter&page=1&tld=.com&length=4"};
}

void DomainListTest::cellClick() {
    QFETCH(Click, c);
    ListRig rig;
    rig.serve(c.perPage);
    rig.form->Text7->setText(c.first.section("date=", 1).section('&', 0, 0));
    rig.click(c.length, c.index, c.caption);
    QStringList targets;
    for (int page = 1; page <= c.pages; ++page)
        targets << QString(c.first).replace("page=1", QStringLiteral("page=%1").arg(page));
    QCOMPARE(rig.server.targets(), targets);
    QCOMPARE(rig.form->List1->count(), c.listed);
    QCOMPARE(rig.form->Label8->text(), Done);
    if (c.listed > 0)
        QCOMPARE(rig.form->List1->item(c.listed - 1)->text(),
                 QStringLiteral("n%1.com").arg(c.listed));
}

void DomainListTest::namesAppendedUnchanged() {
    ListRig rig;
    const QString marker = "href=" + rig.server.origin() + "/whois.php?domain=";
    rig.server.setFallback(FixtureServer::answer(
        (marker + " sp ace.com >x</a>" + marker + "中文.com" + marker + "last.com>").toUtf8()));
    rig.click(3, 1, "...");
    QCOMPARE(rig.form->List1->count(), 3);
    for (const QString name : {" sp ace.com ", "中文.com", "last.com"})
        QVERIFY(!rig.form->List1->findItems(name, Qt::MatchExactly).isEmpty());
}

// Stopping during a wait; then the click after it, still with the stop flag set.
void DomainListTest::stopDuringFetch() {
    ListRig rig;
    rig.serve(100, comPage(4, 3), [&] { rig.form->Command7->click(); });
    rig.click(4, 1, "500");
    QCOMPARE(rig.server.targets(), (QStringList{comPage(4, 1), comPage(4, 2), comPage(4, 3)}));
    QCOMPARE(rig.form->List1->count(), 300); // page 3 still cut up whole
    QCOMPARE(rig.form->Label8->text(), Done);
    QCOMPARE(rig.form->Text10->text(), QStringLiteral("1"));
    QString flagAtRequest; // the next click starts afresh
    rig.server.onRequest = [&](const QString&) { flagAtRequest = rig.form->Text10->text(); };
    rig.click(5, 1, "500"); // page 3 of this cell is not held
    QCOMPARE(flagAtRequest, QStringLiteral("0"));
    QCOMPARE(rig.form->List1->count(), 500);
}

void DomainListTest::secondClickOvertakesFirst() {
    ListRig rig;
    const QString second = "/deleteddomain.php?date=2011-05-03&t=inter&page=1&tld=.net&length=4";
    rig.server.setReply(second, FixtureServer::answer(listPage(rig.server.origin(), 30)));
    rig.serve(100, comPage(3, 1), [&] {
        rig.click(4, 2, "30");
        rig.form->Label8->setText("after second");
    });
    rig.click(3, 1, "150");
    QCOMPARE(rig.form->List1->count(), 30);
    QCOMPARE(rig.form->Label8->text(), QStringLiteral("after second"));
    QCOMPARE(rig.server.targets(), (QStringList{comPage(3, 1), second})); // no page 2 for the first
}

void DomainListTest::overtakenRequestStopped_data() {
    QTest::addColumn<bool>("lookup");
    QTest::newRow("cell click") << false;
    QTest::newRow("lookup") << true;
}

// An overtaken request gives its connection back at once instead of holding it until its
// answer comes: Qt keeps only six to a host, and a seventh click would wait for one.
void DomainListTest::overtakenRequestStopped() {
    QFETCH(bool, lookup);
    ListRig rig;
    rig.server.setFallback(FixtureServer::held(listPage(rig.server.origin(), 30)));
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
    if (!lookup)
        QCOMPARE(rig.form->List1->count(), 30);
}

void DomainListTest::dateLoadDuringRetrieval() {
    ListRig rig;
    rig.form->Text1->setText("2011-05-04");
    rig.server.setReply("/deleteddate.php?date=2011-05-04",
                        FixtureServer::answer("<td noWrap><font color=red>2011-05-04</font>"
                                              "<a href=\"x&length=4\">120</a>"));
    rig.serve(100, comPage(4, 1), [&] { rig.form->Command3->click(); });
    rig.click(4, 1, "150");
    QCOMPARE(rig.cell(4, 1)->text(), QStringLiteral("120"));
    QCOMPARE(rig.server.targets(),
             (QStringList{comPage(4, 1), "/deleteddate.php?date=2011-05-04", comPage(4, 2)}));
    QCOMPARE(rig.form->List1->count(), 150); // the count and the date it started with
    QCOMPARE(rig.form->Label8->text(), Done);
}

void DomainListTest::csv() {
    QCOMPARE(listing::listCsvHeader() + listing::listCsvRow("a\"b,c.com", 5, ".com", "5月3日"),
             QStringLiteral("name,length,suffix,day\r\n\"a\"\"b,c.com\",5,.com,5月3日\r\n"));
    QCOMPARE(listing::csvRow({"a\nb", "x\ry", "plain"}),
             QStringLiteral("\"a\nb\",\"x\ry\",plain\r\n"));
}

QTEST_MAIN(DomainListTest)
#include "tst_domainlist.moc"
