#include "fixtureserver.h"
#include "lookup/lookuppage.h"
#include "net/module1.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

using Six = QStringList; // Label9(1) .. Label9(6)

QString cell(const QString& text) {
    return QStringLiteral("<td class=\"deltd\">x</td><td class=\"deltd1\">") + text +
           QStringLiteral("</td>");
}

// A page the way the service lays it out: five cells, then the countdown.
QString servicePage(const QStringList& cells, const QString& countdown) {
    QString page = QStringLiteral("<html><body><table><tr>");
    for (const QString& c : cells)
        page += cell(c);
    page += QStringLiteral("</tr></table><div class=\"cd\">还剩：") + countdown +
            QStringLiteral("</div></body></html>");
    return page;
}

Six labels(const Form1& form) {
    Six out;
    for (int i = 1; i <= 6; ++i)
        out << form.Label9(i)->text();
    return out;
}

Six asSix(const lookup::LookupPage& p) {
    Six out(p.fields.begin(), p.fields.end());
    out << p.countdown;
    return out;
}

struct Window {
    explicit Window(FixtureServer& server)
        : form(Addresses{server.origin() + "/", server.origin(), server.origin()}) {
        form.Timer1->stop();
        form.Timer2->stop();
        form.Timer3->stop();
        form.MsgBox = [this](const QString& text, int style, const QString& caption) {
            boxes << QStringList{text, QString::number(style), caption};
            return MsgBoxOk;
        };
    }
    Form1 form;
    QList<QStringList> boxes;
};

} // namespace

class TestLookup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        Module1::FetchLimits limits;
        limits.idleTimeoutMs = 10'000;
        limits.totalTimeoutMs = 20'000;
        Module1::setFetchLimits(limits);
    }

    void parse_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<Six>("expected");

        const QString nbsp(QChar(0x00A0));
        QTest::newRow("five cells and countdown")
            << servicePage({"14年", "x", "2008-01-02", "2012-01-02", "2012-03-03"}, "12天 3小时")
            << Six{"14年", "x", "2008-01-02", "2012-01-02", "2012-03-03", "12天3小时"};
        QTest::newRow("bold and approximate mark removed, blanks in cells kept")
            << servicePage({"<b>14年</b>(近似值)", "<b>a b</b>", "1(近似值)2 (近似值)", " c ", "d"},
                           "1")
            << Six{"14年", "a b", "12 ", " c ", "d", "1"};
        QTest::newRow("other markup and look-alike marks kept")
            << servicePage(
                   {"<font color=red>14</font>", "<B>x</B>", "（近似值）", "<br/>", "<<b>b>"}, "")
            << Six{"<font color=red>14</font>", "<B>x</B>", "（近似值）", "<br/>", "<b>", ""};
        QTest::newRow("countdown loses U+0020 only")
            << servicePage({"1", "2", "3", "4", "5"}, " 3 天" + nbsp + "4\t小时\n5 分 ")
            << Six{"1", "2", "3", "4", "5", "3天" + nbsp + "4\t小时\n5分"};
        QTest::newRow("sixth cell ignored") << servicePage({"1", "2", "3", "4", "5", "6"}, "9")
                                            << Six{"1", "2", "3", "4", "5", "9"};
        QTest::newRow("no markers at all")
            << QStringLiteral("<html><td class=\"deltd\">域名未找到</td> 还剩：3天</html>")
            << Six{"", "", "", "", "", ""};
        QTest::newRow("markers are case-sensitive")
            << QStringLiteral("<td class=\"DELTD1\">1</td><TD class=deltd1>2</td>>还剩:3<")
            << Six{"", "", "", "", "", ""};
        QTest::newRow("empty page") << QString() << Six{"", "", "", "", "", ""};
        QTest::newRow("fewer than five cells, no countdown")
            << QStringLiteral("<td class=\"deltd1\">1</td><td class=\"deltd1\"><b>2</b></td>")
            << Six{"1", "2", "", "", "", ""};
        QTest::newRow("countdown without cells")
            << QStringLiteral("<p>>还剩：1 天</p>") << Six{"", "", "", "", "", "1天"};
        QTest::newRow("empty cells stay empty")
            << QStringLiteral("deltd1\">deltd1\"></td>deltd1\">3</td>deltd1\">")
            << Six{"", "", "3", "", "", ""};
        QTest::newRow("unclosed cell and countdown run to the end")
            << QStringLiteral("deltd1\">1</td>deltd1\">2 <b>x</b> >还剩：4 天")
            << Six{"1", "2 x >还剩：4 天", "", "", "", "4天"};
        QTest::newRow("first countdown marker wins")
            << QStringLiteral(">还剩：1 天<>还剩：2天<") << Six{"", "", "", "", "", "1天"};
    }
    void parse() {
        QFETCH(QString, page);
        QFETCH(Six, expected);
        QCOMPARE(asSix(lookup::parseLookupPage(page)), expected);
    }

    void click_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("targets");
        QTest::addColumn<int>("boxes");
        QTest::addColumn<Six>("expected");

        const Six full{"14年", "x", "2008-01-02", "2012-01-02", "2012-03-03", "12天3小时"};
        QTest::newRow("empty box asks, sends nothing")
            << QString() << QStringList{} << 1 << Six{"", "", "", "", "", ""};
        QTest::newRow("plain name")
            << QStringLiteral("abc.com") << QStringList{"/DomainDel/?wd=abc.com"} << 0 << full;
        QTest::newRow("blanks kept in the address")
            << QStringLiteral(" abc.com ") << QStringList{"/DomainDel/?wd=%20abc.com%20"} << 0
            << full;
        QTest::newRow("blanks only are a name")
            << QStringLiteral("  ") << QStringList{"/DomainDel/?wd=%20%20"} << 0 << full;
        QTest::newRow("case kept, Chinese name in UTF-8")
            << QStringLiteral("AbC.中国") << QStringList{"/DomainDel/?wd=AbC.%E4%B8%AD%E5%9B%BD"}
            << 0 << full;
    }
    void click() {
        QFETCH(QString, name);
        QFETCH(QStringList, targets);
        QFETCH(int, boxes);
        QFETCH(Six, expected);

        FixtureServer server;
        QVERIFY(server.listen());
        server.setFallback(FixtureServer::answer(
            servicePage({"<b>14年</b>", "x", "2008-01-02", "2012-01-02", "2012-03-03(近似值)"},
                        "12天 3小时")
                .toUtf8()));
        Window w(server);
        for (int i = 1; i <= 6; ++i)
            w.form.Label9(i)->setText(QStringLiteral("old"));
        Six duringWait;
        server.onRequest = [&](const QString&) { duringWait = labels(w.form); };

        w.form.Text9->setText(name);
        w.form.Command8->click();

        QCOMPARE(server.targets(), targets);
        QCOMPARE(labels(w.form), expected);
        QCOMPARE(w.boxes.size(), boxes);
        if (boxes)
            QCOMPARE(w.boxes.first(),
                     (QStringList{"请输入查询域名", QString::number(MsgBoxStyle::OkOnly),
                                  "Lumo过期域名查询工具"}));
        if (!targets.isEmpty())
            QCOMPARE(duringWait, (Six{"", "", "", "", "", ""}));
        QCOMPARE(w.form.Text9->text(), name); // the box is read, never tidied
    }

    // Two lookups overlap: the second click comes while the first waits for its page.
    void overlapping_data() {
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("olderAnswersFirst");
        QTest::addColumn<Six>("expected");

        const Six newer{"b1", "b2", "b3", "b4", "b5", "b6"};
        QTest::newRow("newer page first") << QStringLiteral("b.com") << false << newer;
        QTest::newRow("older page first") << QStringLiteral("b.com") << true << newer;
        QTest::newRow("second click on an empty box")
            << QString() << false << Six{"", "", "", "", "", ""};
    }
    void overlapping() {
        QFETCH(QString, second);
        QFETCH(bool, olderAnswersFirst);
        QFETCH(Six, expected);

        const QString older = "/DomainDel/?wd=a.com";
        const QString newer = "/DomainDel/?wd=b.com";
        FixtureServer server;
        QVERIFY(server.listen());
        server.setReply(
            older, FixtureServer::held(servicePage({"a1", "a2", "a3", "a4", "a5"}, "a6").toUtf8()));
        server.setReply(
            newer, FixtureServer::held(servicePage({"b1", "b2", "b3", "b4", "b5"}, "b6").toUtf8()));
        Window w(server);
        bool secondReturned = false;
        auto secondClick = [&] {
            w.form.Text9->setText(second);
            w.form.Command8_Click();
            secondReturned = true;
            server.release(older); // an empty box sends nothing: let the first one go on
        };
        server.onRequest = [&](const QString& target) {
            if (target == older) {
                QTimer::singleShot(0, &w.form, secondClick);
            } else if (olderAnswersFirst) {
                server.release(older);
                QTimer::singleShot(200, &server, [&] { server.release(newer); });
            } else {
                QTimer::singleShot(0, &server, [&] { server.release(newer); });
            }
        };

        w.form.Text9->setText("a.com");
        w.form.Command8_Click();

        QVERIFY(secondReturned);
        QCOMPARE(labels(w.form), expected);
        QCOMPARE(w.boxes.size(), second.isEmpty() ? 1 : 0);
    }
};

QTEST_MAIN(TestLookup)
#include "tst_lookup.moc"
