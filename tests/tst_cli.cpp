// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"

#include "listing/servicejson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <QFile>

#include <csignal>
#include <cstdlib>
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

// The counts of a real day from a newer service: no source for .com to .biz.
std::optional<QString> realCountOf(int length, int suffixIndex) {
    if (suffixIndex <= 5)
        return std::nullopt;
    return QString::number(suffixIndex == 6 ? (length == 4) * 12 : (length == 5) * 7);
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
    void shortLists_data();
    void shortLists();
    void jobsKeepTheOrder();
    void eightJobsAtOnce();
    void ctrlCKeepsFinishedPages();
    void ctrlCBeforeTheFirstPage_data();
    void ctrlCBeforeTheFirstPage();
    void ctrlCLeavesPagesAhead();
    void secondCtrlCEndsBlockedOutput();
    void progressFollowsStderr_data();
    void progressFollowsStderr();
    void closedPipeEndsQuietly();
    void notes_data();
    void notes();
    void serviceJson_data();
    void serviceJson();

private:
    QString listTarget(int suffixIndex, int length, int page,
                       const QString& date = "2011-03-06") const;
    // Starts lumo-cli with the server's addresses; its stdout goes to `stdoutFd` when given.
    void start(QProcess& process, const QStringList& arguments, int stdoutFd = -1);
    // Waits for the child while this thread keeps answering its requests.
    static bool finish(QProcess& process, int timeoutMs = 30000);

    FixtureServer server_;
    QByteArray home_;
    quint16 closedPort_ = 0;
};

QString TestCli::listTarget(int suffixIndex, int length, int page, const QString& date) const {
    const char* suffixes[] = {"", ".com", ".net", ".org", ".info", ".biz"};
    return QStringLiteral("/deleteddomain.php?date=%1&t=inter&page=%2&tld=%3&length=%4")
        .arg(date)
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
    home_ = (home + "</table>").toUtf8();
    server_.setReply("/", FixtureServer::answer(home_));

    QString summary = "<td noWrap><font color=red>2011-03-06</font>";
    for (int n = 3; n <= 7; ++n)
        for (int i = 1; i <= 7; ++i)
            summary += QStringLiteral("<a href=\"x?length=%1\">%2</a>").arg(n).arg(countOf(n, i));
    server_.setReply("/deleteddate.php?date=2011-03-06", FixtureServer::answer(summary.toUtf8()));
    // Tomorrow's cells promise more than their pages hold: 300, 300, 300, 250 and a billion
    // 7-letter names, and 800 6-letter .com names.
    QString tomorrow = "<td noWrap><font color=red>2011-03-07</font>";
    const QStringList promised = {"300", "300", "300", "250", "1000000000"};
    for (int n = 3; n <= 7; ++n)
        for (int i = 1; i <= 7; ++i)
            tomorrow += QStringLiteral("<a href=\"x?length=%1\">%2</a>")
                            .arg(n)
                            .arg(n == 7 && i <= 5   ? promised[i - 1]
                                 : n == 6 && i == 1 ? "800"
                                                    : "1");
    server_.setReply("/deleteddate.php?date=2011-03-07", FixtureServer::answer(tomorrow.toUtf8()));
    for (int i = 1; i <= 5; ++i)
        server_.setReply(listTarget(i, 7, 1, "2011-03-07"),
                         FixtureServer::answer(listPageOf(origin, 100)));
    for (int page = 1; page <= 8; ++page)
        server_.setReply(listTarget(1, 6, page, "2011-03-07"),
                         FixtureServer::held(listPageOf(origin, 100, page * 100 - 99)));

    auto names = [&](const QStringList& list) {
        QString page;
        for (const QString& name : list)
            page += "<a href=" + origin + "/whois.php?domain=" + name + ">x</a>";
        return FixtureServer::answer(page.toUtf8());
    };
    server_.setReply(listTarget(1, 4, 1),
                     names({"abcd.com", "a,b\"c.com", "x\"y\\z\x01.com", "zzzz.com"}));
    server_.setReply(listTarget(1, 6, 1),
                     names({"abcabc.com", "123123.com", "ab-cde.com", "haoren.com", "xiaoma.com",
                            "aabbcc.com", "zhuang.com", "1a2b3c.com"}));
    server_.setReply(listTarget(2, 4, 1), FixtureServer::closing());

    // A newer service: counts.json for a real day (the six days have none, so the rows
    // above are read from the day summary, as from an older service) and the sources.
    qputenv("TZ", "Asia/Shanghai"); // sources shows local times
    server_.setReply("/lumo/counts.json?date=2026-12-07",
                     FixtureServer::answer(
                         R"({"date": "2026-12-07", "counts": {".com": null, ".net": null,
                         ".org": null, ".info": null, ".biz": null, ".cn": {"3": 0, "4": 12},
                         ".com.cn": {"5": 7}, ".se": {"5": 3}, ".net.cn": {"4": 2}, ".nu": null},
                         "approximate": [".net.cn", ".cn"], "nodata": [".org", ".nu"],
                         "generated": false})"));
    // A newer service under /new/: the real dates, the stored days and generated names.
    server_.setReply("/new/", FixtureServer::answer(home_));
    QString days = "[";
    const char* keys[] = {"-2", "-1", "today", "+1", "+2", "+3"};
    for (int k = 0; k < 6; ++k)
        days += QStringLiteral("%1{\"key\": \"%2\", \"site\": \"2011-03-0%3\", "
                               "\"date\": \"2026-12-%4\"}")
                    .arg(k ? "," : "", keys[k])
                    .arg(k + 4)
                    .arg(k + 5, 2, 10, QChar(u'0'));
    server_.setReply("/bad/", FixtureServer::answer(home_));
    server_.setReply("/bad/lumo/days.json", FixtureServer::answer(R"([{"key": "-2"}])"));
    server_.setReply("/new/lumo/days.json", FixtureServer::answer((days + "]").toUtf8()));
    server_.setReply("/new/lumo/stored.json",
                     FixtureServer::answer(R"([{"list": "se", "day": "2026-12-06", "names": 3},
                         {"list": "czds-com", "day": "2026-12-07", "names": 40,
                         "approximate": true}, {"list": "se", "day": "2026-12-07", "names": 0},
                         {"list": "se", "day": "2026-12-08", "names": null}])"));
    server_.setReply("/new/lumo/counts.json?date=2011-03-06",
                     FixtureServer::answer(R"({"date": "2011-03-06", "counts": {".com":
                         {"4": 1}}, "approximate": [], "nodata": [], "generated": true})"));
    server_.setReply(
        "/new/lumo/sources.json",
        FixtureServer::answer(R"([{"source": "generated", "url": null, "lastAttempt": null,
            "lastSuccess": null, "status": "ok", "names": 900, "error": null, "generated": true},
            {"source": "se", "url": "https://se.example/b.json", "lastAttempt":
            "2026-12-07T06:00:00Z", "lastSuccess": null, "status": "failed", "names": 0,
            "error": "offline", "generated": false}])"));
    server_.setReply("/lumo/counts.json?date=2026-12-09",
                     FixtureServer::answer(R"({"date": "2026-12-09", "counts": {".se": 5}})"));
    // One name more than counted: the count from counts.json ends the list.
    server_.setReply("/deleteddomain.php?date=2026-12-07&t=inter&page=1&tld=.se&length=5",
                     names({"abcde.se", "fghij.se", "klmno.se", "extra.se"}));
    server_.setReply("/deleteddomain.php?date=2026-12-07&t=cn&page=1&tld=.net.cn&length=4",
                     names({"abcd.net.cn", "wxyz.net.cn"}));
    server_.setReply(
        "/lumo/sources.json",
        FixtureServer::answer(R"([{"source": "cnnic", "url": "https://cnnic.example/1todayDel.txt",
            "lastAttempt": "2026-12-07T06:00:00Z", "lastSuccess": "2026-12-07T06:00:00Z",
            "status": "ok", "names": 51234, "error": null},
            {"source": "top", "url": "https://top.example/dellist.csv",
            "lastAttempt": "2026-12-07T06:00:05Z", "lastSuccess": null, "status": "failed",
            "names": 0, "error": "HTTP 503, \"busy\"\nretry"}])"));
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
    server_.setReply("/DomainDel/?wd=wxyz.com",
                     FixtureServer::answer("<td class=\"deltd1\"></td>"
                                           "<td class=\"deltd1\">赎回期</td>"
                                           "<td class=\"deltd1\"></td><td class=\"deltd1\"></td>"
                                           "<td class=\"deltd1\">2011-04-01(近似值)</td>"
                                           "<p><span>还剩：25 天 5 小时</span>"));
}

void TestCli::start(QProcess& process, const QStringList& arguments, int stdoutFd) {
    if (stdoutFd >= 0)
        process.setChildProcessModifier([stdoutFd] { ::dup2(stdoutFd, STDOUT_FILENO); });
    process.start(LUMO_CLI_PROGRAM, QStringList{"--listing-url", server_.origin() + "/",
                                                "--lookup-url", server_.origin()} +
                                        arguments);
}

bool TestCli::finish(QProcess& process, int timeoutMs) {
    QEventLoop loop;
    connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
}

void TestCli::output_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    const QStringList list = {"list", "--suffix", "com", "--length", "4", "--format"};
    const QStringList lookup = {"lookup", "abcd.com", "wxyz.com", "--format"};
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
    const QStringList suffixes = {".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};
    // `estimated`: the suffix index whose counts are estimates.
    const auto table = [&](const QString& day, auto count, bool asJson, int estimated = 0) {
        QString csv = "day,length,suffix,count,approximate\r\n", json = "[";
        for (int n = 3; n <= 7; ++n)
            for (int i = 1; i <= 7; ++i) {
                const std::optional<QString> c = count(n, i);
                const QString approximate = i == estimated ? "true" : "false";
                csv += QStringLiteral("%1,%2,%3,%4,%5\r\n")
                           .arg(day)
                           .arg(n)
                           .arg(suffixes[i - 1], c.value_or(""), approximate);
                json += QStringLiteral("%1\n  {\"day\": \"%2\", \"length\": %3, \"suffix\": "
                                       "\"%4\", \"count\": %5, \"approximate\": %6}")
                            .arg(QString(json.size() > 1 ? "," : ""), day)
                            .arg(n)
                            .arg(suffixes[i - 1], c ? '"' + *c + '"' : QStringLiteral("null"),
                                 approximate);
            }
        return asJson ? json + "\n]\n" : csv;
    };
    const auto shownCount = [](int n, int i) { return std::optional<QString>(countOf(n, i)); };
    QTest::newRow("counts csv") << QStringList{"counts", "--format", "csv"}
                                << table("2011-03-06", shownCount, false);
    QTest::newRow("counts json") << QStringList{"counts", "--format", "json"}
                                 << table("2011-03-06", shownCount, true);
    QTest::newRow("counts real day text")
        << QStringList{"counts", "--day", "2026-12-07"}
        << "2026-12-07删除的域名\n"
           "         .com  .net  .org  .info  .biz  .cn  .com.cn\n"
           "3位域名     -     -     -      -     -   ≈0        0\n"
           "4位域名     -     -     -      -     -  ≈12        0\n"
           "5位域名     -     -     -      -     -   ≈0        7\n"
           "6位域名     -     -     -      -     -   ≈0        0\n"
           "7位域名     -     -     -      -     -   ≈0        0\n";
    QTest::newRow("counts real day csv")
        << QStringList{"counts", "--day", "2026-12-07", "--format", "csv"}
        << table("2026-12-07", realCountOf, false, 6);
    QTest::newRow("counts real day json")
        << QStringList{"counts", "--day", "2026-12-07", "--format", "json"}
        << table("2026-12-07", realCountOf, true, 6);
    QTest::newRow("list outside the grid")
        << QStringList{"list", "--day", "2026-12-07", "--suffix", "SE", "--length", "5"}
        << "abcde.se\nfghij.se\nklmno.se\n";
    QTest::newRow("list under .cn")
        << QStringList{"list",     "--day", "2026-12-07", "--suffix", ".net.cn",
                       "--length", "4",     "--format",   "csv"}
        << "name,length,suffix,day,approximate\r\nabcd.net.cn,4,.net.cn,2026-12-07,true\r\n"
           "wxyz.net.cn,4,.net.cn,2026-12-07,true\r\n";
    QTest::newRow("sources text")
        << QStringList{"sources"}
        << "来源   状态    域名数  上次成功          上次尝试          地址"
           "                                 错误\n"
           "cnnic  已更新   51234  2026-12-07 14:00  2026-12-07 14:00  "
           "https://cnnic.example/1todayDel.txt\n"
           "top    失败         0  -                 2026-12-07 14:00  "
           "https://top.example/dellist.csv      HTTP 503, \"busy\" retry\n";
    QTest::newRow("sources csv")
        << QStringList{"sources", "--format", "csv"}
        << "source,url,lastAttempt,lastSuccess,status,names,error,generated\r\n"
           "cnnic,https://cnnic.example/1todayDel.txt,2026-12-07T06:00:00Z,2026-12-07T06:00:00Z,"
           "ok,51234,,false\r\ntop,https://top.example/dellist.csv,2026-12-07T06:00:05Z,,failed,0,"
           "\"HTTP 503, \"\"busy\"\"\nretry\",false\r\n";
    QTest::newRow("sources json")
        << QStringList{"sources", "--format", "json"}
        << "[\n  {\"source\": \"cnnic\", \"url\": \"https://cnnic.example/1todayDel.txt\", "
           "\"lastAttempt\": \"2026-12-07T06:00:00Z\", \"lastSuccess\": \"2026-12-07T06:00:00Z\", "
           "\"status\": \"ok\", \"names\": 51234, \"error\": null, \"generated\": false},\n"
           "  {\"source\": \"top\", "
           "\"url\": \"https://top.example/dellist.csv\", \"lastAttempt\": "
           "\"2026-12-07T06:00:05Z\", \"lastSuccess\": null, \"status\": \"failed\", "
           "\"names\": 0, \"error\": \"HTTP 503, \\\"busy\\\"\\nretry\", \"generated\": false}\n]\n";
    const QStringList newer = {"--listing-url", server_.origin() + "/new/"};
    QTest::newRow("sources with generated names")
        << newer + QStringList{"sources"}
        << "来源                   状态    域名数  上次成功  上次尝试          地址"
           "                       错误\n"
           "generated（演示数据）  已更新     900  -         -                 -\n"
           "se                     失败         0  -         2026-12-07 14:00  "
           "https://se.example/b.json  offline\n";
    QTest::newRow("sources with generated names json")
        << newer + QStringList{"sources", "--format", "json"}
        << "[\n  {\"source\": \"generated\", \"url\": null, \"lastAttempt\": null, "
           "\"lastSuccess\": null, \"status\": \"ok\", \"names\": 900, \"error\": null, "
           "\"generated\": true},\n  {\"source\": \"se\", \"url\": \"https://se.example/b.json\", "
           "\"lastAttempt\": \"2026-12-07T06:00:00Z\", \"lastSuccess\": null, \"status\": "
           "\"failed\", \"names\": 0, \"error\": \"offline\", \"generated\": false}\n]\n";
    QTest::newRow("days with real dates")
        << newer + QStringList{"days"}
        << "-2     二天前    2011-03-04  2026-12-05\n-1     一天前    2011-03-05  2026-12-06\n"
           "today  今天删除  2011-03-06  2026-12-07\n+1     一天后    2011-03-07  2026-12-08\n"
           "+2     二天后    2011-03-08  2026-12-09\n+3     三天后    2011-03-09  2026-12-10\n";
    QTest::newRow("days with real dates csv")
        << newer + QStringList{"days", "--format", "csv"}
        << "day,caption,date,real\r\n-2,二天前,2011-03-04,2026-12-05\r\n"
           "-1,一天前,2011-03-05,2026-12-06\r\ntoday,今天删除,2011-03-06,2026-12-07\r\n"
           "+1,一天后,2011-03-07,2026-12-08\r\n+2,二天后,2011-03-08,2026-12-09\r\n"
           "+3,三天后,2011-03-09,2026-12-10\r\n";
    // Never fetched, fetched empty, fetched: "-", 0 and the count; an estimate marked.
    QTest::newRow("stored days")
        << newer + QStringList{"days", "--stored"}
        << "来源      日期        域名数\nczds-com  2026-12-07     ≈40\nse        2026-12-06       3\n"
           "se        2026-12-07       0\nse        2026-12-08       -\n";
    QTest::newRow("stored days csv")
        << newer + QStringList{"days", "--stored", "--format", "csv"}
        << "list,day,names,approximate\r\nczds-com,2026-12-07,40,true\r\n"
           "se,2026-12-06,3,false\r\nse,2026-12-07,0,false\r\nse,2026-12-08,,false\r\n";
    QTest::newRow("stored days json")
        << newer + QStringList{"days", "--stored", "--format", "json"}
        << "[\n  {\"list\": \"czds-com\", \"day\": \"2026-12-07\", \"names\": 40, "
           "\"approximate\": true},\n  {\"list\": \"se\", \"day\": \"2026-12-06\", \"names\": 3, "
           "\"approximate\": false},\n  {\"list\": \"se\", \"day\": \"2026-12-07\", \"names\": 0, "
           "\"approximate\": false},\n  {\"list\": \"se\", \"day\": \"2026-12-08\", \"names\": "
           "null, \"approximate\": false}\n]\n";
    // A served suffix on a covered day without names of that length: an empty list.
    const QStringList emptyCell = {"list", "--day", "2026-12-07", "--suffix", "se", "--length", "4"};
    QTest::newRow("empty cell text") << emptyCell << "";
    QTest::newRow("empty cell csv") << emptyCell + QStringList{"--format", "csv"}
                                    << "name,length,suffix,day,approximate\r\n";
    QTest::newRow("empty cell json") << emptyCell + QStringList{"--format", "json"} << "[]\n";
    // A quote with no comma is still quoted in CSV; JSON escapes the backslash and the
    // control character.
    QTest::newRow("list text") << list + QStringList{"text"}
                               << "abcd.com\na,b\"c.com\nx\"y\\z\x01.com\n";
    QTest::newRow("suffix in capitals") << QStringList{"list", "--suffix", "COM", "--length", "4"}
                                        << "abcd.com\na,b\"c.com\nx\"y\\z\x01.com\n";
    QTest::newRow("list csv")
        << list + QStringList{"csv"}
        << "name,length,suffix,day,approximate\r\nabcd.com,4,.com,2011-03-06,false\r\n"
           "\"a,b\"\"c.com\",4,.com,2011-03-06,false\r\n\"x\"\"y\\z\x01.com\",4,.com,2011-03-06,false\r\n";
    QTest::newRow("list json")
        << list + QStringList{"json"}
        << "[\n  {\"name\": \"abcd.com\", \"length\": 4, \"suffix\": \".com\", \"day\": "
           "\"2011-03-06\", \"approximate\": false},\n  {\"name\": \"a,b\\\"c.com\", \"length\": 4, "
           "\"suffix\": \".com\", \"day\": \"2011-03-06\", \"approximate\": false},\n  {\"name\": "
           "\"x\\\"y\\\\z\\u0001.com\", \"length\": 4, \"suffix\": "
           "\".com\", \"day\": \"2011-03-06\", \"approximate\": false}\n]\n";
    QTest::newRow("lookup text")
        << lookup + QStringList{"text"}
        << "域名      域名年龄  域名状态       注册时间    到期时间    删除时间     删除倒计时\n"
           "abcd.com  3年2个月  pendingDelete  2008-01-05  2011-01-05  2011-03-06   0天5小时\n"
           "wxyz.com            赎回期                                 ≈2011-04-01  25天5小时\n";
    QTest::newRow("lookup csv")
        << lookup + QStringList{"csv"}
        << "name,age,status,registered,expires,deleted,approximate,countdown\r\n"
           "abcd.com,3年2个月,pendingDelete,2008-01-05,2011-01-05,2011-03-06,false,0天5小时\r\n"
           "wxyz.com,,赎回期,,,2011-04-01,true,25天5小时\r\n";
    QTest::newRow("lookup json")
        << lookup + QStringList{"json"}
        << "[\n  {\"name\": \"abcd.com\", \"age\": \"3年2个月\", \"status\": \"pendingDelete\", "
           "\"registered\": \"2008-01-05\", \"expires\": \"2011-01-05\", \"deleted\": "
           "\"2011-03-06\", \"approximate\": false, \"countdown\": \"0天5小时\"},\n  {\"name\": "
           "\"wxyz.com\", \"age\": \"\", \"status\": \"赎回期\", \"registered\": \"\", \"expires\": "
           "\"\", \"deleted\": \"2011-04-01\", \"approximate\": true, \"countdown\": \"25天5小时\"}\n]\n";
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
    QTest::newRow("real day, older service") << QStringList{"counts", "--day", "2026-12-08"} << 2;
    QTest::newRow("suffix the service lacks")
        << QStringList{"list", "--day", "2026-12-07", "--suffix", "org.cn", "--length", "5"} << 2;
    QTest::newRow("suffix without data that day")
        << QStringList{"list", "--day", "2026-12-07", "--suffix", "nu", "--length", "5"} << 1;
    QTest::newRow("days.json not a table")
        << QStringList{"days", "--listing-url", server_.origin() + "/bad/"} << 1;
    QTest::newRow("suffix without a source")
        << QStringList{"list", "--day", "2026-12-07", "--suffix", "com", "--length", "5"} << 1;
    QTest::newRow("counts not a table") << QStringList{"counts", "--day", "2026-12-09"} << 1;
    QTest::newRow("sources, older service")
        << QStringList{"sources", "--listing-url", server_.origin() + "/old/"} << 1;
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

// Tomorrow's 7-letter cells each bring one page of 100 names, and then what the row says.
void TestCli::shortLists_data() {
    QTest::addColumn<int>("suffixIndex");
    QTest::addColumn<int>("page"); // the page the line names
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("count");
    QTest::newRow("error status") << 1 << 2 << "服务器回答 HTTP 500"
                                  << "300";
    QTest::newRow("chunked body cut") << 2 << 2 << "页面没有传完"
                                      << "300";
    QTest::newRow("false gzip") << 3 << 2 << "gzip 编码，却无法解码"
                                << "300";
    QTest::newRow("pages run out") << 4 << 3 << "列表页到此为止"
                                   << "250";
    QTest::newRow("a billion in one page") << 5 << 1 << "列表页到此为止"
                                           << "1000000000";
}

void TestCli::shortLists() {
    QFETCH(int, suffixIndex);
    QFETCH(int, page);
    QFETCH(QString, why);
    QFETCH(QString, count);
    const QByteArray names = listPageOf(server_.origin(), 100, 101);
    const FixtureServer::Reply second[] = {
        FixtureServer::answer(names, 500),
        FixtureServer::raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                           QByteArray::number(names.size(), 16) + "\r\n" + names + "\r\n"),
        FixtureServer::answer(names).with("Content-Encoding", "gzip"),
        FixtureServer::answer(listPageOf(server_.origin(), 0))};
    if (suffixIndex <= 4)
        server_.setReply(listTarget(suffixIndex, 7, 2, "2011-03-07"), second[suffixIndex - 1]);
    server_.setReply(listTarget(4, 7, 3, "2011-03-07"),
                     FixtureServer::answer(listPageOf(server_.origin(), 0)));
    const char* suffixes[] = {"", "com", "net", "org", "info", "biz"};
    QProcess cli;
    start(cli, {"list", "--day", "+1", "--suffix", suffixes[suffixIndex], "--length", "7"});
    QVERIFY(finish(cli));
    QCOMPARE(cli.exitCode(), 1);
    QCOMPARE(cli.readAllStandardOutput().count('\n'), 100); // what came is kept
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(err.count('\n'), 1);
    QVERIFY2(err.contains(server_.origin() + listTarget(suffixIndex, 7, page, "2011-03-07")) &&
                 err.contains(why) && err.contains("只列出 100 个，共 " + count + " 个"),
             qPrintable(err));
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

// Eight pages asked at once all go out at once: none waits in a queue while its limits run.
void TestCli::eightJobsAtOnce() {
    int asked = 0;
    server_.onRequest = [&](const QString& target) {
        if (target.contains("&length=6") && ++asked == 8)
            QTimer::singleShot(0, [&] { server_.release(); });
    };
    QProcess cli;
    start(cli, {"list", "--day", "+1", "--suffix", "com", "--length", "6", "--jobs", "8"});
    const bool finished = finish(cli);
    server_.onRequest = nullptr;
    server_.release();
    QVERIFY(finished);
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY(cli.readAllStandardOutput().endsWith("\nn800.com\n"));
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

void TestCli::ctrlCBeforeTheFirstPage_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("empty");
    QTest::newRow("csv") << "csv" << QByteArray("name,length,suffix,day,approximate\r\n");
    QTest::newRow("json") << "json" << QByteArray("[]\n");
}

// Cut short while the home page is awaited, the output is still a whole, empty list.
void TestCli::ctrlCBeforeTheFirstPage() {
    QFETCH(QString, format);
    QFETCH(QByteArray, empty);
    server_.setReply("/", FixtureServer::held(home_));
    QProcess cli;
    server_.onRequest = [&](const QString& target) {
        if (target == "/")
            ::kill(pid_t(cli.processId()), SIGINT);
    };
    start(cli, {"list", "--suffix", "com", "--length", "5", "--format", format});
    const bool finished = finish(cli);
    server_.onRequest = nullptr;
    server_.release();
    server_.setReply("/", FixtureServer::answer(home_));
    QVERIFY(finished);
    QCOMPARE(cli.exitCode(), 130);
    QCOMPARE(cli.readAllStandardOutput(), empty);
}

// Ctrl+C with four pages asked for and none answered ends at once: the pages asked ahead are
// dropped, not awaited (they would only end by the 30 s silence).
void TestCli::ctrlCLeavesPagesAhead() {
    QProcess cli;
    int asked = 0;
    server_.onRequest = [&](const QString& target) {
        if (target.contains("&length=6") && ++asked == 4)
            ::kill(pid_t(cli.processId()), SIGINT);
    };
    start(cli, {"list", "--day", "+1", "--suffix", "com", "--length", "6", "--jobs", "4"});
    const bool finished = finish(cli, 15000);
    server_.onRequest = nullptr;
    server_.release();
    QVERIFY(finished);
    QCOMPARE(cli.exitCode(), 130);
    QCOMPARE(asked, 4);
}

// Output nobody reads blocks the program in a write, where the first Ctrl+C cannot be acted
// on; the second one ends it.
void TestCli::secondCtrlCEndsBlockedOutput() {
    int pipeFds[2];
    QCOMPARE(::pipe2(pipeFds, O_CLOEXEC), 0);
    QVERIFY(::fcntl(pipeFds[1], F_SETPIPE_SZ, 4096) >= 0); // smaller than the first page's output
    QProcess cli;
    start(cli, {"list", "--suffix", "com", "--length", "5", "--format", "json"}, pipeFds[1]);
    ::close(pipeFds[1]);
    const auto catches = [&] { // whether lumo-cli still catches SIGINT
        QFile status(QStringLiteral("/proc/%1/status").arg(cli.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("SigCgt:"))
                return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGINT - 1)) & 1) != 0;
        return false;
    };
    const auto blocked = [&] { // in a write to the pipe that nobody reads
        QFile wchan(QStringLiteral("/proc/%1/wchan").arg(cli.processId()));
        return wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("pipe_write");
    };
    QTRY_VERIFY_WITH_TIMEOUT(blocked() && catches(), 20000);
    ::kill(pid_t(cli.processId()), SIGINT);
    QTRY_VERIFY_WITH_TIMEOUT(!catches(), 10000); // taken, and the next one is not caught
    ::kill(pid_t(cli.processId()), SIGINT);
    finish(cli, 10000);
    ::close(pipeFds[0]);
    QCOMPARE(cli.state(), QProcess::NotRunning);
    QCOMPARE(cli.exitStatus(), QProcess::CrashExit); // ended by the signal itself
}

void TestCli::progressFollowsStderr_data() {
    QTest::addColumn<int>("terminal"); // the descriptor that gets the terminal
    QTest::newRow("stderr a terminal") << int(STDERR_FILENO);
    QTest::newRow("only stdout a terminal") << int(STDOUT_FILENO);
}

// The progress line goes to stderr, so it is there exactly when stderr is a terminal.
void TestCli::progressFollowsStderr() {
    QFETCH(int, terminal);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(slave >= 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QProcess cli;
    cli.setChildProcessModifier([slave, terminal] { ::dup2(slave, terminal); });
    start(cli, {"list", "--suffix", "com", "--length", "5"});
    ::close(slave);
    QByteArray onTerminal;
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
            onTerminal.append(buffer, n);
        return cli.state() == QProcess::NotRunning;
    };
    QTRY_VERIFY_WITH_TIMEOUT(drain(), 30000);
    drain();
    ::close(master);
    QCOMPARE(cli.exitCode(), 0);
    const QByteArray progress = QStringLiteral("已读 5/5 页").toUtf8();
    if (terminal == STDERR_FILENO) {
        QVERIFY2(onTerminal.contains(progress), onTerminal.constData());
        QCOMPARE(cli.readAllStandardOutput().count('\n'), 450);
    } else {
        QCOMPARE(cli.readAllStandardError(), QByteArray());
        QVERIFY(!onTerminal.contains(progress));
        QCOMPARE(onTerminal.count('\n'), 450);
    }
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

void TestCli::notes_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("note");
    QTest::newRow("generated names")
        << QStringList{"counts", "--listing-url", server_.origin() + "/new/"} << 0
        << "演示数据：这些域名是生成的，不是注册局的删除列表";
    QTest::newRow("estimated days")
        << QStringList{"list", "--day", "2026-12-07", "--suffix", "net.cn", "--length", "4"} << 0
        << ".net.cn 的删除日期为估计值，由区域文件的变化推算";
    QTest::newRow("no data")
        << QStringList{"list", "--day", "2026-12-07", "--suffix", "org", "--length", "4"} << 1
        << ".org 在 2026-12-07 还没有数据，列不出名字";
    QTest::newRow("no source")
        << QStringList{"list", "--day", "2026-12-07", "--suffix", "com", "--length", "4"} << 1
        << ".com 没有数据来源，列不出名字";
}

// What stands beside the output on stderr, once.
void TestCli::notes() {
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, note);
    QProcess cli;
    start(cli, arguments);
    QVERIFY(finish(cli));
    QCOMPARE(cli.exitCode(), code);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardError()), "lumo-cli：" + note + "\n");
}

void TestCli::serviceJson_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("valid");
    const QByteArray source =
        R"({"source": "se", "url": "u", "lastAttempt": null, )"
        R"("lastSuccess": null, "status": "never", "names": 0, "error": null)";
    QTest::newRow("counts") << QByteArray(R"({"date": "2026-12-07", "counts": {".se": {"63": 1}}})")
                            << true;
    QTest::newRow("length 0") << QByteArray(
                                     R"({"date": "2026-12-07", "counts": {".se": {"0": 1}}})")
                              << false;
    QTest::newRow("length 64") << QByteArray(
                                      R"({"date": "2026-12-07", "counts": {".se": {"64": 1}}})")
                               << false;
    QTest::newRow("length 05") << QByteArray(
                                      R"({"date": "2026-12-07", "counts": {".se": {"05": 1}}})")
                               << false;
    QTest::newRow("fraction") << QByteArray(
                                     R"({"date": "2026-12-07", "counts": {".se": {"5": 1.5}}})")
                              << false;
    QTest::newRow("no such day") << QByteArray(R"({"date": "2026-02-30", "counts": {}})") << false;
    QTest::newRow("suffix without dot")
        << QByteArray(R"({"date": "2026-12-07", "counts": {"se": null}})") << false;
    QTest::newRow("sources") << "[" + source + "}]" << true;
    QTest::newRow("status") << "[" + QByteArray(source).replace("never", "fine") + "}]" << false;
    QTest::newRow("time") << "[" +
                                 QByteArray(source).replace("Attempt\": null",
                                                            "Attempt\": \"today\"") +
                                 "}]"
                          << false;
    QTest::newRow("names") << "[" + QByteArray(source).replace("0", "-1") + "}]" << false;
    QTest::newRow("error") << "[" + QByteArray(source).replace("error\": null", "error\": 5") + "}]"
                           << false;
    QTest::newRow("sources not an array") << source + "}" << false;
    QTest::newRow("generated row")
        << "[" + QByteArray(source).replace("\"u\"", "null") + ", \"generated\": true}]" << true;
    QTest::newRow("generated not a flag")
        << "[" + source + ", \"generated\": 1}]" << false;
    QTest::newRow("nodata") << QByteArray(R"({"date": "2026-12-07", "counts": {".se": null},
        "nodata": [".se"], "approximate": [], "generated": false})")
                            << true;
    QTest::newRow("nodata not a list")
        << QByteArray(R"({"date": "2026-12-07", "counts": {}, "nodata": ".se"})") << false;
    QTest::newRow("generated not a flag in counts")
        << QByteArray(R"({"date": "2026-12-07", "counts": {}, "generated": "yes"})") << false;
    QTest::newRow("days") << QByteArray(
                                 R"([{"key": "today", "site": "2011-12-06", "date": "2026-12-06"}])")
                          << true;
    QTest::newRow("days without a real date")
        << QByteArray(R"([{"key": "today", "site": "2011-12-06", "date": ""}])") << false;
    QTest::newRow("stored") << QByteArray(R"([{"list": "se", "day": "2026-12-06", "names": -1},
        {"list": "top", "day": "2026-12-07", "names": 5, "approximate": false}])")
                            << true;
    QTest::newRow("stored names below -1")
        << QByteArray(R"([{"list": "se", "day": "2026-12-06", "names": -2}])") << false;
    QTest::newRow("stored day not a day")
        << QByteArray(R"([{"list": "se", "day": "2026-13-06", "names": 1}])") << false;
}

void TestCli::serviceJson() {
    QFETCH(QByteArray, json);
    QFETCH(bool, valid);
    QCOMPARE(json.contains("\"counts\"")  ? listing::parseCounts(json).has_value()
             : json.contains("\"key\"")  ? listing::parseDays(json).has_value()
             : json.contains("\"list\"") ? listing::parseStored(json).has_value()
                                         : listing::parseSources(json).has_value(),
             valid);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
