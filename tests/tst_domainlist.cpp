#include "fixtureserver.h"
#include "listing/domainlist.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

const QString Busy = QStringLiteral("正在查询，请等待！");
const QString Done = QStringLiteral("恭喜查询完毕！");
const QString Stopping = QStringLiteral("正在停止，请等待！");

// A list page with `count` names "<prefix><n>.com", n from `first`.
QByteArray listPage(const QString& origin, int count, const QString& prefix = "n", int first = 1) {
    QByteArray body = "<html><body><table>";
    for (int n = first; n < first + count; ++n)
        body +=
            QStringLiteral("<tr><td><a href=%1/whois.php?domain=%2%3.com>%2%3.com</a></td></tr>")
                .arg(origin, prefix)
                .arg(n)
                .toUtf8();
    return body + "</table></body></html>";
}

QString target(const QString& date, const char* kind, int page, const char* suffix, int length) {
    return QStringLiteral("/deleteddomain.php?date=%1%2%3&tld=%4&length=%5")
        .arg(date, QLatin1String(kind))
        .arg(page)
        .arg(QLatin1String(suffix))
        .arg(length);
}

struct Rig {
    FixtureServer server;
    std::unique_ptr<Form1> form;

    Rig() {
        if (!server.listen())
            qFatal("no loopback port");
        const QString origin = server.origin();
        form = std::make_unique<Form1>(Addresses{origin + "/", origin, origin});
        form->Timer1->stop();
        form->Timer2->stop();
        form->Timer3->stop();
        form->MsgBox = [](const QString&, int, const QString&) { return MsgBoxOk; };
        form->Text7->setText(QStringLiteral("2011-05-03"));
    }
    Label* cell(int length, int index) const {
        const ControlArray<Label, 1, 7>* rows[] = {&form->Label2, &form->Label3, &form->Label4,
                                                   &form->Label5, &form->Label6};
        return (*rows[length - 3])(index);
    }
    // Clicks the cell as the user would: through the label's own signal.
    void click(int length, int index) const { emit cell(length, index)->clicked(); }
    QStringList listed() const {
        QStringList out;
        for (int i = 0; i < form->List1->count(); ++i)
            out.append(form->List1->item(i)->text());
        return out;
    }
};

} // namespace

class DomainListTest : public QObject {
    Q_OBJECT
private slots:
    void pageCount_data();
    void pageCount();
    void namesOnPage_data();
    void namesOnPage();
    void addresses_data();
    void addresses();
    void endOfList_data();
    void endOfList();
    void namesAppendedUnchanged();
    void stopDuringFetch();
    void stopWhileIdle();
    void indexOutsideRow();
    void secondClickOvertakesFirst();
    void dateLoadDuringRetrieval();
};

void DomainListTest::pageCount_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("pages");
    QTest::newRow("0") << "0" << 1;
    QTest::newRow("50") << "50" << 1;
    QTest::newRow("100") << "100" << 1;
    QTest::newRow("101") << "101" << 2;
    QTest::newRow("149") << "149" << 2;
    QTest::newRow("150") << "150" << 2;
    QTest::newRow("250") << "250" << 3;
    QTest::newRow("251") << "251" << 3;
    QTest::newRow("dots") << "..." << 1;
    QTest::newRow("blanks around") << " 201\t" << 3;
    QTest::newRow("thousands separator") << "1,234" << 1;
    QTest::newRow("word after") << "300个" << 1;
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("negative") << "-250" << 1;
    QTest::newRow("last 16-bit page") << "3276700" << 32767;
    QTest::newRow("beyond 16-bit pages") << "3276701" << 1;
    QTest::newRow("beyond 64 bits") << "99999999999999999999" << 1;
}

void DomainListTest::pageCount() {
    QFETCH(QString, caption);
    QFETCH(int, pages);
    QCOMPARE(listing::pageCount(caption), pages);
}

void DomainListTest::namesOnPage_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("text up to >") << "xMa.com>a.com</a>Mb.com>" << QStringList{"a.com", "b.com"};
    QTest::newRow("blanks kept") << "M a b >x" << QStringList{" a b "};
    QTest::newRow("no > takes the piece") << "M abcM d>" << QStringList{" abc", " d"};
    QTest::newRow("> at once gives empty name") << "M>xM e>" << QStringList{"", " e"};
    QTest::newRow("adjacent markers") << "MM f>" << QStringList{" f"};
    QTest::newRow("marker ends page") << "M g>M" << QStringList{" g"};
    QTest::newRow("no marker") << "nothing here" << QStringList{};
    QTest::newRow("empty page") << "" << QStringList{};
    QTest::newRow("case-sensitive") << "m a>M b>" << QStringList{" b"};
}

void DomainListTest::namesOnPage() {
    QFETCH(QString, page);
    QFETCH(QStringList, names);
    QCOMPARE(listing::namesOnPage(page, u"M"), names);
}

void DomainListTest::addresses_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QStringList>("targets");
    const char* suffixes[] = {".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};
    const char* kinds[] = {"&t=inter&page=", "&t=inter&page=", "&t=inter&page=", "&t=inter&page=",
                           "&t=inter&page=", "&t=cn&page=",    "&t=cn&page="};
    for (int length = 3; length <= 7; ++length)
        for (int i = 1; i <= 7; ++i)
            QTest::addRow("length %d %s", length, suffixes[i - 1])
                << length << i << "..."
                << "2011-05-03"
                << QStringList{target("2011-05-03", kinds[i - 1], 1, suffixes[i - 1], length)};
    QTest::newRow("three pages")
        << 5 << 6 << "250"
        << "2011-05-03"
        << QStringList{"/deleteddomain.php?date=2011-05-03&t=cn&page=1&tld=.cn&length=5",
                       "/deleteddomain.php?date=2011-05-03&t=cn&page=2&tld=.cn&length=5",
                       "/deleteddomain.php?date=2011-05-03&t=cn&page=3&tld=.cn&length=5"};
    QTest::newRow("empty date") << 3 << 1 << "..."
                                << ""
                                << QStringList{
                                       "/deleteddomain.php?date=&t=inter&page=1&tld=.com&length=3"};
}

void DomainListTest::addresses() {
    QFETCH(int, length);
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(QString, date);
    QFETCH(QStringList, targets);
    Rig rig;
    rig.form->Text7->setText(date);
    rig.cell(length, index)->setText(caption);
    rig.click(length, index); // every page gets the 404 page: no names, so every page is asked
    QCOMPARE(rig.server.targets(), targets);
    QCOMPARE(rig.form->List1->count(), 0);
    QCOMPARE(rig.form->Label8->text(), Done);
    if (index == 1)
        QCOMPARE(rig.form->Text8->text(), QString::number(targets.size()));
    else
        QCOMPARE(rig.form->Text8->text(), QStringLiteral("Text8"));
}

void DomainListTest::endOfList_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("perPage"); // link markers on every page
    QTest::addColumn<int>("listed");
    QTest::addColumn<int>("requests");
    QTest::newRow("57 of 60, length 3") << 3 << "57" << 60 << 57 << 1;
    QTest::newRow("57 of 60, length 4") << 4 << "57" << 60 << 57 << 1;
    QTest::newRow("57 of 60, length 7") << 7 << "57" << 60 << 57 << 1;
    QTest::newRow("full page") << 5 << "100" << 100 << 100 << 1;
    QTest::newRow("100 of 120 a page") << 6 << "150" << 120 << 150 << 2;
    QTest::newRow("short pages not padded") << 3 << "57" << 40 << 40 << 1;
    QTest::newRow("dots, length 3") << 3 << "..." << 60 << 60 << 1;
    QTest::newRow("dots, length 4") << 4 << "..." << 60 << 60 << 1;
    QTest::newRow("blanks, length 3 compares text") << 3 << " 57" << 60 << 60 << 1;
    QTest::newRow("blanks, length 4 compares numbers") << 4 << " 57" << 60 << 57 << 1;
    QTest::newRow("zero asks nothing") << 4 << "0" << 60 << 0 << 0;
    QTest::newRow("zero, length 3") << 3 << "0" << 60 << 0 << 0;
}

void DomainListTest::endOfList() {
    QFETCH(int, length);
    QFETCH(QString, caption);
    QFETCH(int, perPage);
    QFETCH(int, listed);
    QFETCH(int, requests);
    Rig rig;
    for (int page = 1; page <= 3; ++page)
        rig.server.setReply(
            target("2011-05-03", "&t=inter&page=", page, ".com", length),
            FixtureServer::answer(listPage(rig.server.origin(), perPage, "n", 1000 * page)));
    rig.cell(length, 1)->setText(caption);
    rig.click(length, 1);
    QCOMPARE(rig.server.targets().size(), requests);
    QCOMPARE(rig.form->List1->count(), listed);
    QCOMPARE(rig.form->Label7->text(), QString::number(listed));
    QCOMPARE(rig.form->Label8->text(), Done);
    const QStringList names = rig.listed();
    if (listed > 0) {
        QCOMPARE(names.first(), QStringLiteral("n1000.com"));
        QCOMPARE(names.last(), listed > 100 ? QStringLiteral("n%1.com").arg(2000 + listed - 101)
                                            : QStringLiteral("n%1.com").arg(1000 + listed - 1));
    }
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size()); // no repeats
}

void DomainListTest::namesAppendedUnchanged() {
    Rig rig;
    const QString marker = "href=" + rig.server.origin() + "/whois.php?domain=";
    rig.server.setReply(target("2011-05-03", "&t=cn&page=", 1, ".com.cn", 3),
                        FixtureServer::answer((marker + " sp ace.com.cn >x</a>" + marker +
                                               "中文.com.cn" + marker + "last.com.cn>")
                                                  .toUtf8()));
    rig.click(3, 7);
    QCOMPARE(rig.listed(), (QStringList{" sp ace.com.cn ", "中文.com.cn", "last.com.cn"}));
}

void DomainListTest::stopDuringFetch() {
    Rig rig;
    const auto page = [](int n) { return target("2011-05-03", "&t=inter&page=", n, ".com", 4); };
    for (int n = 1; n <= 5; ++n)
        rig.server.setReply(page(n),
                            n == 3 ? FixtureServer::held(listPage(rig.server.origin(), 100))
                                   : FixtureServer::answer(listPage(rig.server.origin(), 100)));
    QString statusAfterStop;
    rig.server.onRequest = [&](const QString& t) {
        if (t != page(3))
            return;
        QTimer::singleShot(0, [&] {
            rig.form->Command7->click();
            statusAfterStop = rig.form->Label8->text();
            rig.server.release(page(3));
        });
    };
    rig.cell(4, 1)->setText("500");
    rig.click(4, 1);
    QCOMPARE(statusAfterStop, Stopping);
    QCOMPARE(rig.server.targets(), (QStringList{page(1), page(2), page(3)}));
    QCOMPARE(rig.form->List1->count(), 300); // page 3 still cut up whole
    QCOMPARE(rig.form->Label8->text(), Done);
    QCOMPARE(rig.form->Text10->text(), QStringLiteral("1"));

    // The next click starts afresh.
    rig.server.onRequest = nullptr;
    rig.server.setReply(page(3), FixtureServer::answer(listPage(rig.server.origin(), 100)));
    rig.server.clearTargets();
    rig.click(4, 1);
    QCOMPARE(rig.form->Text10->text(), QStringLiteral("0"));
    QCOMPARE(rig.server.targets().size(), 5);
    QCOMPARE(rig.form->List1->count(), 500);
}

void DomainListTest::stopWhileIdle() {
    Rig rig;
    rig.form->Command7->click();
    QCOMPARE(rig.form->Text10->text(), QStringLiteral("1"));
    QCOMPARE(rig.form->Label8->text(), Stopping);
    QString flagAtRequest;
    rig.server.onRequest = [&](const QString&) { flagAtRequest = rig.form->Text10->text(); };
    rig.click(5, 2);
    QCOMPARE(flagAtRequest, QStringLiteral("0"));
    QCOMPARE(rig.form->Label8->text(), Done);
}

void DomainListTest::indexOutsideRow() {
    Rig rig;
    rig.form->List1->addItem("kept");
    rig.form->Text10->setText("1");
    rig.form->Label8->setText("status");
    for (int index : {0, 8, -1}) {
        rig.form->Label4_Click(index);
        QCOMPARE(rig.form->Text10->text(), QStringLiteral("0"));
        rig.form->Text10->setText("1");
    }
    QCOMPARE(rig.form->List1->count(), 1);
    QCOMPARE(rig.form->Label8->text(), QStringLiteral("status"));
    QVERIFY(rig.server.targets().isEmpty());
}

void DomainListTest::secondClickOvertakesFirst() {
    Rig rig;
    const QString first1 = target("2011-05-03", "&t=inter&page=", 1, ".com", 3);
    const QString second1 = target("2011-05-03", "&t=inter&page=", 1, ".net", 4);
    rig.server.setReply(first1, FixtureServer::held(listPage(rig.server.origin(), 100, "a")));
    rig.server.setFallback(FixtureServer::answer(listPage(rig.server.origin(), 100, "a")));
    rig.server.setReply(second1, FixtureServer::answer(listPage(rig.server.origin(), 30, "b")));
    QStringList listedBySecond;
    rig.server.onRequest = [&](const QString& t) {
        if (t != first1)
            return;
        QTimer::singleShot(0, [&] {
            rig.click(4, 2);
            listedBySecond = rig.listed();
            QCOMPARE(rig.form->Label8->text(), Done);
            rig.form->Label8->setText("after second");
            rig.server.release(first1);
        });
    };
    rig.cell(3, 1)->setText("150");
    rig.cell(4, 2)->setText("30");
    rig.click(3, 1);
    QCOMPARE(listedBySecond.size(), 30);
    QVERIFY(listedBySecond.first().startsWith('b'));
    QCOMPARE(rig.listed(), listedBySecond);
    QCOMPARE(rig.form->Label7->text(), QStringLiteral("30"));
    QCOMPARE(rig.form->Label8->text(), QStringLiteral("after second"));
    QCOMPARE(rig.server.targets(), (QStringList{first1, second1})); // no page 2 for the first
}

void DomainListTest::dateLoadDuringRetrieval() {
    Rig rig;
    const auto page = [](const char* date, int n) {
        return target(date, "&t=inter&page=", n, ".com", 4);
    };
    rig.form->Text1->setText("2011-05-04");
    rig.server.setReply("/deleteddate.php?date=2011-05-04",
                        FixtureServer::answer("<td noWrap><font color=red>2011-05-04</font>"
                                              "<a href=\"x&length=4\">120</a>"));
    rig.server.setReply(page("2011-05-03", 1),
                        FixtureServer::held(listPage(rig.server.origin(), 100, "a", 1)));
    rig.server.setReply(page("2011-05-03", 2),
                        FixtureServer::answer(listPage(rig.server.origin(), 100, "a", 101)));
    rig.server.onRequest = [&](const QString& t) {
        if (t != page("2011-05-03", 1))
            return;
        QTimer::singleShot(0, [&rig, t] {
            rig.form->Command3->click();
            rig.server.release(t);
        });
    };
    rig.cell(4, 1)->setText("150");
    rig.click(4, 1);
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-04"));
    QCOMPARE(rig.cell(4, 1)->text(), QStringLiteral("120"));
    QCOMPARE(rig.server.targets(),
             (QStringList{page("2011-05-03", 1), "/deleteddate.php?date=2011-05-04",
                          page("2011-05-03", 2)}));
    QCOMPARE(rig.form->List1->count(), 150); // the count it started with
    QCOMPARE(rig.form->Label8->text(), Done);
}

QTEST_MAIN(DomainListTest)
#include "tst_domainlist.moc"
