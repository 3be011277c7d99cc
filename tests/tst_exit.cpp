#include "fixtureserver.h"

#include "window/form1.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <memory>

namespace {

// A listing home page with the six start-up dates.
const QByteArray kHomePage =
    "<html><body><h2>四天后的删除域名查询</h2><table>"
    "<tr><td><a href='deleteddate.php?date=2011-11-29'>2011-11-29</a></td>"
    "<td><a href='deleteddate.php?date=2011-11-30'>2011-11-30</a></td>"
    "<td><a href='deleteddate.php?date=2011-12-02'>2011-12-02</a></td>"
    "<td><a href='deleteddate.php?date=2011-12-03'>2011-12-03</a></td>"
    "<td><a href='deleteddate.php?date=2011-12-04'>2011-12-04</a></td></tr></table>"
    "<p><a href='index.php'>首页</a> &nbsp;&nbsp; 2011-12-01 删除</p></body></html>";

const char* const kChildVariable = "LUMO_TST_EXIT_CHILD";

struct Asked {
    QString text;
    int style = -1;
    QString caption;
};

// The window of the tests: timers held back, the question box answered by `answer`, the
// program's end recorded.
struct Window {
    FixtureServer server;
    std::unique_ptr<Form1> form;
    QList<Asked> asked;
    int answer = MsgBoxCancel;
    int endCalls = 0;

    Window() {
        if (!server.listen())
            qFatal("no local server");
        server.setReply(QStringLiteral("/"), FixtureServer::held(kHomePage));
        const QString origin = server.origin();
        form = std::make_unique<Form1>(Addresses{origin + u'/', origin, origin});
        form->Timer1->stop();
        form->Timer3->stop();
        form->MsgBox = [this](const QString& text, int style, const QString& caption) {
            asked.append({text, style, caption});
            return answer;
        };
        form->EndProgram = [this] { ++endCalls; };
    }
};

void print(const QString& line) {
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// Runs in a child process, with the program's own EndProgram: the start-up waits for its
// page, the user closes the window and answers OK. Whatever runs after that prints a line.
int runChild() {
    FixtureServer server;
    if (!server.listen())
        return 2;
    server.setReply(QStringLiteral("/"), FixtureServer::held(kHomePage));
    const QString origin = server.origin();
    Form1 form(Addresses{origin + u'/', origin, origin});
    form.Timer3->stop();
    form.Label8->setText(QStringLiteral("status"));
    form.MsgBox = [&](const QString& text, int style, const QString& caption) {
        print(QStringLiteral("asked %1|%2|%3").arg(text).arg(style).arg(caption));
        server.release(QStringLiteral("/")); // the page is in: only the end stops the start-up
        QTest::qWait(200);
        return MsgBoxOk;
    };
    server.onRequest = [&](const QString& target) {
        print(QStringLiteral("request ") + target);
        if (target == u"/")
            QTimer::singleShot(0, &form, [&] {
                form.close();
                print(QStringLiteral("close returned"));
            });
    };
    QObject::connect(form.Text1, &QLineEdit::textChanged,
                     [](const QString& text) { print(QStringLiteral("slot written ") + text); });
    QTimer::singleShot(5000, [&] {
        print(QStringLiteral("still running, cover %1, status %2")
                  .arg(form.Picture1->isVisible() ? "up" : "down", form.Label8->text()));
        std::exit(3);
    });
    form.show();
    return QApplication::exec();
}

} // namespace

class TstExit : public QObject {
    Q_OBJECT
private slots:
    void refusalKeepsWindow_data();
    void refusalKeepsWindow();
    void okEndsProgram();
    void cancelDuringWaitLetsWorkGoOn();
    void okDuringWaitEndsProcessAtOnce();
};

void TstExit::refusalKeepsWindow_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Cancel") << MsgBoxCancel;
    QTest::newRow("box closed without a choice") << 0;
}

void TstExit::refusalKeepsWindow() {
    QFETCH(int, answer);
    Window window;
    window.answer = answer;
    Form1& form = *window.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Text9->setText(QStringLiteral("abc.com"));
    form.List1->addItems({QStringLiteral("abc.com"), QStringLiteral("bcd.com")});

    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    QCOMPARE(window.asked.size(), 1);
    QCOMPARE(window.asked.at(0).text, QStringLiteral("真的退出吗?"));
    QCOMPARE(window.asked.at(0).style, MsgBoxStyle::OkCancel | MsgBoxStyle::Question);
    QCOMPARE(window.asked.at(0).caption, QStringLiteral("退出"));
    QCOMPARE(window.endCalls, 0);
    QCOMPARE(form.Text9->text(), QStringLiteral("abc.com"));
    QCOMPARE(form.List1->count(), 2);
    QVERIFY(form.Timer2->isActive());

    // Every attempt asks again.
    QVERIFY(!form.close());
    QCOMPARE(window.asked.size(), 2);
    QVERIFY(form.isVisible());
    QCOMPARE(window.endCalls, 0);
}

void TstExit::okEndsProgram() {
    Window window;
    window.answer = MsgBoxOk;
    Form1& form = *window.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.close();
    QCOMPARE(window.asked.size(), 1);
    QCOMPARE(window.endCalls, 1);
}

void TstExit::cancelDuringWaitLetsWorkGoOn() {
    Window window;
    Form1& form = *window.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    bool closed = true;
    window.server.onRequest = [&](const QString& target) {
        if (target != u"/")
            return;
        QTimer::singleShot(0, &form, [&] {
            closed = form.close();
            window.server.release(QStringLiteral("/"));
        });
    };
    form.Command11_Click();
    QVERIFY(!closed);
    QCOMPARE(window.asked.size(), 1);
    QCOMPARE(window.endCalls, 0);
    // The start-up resumed and finished: slots filled, cover gone, window still there.
    QCOMPARE(form.Text3->text(), QStringLiteral("2011-11-29"));
    QCOMPARE(form.Text1->text(), QStringLiteral("2011-12-01"));
    QVERIFY(!form.Picture1->isVisible());
    QVERIFY(form.isVisible());
}

void TstExit::okDuringWaitEndsProcessAtOnce() {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildVariable), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForFinished(30000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(child.exitStatus() == QProcess::NormalExit,
             qPrintable(QString::fromUtf8(child.readAllStandardError())));
    QCOMPARE(child.exitCode(), 0);
    // It asked while the start-up waited; after OK nothing ran: no slot was written, the
    // cover never dropped, the close call never even returned.
    QCOMPARE(lines, QStringList({QStringLiteral("request /"),
                                 QStringLiteral("asked 真的退出吗?|33|退出")}));
}

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kChildVariable))
        return runChild();
    TstExit test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_exit.moc"
