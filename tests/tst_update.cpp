#include "fixtureserver.h"
#include "maintenance/versionfile.h"
#include "net/module1.h"
#include "window/form1.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QtTest>

namespace {

const QString VersionFile = QStringLiteral("/lumo/rideve.txt");

struct Answered {
    QString text;
    int style = -1;
    QString caption;
};

// A window pointed at the test's server, its timers stopped, its desktop recorded.
struct Window {
    explicit Window(FixtureServer& server, int answer = MsgBoxCancel)
        : form(Addresses{server.origin() + "/", server.origin(), server.origin()}) {
        form.Timer1->stop();
        form.Timer2->stop();
        form.Timer3->stop();
        form.MsgBox = [this, answer](const QString& text, int style, const QString& caption) {
            boxes.append({text, style, caption});
            openedBeforeQuestion = opened;
            return answer;
        };
        form.OpenUrl = [this](const QUrl& address) { opened << address.toString(); };
    }
    Form1 form;
    QList<Answered> boxes;
    QStringList opened;
    QStringList openedBeforeQuestion;
};

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        Module1::FetchLimits limits;
        limits.idleTimeoutMs = 10'000;
        limits.totalTimeoutMs = 20'000;
        Module1::setFetchLimits(limits);
    }

    void versionLine_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<QString>("line");

        QTest::newRow("equal, notes after") << "8.8\r\n更新说明\r\n9.9" << false << "";
        QTest::newRow("equal without line ending") << "8.8" << false << "";
        QTest::newRow("trailing blank") << "8.8 \r\n" << true << "8.8 ";
        QTest::newRow("LF-only endings") << "8.9\n说明\n" << true << "8.9\n说明\n";
        QTest::newRow("reference with LF only") << "8.8\n" << true << "8.8\n";
        QTest::newRow("reference with CR only") << "8.8\r" << true << "8.8\r";
        QTest::newRow("older version") << "8.7\r\n8.8\r\n" << true << "8.7";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("empty first line") << "\r\n8.9" << false << "";
        QTest::newRow("HTML error page")
            << "<html><head><title>404 Not Found</title></head></html>" << false << "";
        QTest::newRow("markup late in the line") << "9.0 <br>" << false << "";
        QTest::newRow("at the limit") << QString(64, u'9') << true << QString(64, u'9');
        QTest::newRow("beyond the limit") << QString(65, u'9') << false << "";
        QTest::newRow("line end just past the limit")
            << QString(65, u'9') + "\r\n8.9" << false << "";
        QTest::newRow("at the limit, then more lines")
            << QString(64, u'9') + "\r\n" + QString(5000, u'x') << true << QString(64, u'9');
    }
    void versionLine() {
        QFETCH(QString, page);
        QFETCH(bool, asks);
        QFETCH(QString, line);
        const std::optional<QString> got = maintenance::newVersionLine(page);
        QCOMPARE(got.has_value(), asks);
        if (asks)
            QCOMPARE(*got, line);
    }

    void check_data() {
        QTest::addColumn<FixtureServer::Reply>("reply");
        QTest::addColumn<QString>("question");

        QTest::newRow("GB2312 file, newer version")
            << FixtureServer::answer("8.9 \xD0\xC2\xB0\xE6\r\n\xCB\xB5\xC3\xF7")
            << QStringLiteral("发现最新版本8.9 新版，是否更新？");
        QTest::newRow("reference version") << FixtureServer::answer("8.8\r\n") << QString();
        QTest::newRow("missing file, error page")
            << FixtureServer::answer("<html><body>Not Found</body></html>", 404) << QString();
        QTest::newRow("missing file, plain error text")
            << FixtureServer::answer("File not found", 404)
            << QStringLiteral("发现最新版本File not found，是否更新？");
        QTest::newRow("connection dropped") << FixtureServer::closing() << QString();
    }
    void check() {
        QFETCH(FixtureServer::Reply, reply);
        QFETCH(QString, question);

        FixtureServer server;
        QVERIFY(server.listen());
        server.setReply(VersionFile, reply);
        Window w(server);
        w.form.Command9_Click();

        // A dropped connection may be tried again by the network stack: same file only.
        const QStringList targets = server.targets();
        QVERIFY(!targets.isEmpty());
        QCOMPARE(QSet<QString>(targets.begin(), targets.end()), QSet<QString>{VersionFile});
        QCOMPARE(w.boxes.size(), question.isEmpty() ? 0 : 1);
        if (!question.isEmpty()) {
            QCOMPARE(w.boxes.first().text, question);
            QCOMPARE(w.boxes.first().style, 33);
            QCOMPARE(w.boxes.first().caption, QStringLiteral("发现最新版本"));
        }
        QVERIFY(w.opened.isEmpty()); // Cancel, or no question at all
    }

    void answer_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("OK") << MsgBoxOk << QStringList{"/lumo/"};
        QTest::newRow("Cancel") << MsgBoxCancel << QStringList{};
    }
    void answer() {
        QFETCH(int, answer);
        QFETCH(QStringList, opened);

        FixtureServer server;
        QVERIFY(server.listen());
        server.setReply(VersionFile, FixtureServer::answer("9.0\r\n"));
        Window w(server, answer);
        w.form.Timer3->start();
        w.form.Timer3_Timer();

        QVERIFY(!w.form.Timer3->isActive());
        QCOMPARE(w.boxes.size(), 1);
        for (QString& path : opened)
            path.prepend(server.origin());
        QCOMPARE(w.opened, opened);
        QCOMPARE(server.targets(), QStringList{VersionFile}); // the site is left to the browser
    }

    void siteButton_data() {
        QTest::addColumn<bool>("duringCheck");
        QTest::newRow("idle") << false;
        QTest::newRow("while the update check waits") << true;
    }
    void siteButton() {
        QFETCH(bool, duringCheck);

        FixtureServer server;
        QVERIFY(server.listen());
        server.setReply(VersionFile, FixtureServer::held("9.0"));
        Window w(server);
        server.onRequest = [&](const QString& target) {
            if (target != VersionFile)
                return;
            QTimer::singleShot(0, &server, [&] {
                w.form.Command10->click();
                server.release(VersionFile);
            });
        };
        if (duringCheck)
            w.form.Command9_Click();
        else
            w.form.Command10->click();

        QCOMPARE(w.opened, QStringList{server.origin() + "/lumo"});
        if (duringCheck) {
            QCOMPARE(w.boxes.size(), 1);
            QCOMPARE(w.openedBeforeQuestion, w.opened); // at once, not after the check
        }
    }

    // The update check's timer fires while the start-up discovery waits for a slow home
    // page; the discovery goes on once the question has been answered.
    void checkInsideStartupWait() {
        FixtureServer server;
        QVERIFY(server.listen());
        QByteArray home = "<html><body><a href=\"?\">今天</a> &nbsp;&nbsp; 2011-05-03 星期二"
                          "<h2>四天后的删除域名查询</h2><table>";
        for (const char* day : {"-05-01", "-05-02", "-05-04", "-05-05", "-05-06"})
            home += QByteArray("<tr><td><a href=\"d.php?date=2011") + day + "\">2011" + day +
                    "</a></td></tr>";
        home += "</table></body></html>";
        server.setReply("/", FixtureServer::held(home));
        server.setReply(VersionFile, FixtureServer::answer("9.0\r\n"));

        Form1 form(Addresses{server.origin() + "/", server.origin(), server.origin()});
        form.Timer2->stop();
        QStringList targetsAtQuestion;
        QString todayAtQuestion = "unset";
        QString todayAfterRelease = "unset";
        int questions = 0;
        form.OpenUrl = [](const QUrl&) {};
        form.MsgBox = [&](const QString&, int, const QString&) {
            ++questions;
            targetsAtQuestion = server.targets();
            todayAtQuestion = form.Text1->text();
            // A modal box keeps the events going: the home page comes in while it is up, but
            // the discovery below on the stack must wait for the answer.
            server.release("/");
            QEventLoop modal;
            QTimer::singleShot(300, &modal, &QEventLoop::quit);
            modal.exec();
            todayAfterRelease = form.Text1->text();
            return MsgBoxCancel;
        };

        QTRY_COMPARE_WITH_TIMEOUT(form.Text1->text(), QStringLiteral("2011-05-03"), 15'000);
        QCOMPARE(questions, 1);
        QCOMPARE(targetsAtQuestion, (QStringList{"/", VersionFile}));
        QCOMPARE(todayAtQuestion, QString());
        QCOMPARE(todayAfterRelease, QString());
        const QStringList dateSlots = {form.Text3->text(), form.Text2->text(), form.Text4->text(),
                                       form.Text5->text(), form.Text6->text()};
        QCOMPARE(dateSlots, (QStringList{"2011-05-01", "2011-05-02", "2011-05-04", "2011-05-05",
                                         "2011-05-06"}));
        QVERIFY(form.Picture1->isHidden());
        QVERIFY(!form.Timer3->isActive());
        QVERIFY(!form.Timer1->isActive());
        QCOMPARE(server.targets(), (QStringList{"/", VersionFile}));
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
