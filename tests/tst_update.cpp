// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/versionfile.h"
#include "rig.h"
#include "window/form1.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

namespace {

const QString VersionFile = QStringLiteral("/lumo/rideve.txt");

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT
private slots:
    void versionLine_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("line"); // empty: no question
        const char* rows[][3] = {
            {"equal, notes after", "8.8\r\n更新说明", ""},
            {"equal without line ending", "8.8", ""},
            {"trailing blank", "8.8 \r\n", "8.8 "},
            {"LF-only endings", "8.8\n说明\n", "8.8\n说明\n"},
            {"older version", "8.7\r\n8.8\r\n", "8.7"},
            {"empty", "", ""},
            {"HTML error page", "<html><title>404 Not Found</title></html>", ""},
            {"long LF-only notes",
             "9.2\n1. 列表更快：三千个域名一秒内列完。\n2. "
             "名单可以复制、导出为文本或表格，并按拼音和数字形状筛选。\n3. 支持 Linux 桌面。\n",
             "9.2\n1. 列表更快：三千个域名一秒内列完。\n2. "
             "名单可以复制、导出为文本或表格，并按拼音和数字形状筛选。\n3. 支持 Linux 桌面。\n"}};
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString(row[1]) << QString(row[2]);
        const QString notes = QString(1200, u'说');
        QTest::newRow("past 1,000 characters") << notes + "\r\n" << notes.left(1000) + "…";
    }
    void versionLine() {
        QFETCH(QString, page);
        QFETCH(QString, line);
        QCOMPARE(maintenance::newVersionLine(page).value_or(QString()), line);
    }

    // The question on a newer file; only OK opens the maker's page, and only that. The
    // button opens the maker's site as it is.
    void answer_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("OK") << true;
        QTest::newRow("Cancel") << false;
    }
    void answer() {
        QFETCH(bool, ok);
        Rig w(ok ? MsgBoxOk : MsgBoxCancel);
        w.server.setReply(VersionFile, FixtureServer::answer("9.0\r\n"));
        w.form->Command9_Click();
        QCOMPARE(w.boxes, QStringList{"发现最新版本9.0，是否更新？"});
        QCOMPARE(w.opened, ok ? QStringList{w.server.origin() + "/lumo/"} : QStringList{});
        QCOMPARE(w.server.targets(), QStringList{VersionFile}); // the page is left to the browser
        w.opened.clear();
        w.form->Command10->click();
        QCOMPARE(w.opened, QStringList{w.server.origin() + "/lumo"});
    }

    // The update check's timer fires while the start-up fetch waits for a slow home page;
    // the start-up goes on once the question has been answered.
    void checkInsideStartupWait() {
        FixtureServer server;
        QVERIFY(server.listen());
        QByteArray home = "<a href=\"?\">今天</a> &nbsp;&nbsp; 2011-05-03 星期二"
                          "<h2>四天后的删除域名查询</h2><table>";
        for (const char* day : {"-05-01", "-05-02", "-05-04", "-05-05", "-05-06"})
            home += QByteArray("<td><a href=\"d.php\">2011") + day + "</a></td>";
        server.setReply("/", FixtureServer::held(home + "</table>"));
        server.setReply(VersionFile, FixtureServer::answer("9.0\r\n"));

        Form1 form(Addresses{server.origin() + "/", server.origin(), server.origin()});
        form.Timer2->stop();
        QStringList seen; // the requests and today's slot while the question is up
        form.MsgBox = [&](const QString&, int, const QString&) {
            // A modal box keeps the events going: the home page comes in while it is up, but
            // the start-up below on the stack must wait for the answer.
            server.release("/");
            QEventLoop modal;
            QTimer::singleShot(300, &modal, &QEventLoop::quit);
            modal.exec();
            seen = server.targets() << form.Text1->text();
            return MsgBoxCancel;
        };
        QTRY_COMPARE_WITH_TIMEOUT(form.Text1->text(), QStringLiteral("2011-05-03"), 15'000);
        QCOMPARE(seen, (QStringList{"/", VersionFile, ""}));
        QCOMPARE(server.targets(), (QStringList{"/", VersionFile})); // asked once
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
