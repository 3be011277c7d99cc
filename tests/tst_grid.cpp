#include "fixtureserver.h"
#include "listing/daysummary.h"
#include "window/form1.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

const QString LoadFailed = QStringLiteral("数据载入失败，请重试");

// A day summary as the service lays it out: the date, then a table row by row, each count
// the text of a link whose address ends in `length=n">`.
QString summaryPage(const QString& date, const std::function<QString(int, int)>& count) {
    QString page = "<html><table><tr><td noWrap><font color=red>" + date + "</font></td></tr>";
    for (int length = 3; length <= 7; ++length) {
        page += "<tr>";
        for (int i = 1; i <= 7; ++i)
            page += QStringLiteral("<td><a href=\"deleteddomain.php?date=%1&t=x&page=1&tld=t%2"
                                   "&length=%3\">%4</a></td>")
                        .arg(date)
                        .arg(i)
                        .arg(length)
                        .arg(count(length, i));
        page += "</tr>";
    }
    return page + "</table></html>";
}

QString numbered(int length, int i) {
    return QString::number(length * 10 + i);
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
        form->Text1->setText("d-today");
        form->Text2->setText("d-1");
        form->Text3->setText("d-2");
        form->Text4->setText("d+1");
        form->Text5->setText("d+2");
        form->Text6->setText("d+3");
    }
    Label* cell(int length, int index) const {
        const ControlArray<Label, 1, 7>* rows[] = {&form->Label2, &form->Label3, &form->Label4,
                                                   &form->Label5, &form->Label6};
        return (*rows[length - 3])(index);
    }
    QStringList grid() const {
        QStringList out;
        for (int length = 3; length <= 7; ++length)
            for (int i = 1; i <= 7; ++i)
                out.append(cell(length, i)->text());
        return out;
    }
    void serveToday(const QByteArray& body) {
        server.setReply("/deleteddate.php?date=d-today", FixtureServer::answer(body));
    }
};

QStringList expectedGrid(const std::function<QString(int, int)>& count) {
    QStringList out;
    for (int length = 3; length <= 7; ++length)
        for (int i = 1; i <= 7; ++i)
            out.append(count(length, i));
    return out;
}

} // namespace

class GridTest : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void fillsGrid();
    void buttons_data();
    void buttons();
    void pageWithoutDate_data();
    void pageWithoutDate();
    void missingMarkers();
    void oneLoadAtATime();
};

void GridTest::parse_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("length");
    QTest::addColumn<QStringList>("row"); // "<none>" where the page lacks the count
    const QStringList none(7, "<none>");
    QTest::newRow("by occurrence, eighth ignored")
        << "length=3>no count yet<length=3\">a<b>length=4\">x<length=3\">b<"
           "length=3\">c<length=3\">d<length=3\">e<length=3\">f<length=3\">g<length=3\">h<"
        << 3 << QStringList{"a", "b", "c", "d", "e", "f", "g"};
    QTest::newRow("before the first marker is no count")
        << "12<length=5\">1<length=5\">2<" << 5
        << QStringList{"1", "2", "<none>", "<none>", "<none>", "<none>", "<none>"};
    QTest::newRow("marker then < is empty")
        << "length=6\"><length=6\">7<" << 6
        << QStringList{"", "7", "<none>", "<none>", "<none>", "<none>", "<none>"};
    QTest::newRow("as written") << "length=7\"> 1,234 个 </a>" << 7
                                << QStringList{" 1,234 个 ", "<none>", "<none>", "<none>",
                                               "<none>",     "<none>", "<none>"};
    QTest::newRow("marker ends page") << "length=4\">" << 4 << none;
    QTest::newRow("without quote is no marker") << "length=4>5<" << 4 << none;
    QTest::newRow("empty page") << "" << 3 << none;
}

void GridTest::parse() {
    QFETCH(QString, page);
    QFETCH(int, length);
    QFETCH(QStringList, row);
    const listing::DaySummary summary = listing::parseDaySummary(page);
    QStringList got;
    for (int i = 1; i <= 7; ++i)
        got.append(summary.count(length, i).value_or("<none>"));
    QCOMPARE(got, row);
}

void GridTest::fillsGrid() {
    Rig rig;
    rig.serveToday(summaryPage("2011-05-03", numbered).toUtf8());
    bool coveredDuringLoad = false;
    rig.server.onRequest = [&](const QString&) {
        coveredDuringLoad = !rig.form->Frame4->isHidden();
    };
    rig.form->Command3->click();
    QVERIFY(coveredDuringLoad);
    QVERIFY(rig.form->Frame4->isHidden());
    QCOMPARE(rig.server.targets(), QStringList{"/deleteddate.php?date=d-today"});
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-03"));
    QCOMPARE(rig.form->Label1(0)->text(), QStringLiteral("2011-05-03删除的域名"));
    QCOMPARE(rig.grid(), expectedGrid(numbered));
}

void GridTest::buttons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("gbkPage");
    QTest::addColumn<bool>("readsRight");
    const struct {
        const char* button;
        const char* slot;
        bool utf8;
    } buttons[] = {{"Command1", "d-2", true},     {"Command2", "d-1", false},
                   {"Command3", "d-today", true}, {"Command4", "d+1", false},
                   {"Command5", "d+2", false},    {"Command6", "d+3", false}};
    for (const auto& b : buttons) {
        QTest::addRow("%s, GBK page", b.button) << b.button << b.slot << true << !b.utf8;
        QTest::addRow("%s, UTF-8 page", b.button) << b.button << b.slot << false << b.utf8;
    }
}

void GridTest::buttons() {
    QFETCH(QString, button);
    QFETCH(QString, slot);
    QFETCH(bool, gbkPage);
    QFETCH(bool, readsRight);
    Rig rig;
    const QString date = QStringLiteral("2011年5月3日");
    const auto count = [](int length, int i) {
        return length == 3 && i == 1 ? QStringLiteral("三十") : numbered(length, i);
    };
    QByteArray body = summaryPage("@DATE@", count).toUtf8();
    if (gbkPage) // 年 月 日 三 十, as code page 936 writes them
        body.replace("@DATE@", "2011\xC4\xEA"
                               "5\xD4\xC2"
                               "3\xC8\xD5")
            .replace("三十", "\xC8\xFD\xCA\xAE");
    else
        body.replace("@DATE@", date.toUtf8());
    rig.server.setFallback(FixtureServer::answer(body));
    rig.form->findChild<QPushButton*>(button)->click();
    QCOMPARE(rig.server.targets(), QStringList{"/deleteddate.php?date=" + slot});
    if (readsRight) {
        QCOMPARE(rig.form->Text7->text(), date);
        QCOMPARE(rig.cell(3, 1)->text(), QStringLiteral("三十"));
    } else {
        QVERIFY(rig.form->Text7->text().startsWith("2011"));
        QVERIFY(rig.form->Text7->text() != date);
        QVERIFY(rig.cell(3, 1)->text() != QStringLiteral("三十"));
    }
    QCOMPARE(rig.form->Label1(0)->text(), rig.form->Text7->text() + "删除的域名");
    QCOMPARE(rig.cell(7, 7)->text(), QStringLiteral("77"));
}

void GridTest::pageWithoutDate_data() {
    QTest::addColumn<FixtureServer::Reply>("reply");
    QTest::newRow("no date marker")
        << FixtureServer::answer(summaryPage("x", numbered).replace("noWrap", "nowrap").toUtf8());
    QTest::newRow("date marker ends page")
        << FixtureServer::answer("length=3\">9<td noWrap><font color=red>");
    QTest::newRow("error page") << FixtureServer::answer("<html>oops</html>", 500);
    QTest::newRow("connection closed") << FixtureServer::closing();
}

void GridTest::pageWithoutDate() {
    QFETCH(FixtureServer::Reply, reply);
    Rig rig;
    const auto yesterday = [](int length, int i) { return QString::number(length * 100 + i); };
    rig.serveToday(summaryPage("2011-05-03", yesterday).toUtf8());
    rig.form->Command3->click();
    rig.serveToday(QByteArray());
    rig.server.setReply("/deleteddate.php?date=d-today", reply);
    rig.form->Command3->click();
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-03"));
    QCOMPARE(rig.form->Label1(0)->text(), QStringLiteral("2011-05-03删除的域名"));
    QCOMPARE(rig.grid(), expectedGrid(yesterday));
    QCOMPARE(rig.form->Label8->text(), LoadFailed);
    QVERIFY(rig.form->Frame4->isHidden());

    // A retry that works takes the notice away.
    rig.serveToday(summaryPage("2011-05-04", numbered).toUtf8());
    rig.form->Command3->click();
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-04"));
    QCOMPARE(rig.grid(), expectedGrid(numbered));
    QVERIFY(rig.form->Label8->text() != LoadFailed);
}

void GridTest::missingMarkers() {
    Rig rig;
    rig.serveToday(summaryPage("2011-05-03", numbered).toUtf8());
    rig.form->Command3->click();
    rig.form->Label8->setText(QStringLiteral("恭喜查询完毕！"));
    // The next day's page has only three length-5 counts and no length-7 row.
    QString page = summaryPage(
        "2011-05-04", [](int length, int i) { return QString::number(length * 1000 + i); });
    for (int i = 4; i <= 7; ++i)
        page.replace(QStringLiteral("length=5\">%1<").arg(5000 + i), "length=5<");
    page.replace("length=7\">", "length=7>");
    rig.serveToday(page.toUtf8());
    rig.form->Command3->click();
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-04"));
    QCOMPARE(rig.grid(), expectedGrid([](int length, int i) {
                 if ((length == 5 && i >= 4) || length == 7)
                     return QStringLiteral("...");
                 return QString::number(length * 1000 + i);
             }));
    QCOMPARE(rig.form->Label8->text(), QStringLiteral("恭喜查询完毕！"));
    QVERIFY(rig.form->Frame4->isHidden());
}

void GridTest::oneLoadAtATime() {
    Rig rig;
    rig.server.setReply("/deleteddate.php?date=d-today",
                        FixtureServer::held(summaryPage("2011-05-03", numbered).toUtf8()));
    rig.server.onRequest = [&](const QString& t) {
        if (t == "/deleteddate.php?date=d-today")
            QTimer::singleShot(0, [&rig, t] {
                rig.form->Command2->click(); // from the keyboard, under the cover
                rig.server.release(t);
            });
    };
    rig.form->Command3->click();
    QCOMPARE(rig.server.targets(), QStringList{"/deleteddate.php?date=d-today"});
    QCOMPARE(rig.form->Text7->text(), QStringLiteral("2011-05-03"));
    QVERIFY(rig.form->Frame4->isHidden());
}

QTEST_MAIN(GridTest)
#include "tst_grid.moc"
