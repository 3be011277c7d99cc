#include "fixtureserver.h"
#include "net/module1.h"
#include "window/form1.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

// What a stranger's server or a bad network can do to each handler that fetches: the handler
// ends, the window keeps running meanwhile, and what it shows is the handler's own outcome
// for a good page or for a failed one.
namespace {

enum class Fault {
    Refused,
    ResetMidBody,
    Silent,
    NotFound,
    ServerError,
    OverCap,
    Drip,
    RedirectLoop,
    Chunked,
    Gzip,
    StrayBytes
};

struct Handler {
    QByteArray (*page)(const QString& origin); // a good answer
    void (*run)(Form1&);
    bool (*succeeded)(Form1&);
    bool (*failed)(Form1&); // the documented outcome of a failed fetch
};

QByteArray homePage(const QString&) {
    return "<a>x</a> &nbsp;&nbsp; 2011-01-08 <h1>四天后的删除域名查询</h1><table><a>2011-01-06</a>"
           "<a>2011-01-07</a><a>2011-01-09</a><a>2011-01-10</a><a>2011-01-11</a></table>";
}

QByteArray summaryPage(const QString&) {
    QByteArray page = "<td noWrap><font color=red>2011-01-08</font>";
    for (char n = '3'; n <= '7'; ++n)
        for (int i = 0; i < 7; ++i)
            page += QByteArray("<a href=\"x&length=") + n + "\">5</a>";
    return page;
}

QByteArray listPage(const QString& origin) {
    QByteArray page;
    for (const char* name : {"a1.com", "b2.com", "c3.com"})
        page += "<a href=" + origin.toUtf8() + "/whois.php?domain=" + name + ">" + name + "</a>";
    return page;
}

QByteArray lookupPage(const QString&) {
    QByteArray page;
    for (const char* v : {"3年", "ok", "2008-01-01", "2010-11-01", "2011-01-08"})
        page += QByteArray("<td class=\"deltd1\">") + v + "</td>";
    return page + "<p>还剩：1天 2小时</p>";
}

QByteArray versionFile(const QString&) {
    return "9.0\r\n";
}

const QString kQuestion = QStringLiteral("发现最新版本9.0，是否更新？");

const Handler kStartup{
    homePage, [](Form1& f) { f.Command11_Click(); },
    [](Form1& f) { return f.Text1->text() == u"2011-01-08" && f.Picture1->isHidden(); },
    [](Form1& f) {
        return f.Text1->text().isEmpty() && f.Picture1->isHidden() &&
               f.Label8->text() == u"日期载入失败，请检查网络后重新打开本工具";
    }};

const Handler kGrid{
    summaryPage, [](Form1& f) { f.Command2_Click(); }, // read as GB2312
    [](Form1& f) { return f.Text7->text() == u"2011-01-08" && f.Label6(7)->text() == u"5"; },
    [](Form1& f) {
        return f.Text7->text() == u"Text7" && f.Label6(7)->text() == u"..." &&
               f.Frame4->isHidden() && f.Label8->text() == u"数据载入失败，请重试";
    }};

const Handler kList{
    listPage, [](Form1& f) { f.Label3_Click(1); },
    [](Form1& f) { return f.List1->count() == 3 && f.Label8->text() == u"恭喜查询完毕！"; },
    [](Form1& f) { return f.List1->count() == 0 && f.Label8->text() == u"恭喜查询完毕！"; }};

const Handler kLookup{lookupPage, [](Form1& f) { f.Command8_Click(); },
                      [](Form1& f) {
                          return f.Label9(5)->text() == u"2011-01-08" &&
                                 f.Label9(6)->text() == u"1天2小时";
                      },
                      [](Form1& f) {
                          for (int i = 1; i <= 6; ++i)
                              if (!f.Label9(i)->text().isEmpty())
                                  return false;
                          return true;
                      }};

QStringList g_questions;

const Handler kUpdate{versionFile, [](Form1& f) { f.Command9_Click(); },
                      [](Form1&) { return g_questions == QStringList{kQuestion}; },
                      [](Form1&) { return g_questions.isEmpty(); }};

FixtureServer::Reply replyFor(Fault fault, const QByteArray& page) {
    switch (fault) {
    case Fault::ResetMidBody:
        return FixtureServer::resetMidBody(page, page.size() / 2);
    case Fault::Silent:
        return FixtureServer::silent();
    case Fault::NotFound:
        return FixtureServer::answer("<html><h1>404 Not Found</h1></html>", 404);
    case Fault::ServerError:
        return FixtureServer::answer("<html><h1>500</h1></html>", 500);
    case Fault::OverCap:
        return FixtureServer::answer(page + QByteArray(100 * 1024, ' '));
    case Fault::Drip:
        return FixtureServer::drip(page, 200);
    case Fault::RedirectLoop:
        return FixtureServer::raw(
            "HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n");
    case Fault::Chunked:
        return FixtureServer::chunked(page);
    case Fault::Gzip:
        return FixtureServer::gzipped(page);
    case Fault::StrayBytes:
        return FixtureServer::answer(page + QByteArray("\0\xFF\xC9<\x80", 5));
    case Fault::Refused:
        break;
    }
    return FixtureServer::answer(page);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startup_data() { faultTable(); }
    void startup() { check(kStartup); }
    void grid_data() { faultTable(); }
    void grid() { check(kGrid); }
    void list_data() { faultTable(); }
    void list() { check(kList); }
    void lookup_data() { faultTable(); }
    void lookup() { check(kLookup); }
    void update_data() { faultTable(); }
    void update() { check(kUpdate); }

private:
    void faultTable();
    void check(const Handler& handler);
};

void TestFaults::init() {
    Module1::FetchLimits limits; // short enough for a test, the rules as in the program
    limits.idleTimeoutMs = 400;
    limits.totalTimeoutMs = 1500;
    limits.maxBodyBytes = 64 * 1024;
    Module1::setFetchLimits(limits);
    g_questions.clear();
}

void TestFaults::cleanup() {
    Module1::setFetchLimits(Module1::FetchLimits{});
}

void TestFaults::faultTable() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("pageArrives");
    QTest::addColumn<bool>("slow");
    QTest::newRow("connection refused") << int(Fault::Refused) << false << false;
    QTest::newRow("reset mid-body") << int(Fault::ResetMidBody) << false << false;
    QTest::newRow("silent server") << int(Fault::Silent) << false << true;
    QTest::newRow("404 page") << int(Fault::NotFound) << false << false;
    QTest::newRow("500 page") << int(Fault::ServerError) << false << false;
    QTest::newRow("body over the cap") << int(Fault::OverCap) << false << false;
    QTest::newRow("a byte every 200 ms") << int(Fault::Drip) << false << true;
    QTest::newRow("redirect loop") << int(Fault::RedirectLoop) << false << false;
    QTest::newRow("chunked") << int(Fault::Chunked) << true << false;
    QTest::newRow("gzip") << int(Fault::Gzip) << true << false;
    QTest::newRow("NUL and invalid bytes") << int(Fault::StrayBytes) << true << false;
}

void TestFaults::check(const Handler& handler) {
    QFETCH(int, fault);
    QFETCH(bool, pageArrives);
    QFETCH(bool, slow);

    FixtureServer server;
    QVERIFY(server.listen());
    QString origin = server.origin();
    if (Fault(fault) == Fault::Refused) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        origin = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    }
    server.setFallback(replyFor(Fault(fault), handler.page(server.origin())));

    Form1 form({origin + "/", origin, origin});
    form.Timer1->stop();
    form.Timer2->stop();
    form.Timer3->stop();
    form.MsgBox = [](const QString& text, int, const QString&) {
        g_questions << text;
        return MsgBoxCancel;
    };
    form.OpenUrl = [](const QUrl&) {};
    form.Text9->setText("x.com");
    form.Text7->setText("Text7");
    form.Label3(1)->setText("3");
    form.show();

    int ticks = 0;
    QTimer probe;
    connect(&probe, &QTimer::timeout, this, [&] { ++ticks; });
    probe.start(10);
    handler.run(form);
    probe.stop();

    if (fault != int(Fault::Refused)) // fixed up above; the list page's links name the server
        QVERIFY(!server.targets().isEmpty());
    if (pageArrives)
        QVERIFY(handler.succeeded(form));
    else
        QVERIFY(handler.failed(form));
    if (slow)
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks))); // the window ran meanwhile
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
