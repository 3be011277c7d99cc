// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/module1.h"
#include "rig.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>

// What a stranger's server or a bad network can do to each handler that fetches: the handler
// ends, the window keeps running meanwhile, and what it shows is the handler's own outcome
// for a good page or for a failed one.
namespace {

using MakeReply = FixtureServer::Reply (*)(const QByteArray& goodPage);

struct Handler {
    QByteArray (*page)(const QString& origin); // a good answer
    void (*run)(Form1&);
    QStringList (*shows)(const Rig&);
    QStringList good;
    QStringList failed; // the documented outcome of a failed fetch
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

const Handler kStartup{homePage,
                       [](Form1& f) { f.Command11_Click(); },
                       [](const Rig& r) {
                           return QStringList{r.form->Text1->text(),
                                              r.form->Picture1->isHidden() ? "hidden" : "shown",
                                              r.form->Label8->text()};
                       },
                       {"2011-01-08", "hidden", ".."},
                       {"", "hidden", "日期载入失败，请检查网络后重新打开本工具"}};

const Handler kGrid{summaryPage,
                    [](Form1& f) { f.Command2_Click(); }, // read as GB2312
                    [](const Rig& r) {
                        return QStringList{r.form->Text7->text(), r.form->Label6(7)->text(),
                                           r.form->Frame4->isHidden() ? "hidden" : "shown",
                                           r.form->Label8->text()};
                    },
                    {"2011-01-08", "5", "hidden", ".."},
                    {"Text7", "...", "hidden", "数据载入失败，请重试"}};

const Handler kList{
    listPage,
    [](Form1& f) { f.Label3_Click(1); },
    [](const Rig& r) {
        return QStringList{QString::number(r.form->List1->count()), r.form->Label8->text()};
    },
    {"3", "恭喜查询完毕！"},
    {"0", "恭喜查询完毕！"}};

const Handler kLookup{lookupPage,
                      [](Form1& f) { f.Command8_Click(); },
                      [](const Rig& r) {
                          QStringList shown;
                          for (int i = 1; i <= 6; ++i)
                              shown << r.form->Label9(i)->text();
                          return shown;
                      },
                      {"3年", "ok", "2008-01-01", "2010-11-01", "2011-01-08", "1天2小时"},
                      {"", "", "", "", "", ""}};

const Handler kUpdate{[](const QString&) { return QByteArray("9.0\r\n"); },
                      [](Form1& f) { f.Command9_Click(); },
                      [](const Rig& r) { return r.boxes; },
                      {"发现最新版本9.0，是否更新？"},
                      {}};

} // namespace

Q_DECLARE_METATYPE(MakeReply)

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
}

void TestFaults::cleanup() {
    Module1::setFetchLimits(Module1::FetchLimits{});
}

void TestFaults::faultTable() {
    QTest::addColumn<MakeReply>("reply"); // none: nothing listens
    QTest::addColumn<bool>("pageArrives");
    QTest::addColumn<bool>("slow");
    using R = FixtureServer;
    const QList<std::tuple<const char*, MakeReply, bool, bool>> rows = {
        {"connection refused", nullptr, false, false},
        {"reset mid-body", [](const QByteArray& p) { return R::resetMidBody(p, p.size() / 2); },
         false, false},
        {"silent server", [](const QByteArray&) { return R::silent(); }, false, true},
        {"404 page", [](const QByteArray&) { return R::answer("<html>404</html>", 404); }, false,
         false},
        {"500 page", [](const QByteArray&) { return R::answer("<html>500</html>", 500); }, false,
         false},
        {"body over the cap",
         [](const QByteArray& p) { return R::answer(p + QByteArray(100 * 1024, ' ')); }, false,
         false},
        {"a byte every 200 ms", [](const QByteArray& p) { return R::drip(p, 200); }, false, true},
        {"redirect loop",
         [](const QByteArray&) {
             return R::raw("HTTP/1.1 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n");
         },
         false, false},
        {"chunked", [](const QByteArray& p) { return R::chunked(p); }, true, false},
        {"gzip", [](const QByteArray& p) { return R::gzipped(p); }, true, false},
        {"NUL and invalid bytes",
         [](const QByteArray& p) { return R::answer(p + QByteArray("\0\xFF\xC9<\x80", 5)); }, true,
         false},
    };
    for (const auto& [name, reply, pageArrives, slow] : rows)
        QTest::newRow(name) << reply << pageArrives << slow;
}

void TestFaults::check(const Handler& handler) {
    QFETCH(MakeReply, reply);
    QFETCH(bool, pageArrives);
    QFETCH(bool, slow);

    Rig rig(MsgBoxCancel);
    if (reply)
        rig.server.setFallback(reply(handler.page(rig.server.origin())));
    else
        rig.server.close();
    rig.form->Text9->setText("x.com");
    rig.form->Text7->setText("Text7");
    rig.form->Label3(1)->setText("3");
    rig.form->show();

    int ticks = 0;
    QTimer probe;
    connect(&probe, &QTimer::timeout, this, [&] { ++ticks; });
    probe.start(10);
    handler.run(*rig.form);
    probe.stop();

    QCOMPARE(rig.server.targets().isEmpty(), !reply);
    QCOMPARE(handler.shows(rig), pageArrives ? handler.good : handler.failed);
    if (slow)
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks))); // the window ran meanwhile
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
