// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtureserver.h"
#include "rig.h"

#include "window/form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

// A listing home page with the six start-up dates.
const QByteArray kHomePage =
    "<h2>四天后的删除域名查询</h2><table><a>2011-11-29</a><a>2011-11-30</a>"
    "<a>2011-12-02</a><a>2011-12-03</a><a>2011-12-04</a></table>"
    "<a>首页</a> &nbsp;&nbsp; 2011-12-01 删除";

// The start-up waits for its page when the user closes the window; `answer` is the reply to
// the question. What happens is told to `note`. Returns whether the close went through.
bool closeDuringStartup(FixtureServer& server, Form1& form, int answer,
                        const std::function<void(const QString&)>& note) {
    server.setReply(QStringLiteral("/"), FixtureServer::held(kHomePage));
    form.Timer1->stop();
    form.Timer3->stop();
    form.MsgBox = [&, answer](const QString& text, int style, const QString& caption) {
        note(QStringLiteral("asked %1|%2|%3").arg(text).arg(style).arg(caption));
        server.release(QStringLiteral("/")); // the page is in: only the end stops the start-up
        return answer;
    };
    bool closed = true;
    server.onRequest = [&](const QString&) {
        QTimer::singleShot(0, &form, [&] { closed = form.close(); });
    };
    QObject::connect(form.Text1, &QLineEdit::textChanged,
                     [&](const QString& text) { note(QStringLiteral("slot written ") + text); });
    form.show();
    form.Command11_Click();
    return closed;
}

} // namespace

class TstExit : public QObject {
    Q_OBJECT
private slots:
    void refusalKeepsWindow_data();
    void refusalKeepsWindow();
    void okDuringWaitEndsProcessAtOnce();
    void pageUnderOpenBoxKept();
};

void TstExit::refusalKeepsWindow_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Cancel") << MsgBoxCancel;
    QTest::newRow("box closed without a choice") << 0;
}

// The window stays, and the start-up it interrupted goes on to fill the date slots.
void TstExit::refusalKeepsWindow() {
    QFETCH(int, answer);
    FixtureServer server;
    QVERIFY(server.listen());
    Form1 form({server.origin() + "/", server.origin(), server.origin()});
    int endCalls = 0;
    form.EndProgram = [&] { ++endCalls; };
    QStringList notes;
    QVERIFY(!closeDuringStartup(server, form, answer, [&](const QString& n) { notes << n; }));
    QCOMPARE(endCalls, 0);
    QCOMPARE(notes, QStringList({QStringLiteral("asked 真的退出吗?|33|退出"),
                                 QStringLiteral("slot written 2011-12-01")}));
}

void TstExit::okDuringWaitEndsProcessAtOnce() {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--exit-child")});
    QVERIFY(child.waitForFinished(30000));
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             child.readAllStandardError().data());
    // It asked while the start-up waited; after OK nothing ran: no slot was written, and the
    // close call never even returned.
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()),
             QStringLiteral("asked 真的退出吗?|33|退出\n"));
}

// A page that came in while the box stood open for longer than the fetch's total limit is
// kept: after Cancel the retrieval lists every name.
void TstExit::pageUnderOpenBoxKept() {
    Module1::FetchLimits limits;
    limits.totalTimeoutMs = 300;
    Module1::setFetchLimits(limits);
    Rig rig(MsgBoxCancel);
    rig.form->show();
    rig.form->Text7->setText("2011-05-03");
    const QString page2 = "/deleteddomain.php?date=2011-05-03&t=inter&page=2&tld=.com&length=5";
    rig.server.setFallback(FixtureServer::answer(listPageOf(rig.server.origin(), 100)));
    rig.server.setReply(page2, FixtureServer::held(listPageOf(rig.server.origin(), 100, 101)));
    rig.form->MsgBox = [&](const QString&, int, const QString&) {
        rig.server.release();
        QTest::qWait(2 * limits.totalTimeoutMs);
        return MsgBoxCancel;
    };
    rig.server.onRequest = [&](const QString& target) {
        if (target == page2)
            QTimer::singleShot(0, rig.form.get(), [&] { rig.form->close(); });
    };
    rig.cell(5, 1)->setText("300");
    rig.form->Label4_Click(1);
    Module1::setFetchLimits({});
    QCOMPARE(rig.form->List1->count(), 300);
    QCOMPARE(rig.form->List1->item(150)->text(), QStringLiteral("n151.com"));
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--exit-child") == 0) { // with the program's own end
        const auto print = [](const QString& line) { std::puts(qPrintable(line)); };
        FixtureServer server;
        server.listen();
        Form1 form({server.origin() + "/", server.origin(), server.origin()});
        closeDuringStartup(server, form, MsgBoxOk, print);
        print(QStringLiteral("start-up returned"));
        return 3;
    }
    TstExit test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exit.moc"
