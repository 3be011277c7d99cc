// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Today's counts: length * 10 + suffix index, but for the cells the tests list.
QString countOf(int length, int suffixIndex) {
    static const QHash<int, QString> listed = {
        {41, "3"}, {51, "450"}, {52, "450"}, {53, "450"}, {61, "8"}};
    const int plain = length * 10 + suffixIndex;
    return listed.value(plain, QString::number(plain));
}

} // namespace

// lumo-cli as a script runs it, against a small day on a loopback server.
class TestCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void output_data();
    void output();
    void exitCodes_data();
    void exitCodes();
    void filters_data();
    void filters();
    void jobsKeepTheOrder();
    void ctrlCKeepsFinishedPages();
    void closedPipeEndsQuietly();

private:
    QString listTarget(int suffixIndex, int length, int page) const;
    // Starts lumo-cli with the server's addresses; its stdout goes to `stdoutFd` when given.
    void start(QProcess& process, const QStringList& arguments, int stdoutFd = -1);
    // Waits for the child while this thread keeps answering its requests.
    static bool finish(QProcess& process);

    FixtureServer server_;
    quint16 closedPort_ = 0;
};

QString TestCli::listTarget(int suffixIndex, int length, int page) const {
    const char* suffixes[] = {"", ".com", ".net", ".org"};
    return QStringLiteral("/deleteddomain.php?date=2011-03-06&t=inter&page=%1&tld=%2&length=%3")
        .arg(page)
        .arg(suffixes[suffixIndex])
        .arg(length);
}

void TestCli::initTestCase() {
    QVERIFY(server_.listen());
    FixtureServer closed;
    QVERIFY(closed.listen());
    closedPort_ = closed.port();
    closed.close();

    const QString origin = server_.origin();
    QString home =
        "<a href=/>首页</a> &nbsp;&nbsp; 2011-03-06 x<h1>四天后的删除域名查询</h1><table>";
    for (const char* d : {"2011-03-04", "2011-03-05", "2011-03-07", "2011-03-08", "2011-03-09"})
        home += QStringLiteral("<a href=x>%1</a>").arg(d);
    server_.setReply("/", FixtureServer::answer((home + "</table>").toUtf8()));

    QString summary = "<td noWrap><font color=red>2011-03-06</font>";
    for (int n = 3; n <= 7; ++n)
        for (int i = 1; i <= 7; ++i)
            summary += QStringLiteral("<a href=\"x?length=%1\">%2</a>").arg(n).arg(countOf(n, i));
    server_.setReply("/deleteddate.php?date=2011-03-06", FixtureServer::answer(summary.toUtf8()));

    auto names = [&](const QStringList& list) {
        QString page;
        for (const QString& name : list)
            page += "<a href=" + origin + "/whois.php?domain=" + name + ">x</a>";
        return FixtureServer::answer(page.toUtf8());
    };
    server_.setReply(listTarget(1, 4, 1),
                     names({"abcd.com", "a,b\"c.com", "1234.com", "zzzz.com"}));
    server_.setReply(listTarget(1, 6, 1),
                     names({"abcabc.com", "123123.com", "ab-cde.com", "haoren.com", "xiaoma.com",
                            "aabbcc.com", "zhuang.com", "1a2b3c.com"}));
    server_.setReply(listTarget(2, 4, 1), FixtureServer::closing());
    for (int suffixIndex = 1; suffixIndex <= 3; ++suffixIndex)
        for (int page = 1; page <= 5; ++page)
            server_.setReply(listTarget(suffixIndex, 5, page),
                             FixtureServer::answer(
                                 listPageOf(origin, page < 5 ? 100 : 50, (page - 1) * 100 + 1)));
    server_.setReply("/DomainDel/?wd=abcd.com",
                     FixtureServer::answer("<td class=\"deltd1\"><b>3年2个月</b>(近似值)</td>"
                                           "<td class=\"deltd1\">pendingDelete</td>"
                                           "<td class=\"deltd1\">2008-01-05</td>"
                                           "<td class=\"deltd1\">2011-01-05</td>"
                                           "<td class=\"deltd1\">2011-03-06</td>"
                                           "<p><span>还剩：0 天 5 小时</span>"));
}

void TestCli::start(QProcess& process, const QStringList& arguments, int stdoutFd) {
    if (stdoutFd >= 0)
        process.setChildProcessModifier([stdoutFd] { ::dup2(stdoutFd, STDOUT_FILENO); });
    process.start(LUMO_CLI_PROGRAM, QStringList{"--listing-url", server_.origin() + "/",
                                                "--lookup-url", server_.origin()} +
                                        arguments);
}

bool TestCli::finish(QProcess& process) {
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
}

void TestCli::output_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    const QStringList list = {"list", "--suffix", "com", "--length", "4", "--format"};
    const QStringList lookup = {"lookup", "abcd.com", "--format"};
    QTest::newRow("days text") << QStringList{"days"}
                               << "-2     二天前    2011-03-04\n-1     一天前    2011-03-05\n"
                                  "today  今天删除  2011-03-06\n+1     一天后    2011-03-07\n"
                                  "+2     二天后    2011-03-08\n+3     三天后    2011-03-09\n";
    QTest::newRow("days csv") << QStringList{"days", "--format", "csv"}
                              << "day,caption,date\r\n-2,二天前,2011-03-04\r\n-1,一天前,2011-03-05"
                                 "\r\ntoday,今天删除,2011-03-06\r\n+1,一天后,2011-03-07\r\n"
                                 "+2,二天后,2011-03-08\r\n+3,三天后,2011-03-09\r\n";
    QTest::newRow("days json")
        << QStringList{"days", "--format", "json"}
        << "[\n  {\"day\": \"-2\", \"caption\": \"二天前\", \"date\": \"2011-03-04\"},\n"
           "  {\"day\": \"-1\", \"caption\": \"一天前\", \"date\": \"2011-03-05\"},\n"
           "  {\"day\": \"today\", \"caption\": \"今天删除\", \"date\": \"2011-03-06\"},\n"
           "  {\"day\": \"+1\", \"caption\": \"一天后\", \"date\": \"2011-03-07\"},\n"
           "  {\"day\": \"+2\", \"caption\": \"二天后\", \"date\": \"2011-03-08\"},\n"
           "  {\"day\": \"+3\", \"caption\": \"三天后\", \"date\": \"2011-03-09\"}\n]\n";
    QTest::newRow("counts text") << QStringList{"counts", "--day", "2011-03-06"}
                                 << "2011-03-06删除的域名\n"
                                    "         .com  .net  .org  .info  .biz  .cn  .com.cn\n"
                                    "3位域名    31    32    33     34    35   36       37\n"
                                    "4位域名     3    42    43     44    45   46       47\n"
                                    "5位域名   450   450   450     54    55   56       57\n"
                                    "6位域名     8    62    63     64    65   66       67\n"
                                    "7位域名    71    72    73     74    75   76       77\n";
    QString csv = "day,length,suffix,count\r\n", json = "[";
    const QStringList suffixes = {".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};
    for (int n = 3; n <= 7; ++n)
        for (int i = 1; i <= 7; ++i) {
            const QString count = countOf(n, i);
            csv += QStringLiteral("2011-03-06,%1,%2,%3\r\n").arg(n).arg(suffixes[i - 1], count);
            json += QStringLiteral("%1\n  {\"day\": \"2011-03-06\", \"length\": %2, \"suffix\": "
                                   "\"%3\", \"count\": \"%4\"}")
                        .arg(json.size() > 1 ? "," : "")
                        .arg(n)
                        .arg(suffixes[i - 1], count);
        }
    QTest::newRow("counts csv") << QStringList{"counts", "--format", "csv"} << csv;
    QTest::newRow("counts json") << QStringList{"counts", "--format", "json"} << json + "\n]\n";
    QTest::newRow("list text") << list + QStringList{"text"} << "abcd.com\na,b\"c.com\n1234.com\n";
    QTest::newRow("list csv")
        << list + QStringList{"csv"}
        << "name,length,suffix,day\r\nabcd.com,4,.com,2011-03-06\r\n"
           "\"a,b\"\"c.com\",4,.com,2011-03-06\r\n1234.com,4,.com,2011-03-06\r\n";
    QTest::newRow("list json")
        << list + QStringList{"json"}
        << "[\n  {\"name\": \"abcd.com\", \"length\": 4, \"suffix\": \".com\", \"day\": "
           "\"2011-03-06\"},\n  {\"name\": \"a,b\\\"c.com\", \"length\": 4, \"suffix\": \".com\", "
           "\"day\": \"2011-03-06\"},\n  {\"name\": \"1234.com\", \"length\": 4, \"suffix\": "
           "\".com\", \"day\": \"2011-03-06\"}\n]\n";
    QTest::newRow("lookup text")
        << lookup + QStringList{"text"}
        << "域名      域名年龄  域名状态       注册时间    到期时间    删除时间    删除倒计时\n"
           "abcd.com  3年2个月  pendingDelete  2008-01-05  2011-01-05  2011-03-06  0天5小时\n";
    QTest::newRow("lookup csv")
        << lookup + QStringList{"csv"}
        << "name,age,status,registered,expires,deleted,countdown\r\n"
           "abcd.com,3年2个月,pendingDelete,2008-01-05,2011-01-05,2011-03-06,0天5小时\r\n";
    QTest::newRow("lookup json")
        << lookup + QStringList{"json"}
        << "[\n  {\"name\": \"abcd.com\", \"age\": \"3年2个月\", \"status\": \"pendingDelete\", "
           "\"registered\": \"2008-01-05\", \"expires\": \"2011-01-05\", \"deleted\": "
           "\"2011-03-06\", \"countdown\": \"0天5小时\"}\n]\n";
}

void TestCli::output() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QProcess cli;
    start(cli, arguments);
    QVERIFY(finish(cli));
    QCOMPARE(cli.readAllStandardError(), QByteArray());
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()), expected);
}

void TestCli::exitCodes_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    const QStringList list = {"list", "--suffix", "com", "--length", "4"};
    QTest::newRow("refused") << QStringList{"days", "--listing-url",
                                            QStringLiteral("http://127.0.0.1:%1/").arg(closedPort_)}
                             << 1;
    QTest::newRow("summary without counts") << QStringList{"counts", "--day", "-2"} << 1;
    QTest::newRow("list page cut off")
        << QStringList{"list", "--suffix", ".net", "--length", "4"} << 1;
    QTest::newRow("lookup without fields") << QStringList{"lookup", "nosuch.com"} << 1;
    QTest::newRow("suffix") << QStringList{"list", "--suffix", "xyz", "--length", "4"} << 2;
    QTest::newRow("length") << QStringList{"list", "--suffix", "com", "--length", "8"} << 2;
    QTest::newRow("day") << QStringList{"counts", "--day", "2011-01-01"} << 2;
    QTest::newRow("format") << QStringList{"days", "--format", "xml"} << 2;
    QTest::newRow("regex") << list + QStringList{"--match", "("} << 2;
    QTest::newRow("pattern") << list + QStringList{"--pattern", "a.b"} << 2;
    QTest::newRow("pinyin") << list + QStringList{"--pinyin=4"} << 2;
    QTest::newRow("jobs") << list + QStringList{"--jobs", "9"} << 2;
    QTest::newRow("command") << QStringList{"frob"} << 2;
}

void TestCli::exitCodes() {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QProcess cli;
    start(cli, arguments);
    QVERIFY(finish(cli));
    QCOMPARE(cli.exitCode(), code);
    const QByteArray err = cli.readAllStandardError();
    QCOMPARE(err.count('\n'), 1); // one line saying what went wrong
    QVERIFY2(err.endsWith('\n'), err.constData());
}

void TestCli::filters_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("names");
    QTest::newRow("letters") << QStringList{"--letters-only"}
                             << "abcabc haoren xiaoma aabbcc zhuang";
    QTest::newRow("digits") << QStringList{"--digits-only"} << "123123";
    QTest::newRow("no hyphen") << QStringList{"--no-hyphen"}
                               << "abcabc 123123 haoren xiaoma aabbcc zhuang 1a2b3c";
    QTest::newRow("contains") << QStringList{"--contains", "AB"} << "abcabc ab-cde aabbcc";
    QTest::newRow("match") << QStringList{"--match", "^x|\\d$"} << "123123 xiaoma";
    QTest::newRow("pattern") << QStringList{"--pattern", "AABBCC"} << "aabbcc";
    QTest::newRow("pinyin") << QStringList{"--pinyin"} << "haoren xiaoma zhuang";
    QTest::newRow("pinyin 2") << QStringList{"--pinyin", "2"} << "haoren xiaoma zhuang";
    QTest::newRow("pinyin=1") << QStringList{"--pinyin=1"} << "zhuang";
    QTest::newRow("all must hold")
        << QStringList{"--letters-only", "--contains", "c"} << "abcabc aabbcc";
}

void TestCli::filters() {
    QFETCH(QStringList, options);
    QFETCH(QString, names);
    QProcess cli;
    start(cli, QStringList{"list", "--suffix", "com", "--length", "6"} + options);
    QVERIFY(finish(cli));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()),
             QString(names + " ").replace(" ", ".com\n"));
}

void TestCli::jobsKeepTheOrder() {
    QByteArray outputs[2];
    for (int k = 0; k < 2; ++k) {
        QProcess cli;
        start(cli, {"list", "--suffix", "com", "--length", "5", "--jobs", k ? "4" : "1"});
        QVERIFY(finish(cli));
        QCOMPARE(cli.exitCode(), 0);
        outputs[k] = cli.readAllStandardOutput();
    }
    QCOMPARE(outputs[1], outputs[0]);
    QCOMPARE(outputs[0].count('\n'), 450);
    QVERIFY(outputs[0].endsWith("\nn449.com\nn450.com\n"));
}

void TestCli::ctrlCKeepsFinishedPages() {
    const QString second = listTarget(2, 5, 2);
    server_.setReply(second, FixtureServer::held(listPageOf(server_.origin(), 100, 101)));
    QProcess cli;
    server_.onRequest = [&](const QString& target) {
        if (target == second)
            ::kill(pid_t(cli.processId()), SIGINT);
    };
    start(cli, {"list", "--suffix", "net", "--length", "5", "--format", "json"});
    const bool finished = finish(cli);
    server_.onRequest = nullptr;
    server_.release();
    QVERIFY(finished);
    QCOMPARE(cli.exitCode(), 130);
    QCOMPARE(cli.readAllStandardError(), QByteArray());
    QJsonParseError error;
    const QJsonArray names = QJsonDocument::fromJson(cli.readAllStandardOutput(), &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(names.size(), 100);
    QCOMPARE(names.last().toObject().value("name").toString(), QStringLiteral("n100.com"));
}

void TestCli::closedPipeEndsQuietly() {
    server_.setReply(listTarget(3, 5, 2),
                     FixtureServer::held(listPageOf(server_.origin(), 100, 101)));
    int pipeFds[2];
    QCOMPARE(::pipe2(pipeFds, O_CLOEXEC), 0);
    QProcess cli;
    start(cli, {"list", "--suffix", "org", "--length", "5"}, pipeFds[1]);
    ::close(pipeFds[1]);
    ::fcntl(pipeFds[0], F_SETFL, O_NONBLOCK);
    // Three lines read, then the reader goes, as `| head -3` does.
    QByteArray read;
    const auto readSome = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
            read.append(buffer, n);
        return read.count('\n') >= 3;
    };
    QTRY_VERIFY_WITH_TIMEOUT(readSome(), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(server_.heldOpen(), 1, 20000);
    ::close(pipeFds[0]);
    server_.release();
    QVERIFY(finish(cli));
    QVERIFY2(cli.exitCode() == 0 || cli.exitCode() == 141,
             qPrintable(QString::number(cli.exitCode())));
    QCOMPARE(cli.readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
