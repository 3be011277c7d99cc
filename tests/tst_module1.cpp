// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtureserver.h"
#include "net/module1.h"

#include <QTest>
#include <QTimer>

class TestModule1 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void bytesToText_data();
    void bytesToText();
    void page_data();
    void page();
    void decodesInTheCallersCharset();
    void urlCarriedAsGiven_data();
    void urlCarriedAsGiven();
    void unrequestableUrlReturnsAtOnce();
    void nestedFetchReturnsFirst();
    void windowKeepsRunningDuringWait();
    void pageKeptWhileNestedWorkOutlastsLimit();
    void redirectsFollowedWithinLimit();
    void silentServerEndsAtIdleLimit();

private:
    FixtureServer* server = nullptr;
};

void TestModule1::init() {
    server = new FixtureServer(this);
    QVERIFY(server->listen());
}

void TestModule1::cleanup() {
    delete server;
    server = nullptr;
}

void TestModule1::bytesToText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("expected");
    const QList<std::tuple<const char*, QByteArray, const char*, QString>> rows = {
        {"utf-8 drops a leading BOM", "\xEF\xBB\xBF删hi", "UTF-8", u"删hi"_qs},
        {"utf-8 keeps a BOM inside", "a\xEF\xBB\xBF", "UTF-8", u"a\uFEFF"_qs},
        {"utf-8 invalid byte", "a\xFF\x62", "UTF-8", u"a\uFFFDb"_qs},
        {"utf-8 cut off at the end", "a\xE5\x88", "UTF-8", u"a\uFFFD\uFFFD"_qs},
        {"NUL kept", QByteArray("a\0b", 3), "UTF-8", QString::fromUtf16(u"a\0b", 3)},
        {"gb2312", "\xC9\xBE\xB3\xFD", "gb2312", u"删除"_qs},
        {"gbk-only character", "\x88\xD2", "gb2312", u"堃"_qs},
        {"gbk invalid trail byte", "\xA1\x7F\x78", "gb2312", u"\uFFFD\u007Fx"_qs},
        {"gbk lead byte alone at the end", "ab\xC9", "gb2312", u"ab\uFFFD"_qs},
        {"unknown charset", "abc", "no-such-charset", QString()},
    };
    for (const auto& [name, bytes, charset, expected] : rows)
        QTest::newRow(name) << bytes << QString::fromLatin1(charset) << expected;
}

void TestModule1::bytesToText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, charset);
    QFETCH(QString, expected);
    QCOMPARE(Module1::BytesToText(bytes, charset), expected);
}

// The body whatever the status; the empty text when there is no answer at all.
void TestModule1::page_data() {
    QTest::addColumn<FixtureServer::Reply>("reply");
    QTest::addColumn<QString>("page");
    const QByteArray body = "<p>body 页</p>";
    QTest::newRow("200") << FixtureServer::answer(body) << u"<p>body 页</p>"_qs;
    QTest::newRow("404") << FixtureServer::answer(body, 404) << u"<p>body 页</p>"_qs;
    QTest::newRow("500") << FixtureServer::answer(body, 500) << u"<p>body 页</p>"_qs;
    QTest::newRow("empty body") << FixtureServer::answer({}) << QString();
    QTest::newRow("closed without answer") << FixtureServer::closing() << QString();
}

void TestModule1::page() {
    QFETCH(FixtureServer::Reply, reply);
    QFETCH(QString, page);
    server->setReply("/p", reply);
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/p"), page);
}

// No detection: each fetch decodes in its own charset whatever the page is written in.
void TestModule1::decodesInTheCallersCharset() {
    server->setReply("/gbk", FixtureServer::answer("\xC9\xBE\xB3\xFD\x88\xD2")); // 删除堃
    QCOMPARE(Module1::GetPageGb2312(server->origin() + "/gbk"), u"删除堃"_qs);
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/gbk"), u"\u027E\uFFFD\uFFFD\uFFFD\uFFFD"_qs);
}

void TestModule1::urlCarriedAsGiven_data() {
    QTest::addColumn<QString>("pathAndQuery");
    QTest::addColumn<QString>("target");
    QTest::newRow("query unchanged") << "/d.php?date=2011-03-04&t=cn"
                                     << "/d.php?date=2011-03-04&t=cn";
    QTest::newRow("blanks carried as %20") << "/DomainDel/?wd= a b "
                                           << "/DomainDel/?wd=%20a%20b%20";
    QTest::newRow("reserved escapes kept") << "/x?wd=a%2Bb%26"
                                           << "/x?wd=a%2Bb%26";
}

void TestModule1::urlCarriedAsGiven() {
    QFETCH(QString, pathAndQuery);
    QFETCH(QString, target);
    Module1::GetPageUtf8(server->origin() + pathAndQuery);
    QCOMPARE(server->targets(), QStringList{target});
}

void TestModule1::unrequestableUrlReturnsAtOnce() {
    for (const QString& url : {QString(), QStringLiteral("not a url"),
                               QStringLiteral("ftp://127.0.0.1/x"), QStringLiteral("http://")})
        QCOMPARE(Module1::GetPageUtf8(url), QString());
    QVERIFY(server->targets().isEmpty());
}

// A fetch started inside another's wait completes and returns first; each gets its own page.
void TestModule1::nestedFetchReturnsFirst() {
    server->setReply("/outer", FixtureServer::held("outer page"));
    server->setReply("/inner", FixtureServer::answer("inner page"));
    QStringList order;
    QString inner;
    server->onRequest = [&](const QString& target) {
        if (target != "/outer")
            return;
        QTimer::singleShot(0, this, [&] {
            inner = Module1::GetPageUtf8(server->origin() + "/inner");
            order << "inner";
            server->release("/outer");
        });
    };
    const QString outer = Module1::GetPageUtf8(server->origin() + "/outer");
    order << "outer";
    QCOMPARE(outer, QStringLiteral("outer page"));
    QCOMPARE(inner, QStringLiteral("inner page"));
    QCOMPARE(order, (QStringList{"inner", "outer"}));
}

void TestModule1::windowKeepsRunningDuringWait() {
    server->setReply("/slow", FixtureServer::held("done"));
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (++ticks == 5)
            server->release("/slow");
    });
    ticker.start(10);
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/slow"), QStringLiteral("done"));
    QCOMPARE(ticks, 5);
}

// The limits stop a request in flight, never a page already in: a dialog left open inside
// the wait for longer than the total limit takes nothing away.
void TestModule1::pageKeptWhileNestedWorkOutlastsLimit() {
    Module1::FetchLimits limits;
    limits.totalTimeoutMs = 200;
    Module1::setFetchLimits(limits);
    server->setReply("/p", FixtureServer::held("kept"));
    server->onRequest = [&](const QString&) {
        QTimer::singleShot(0, this, [&] {
            server->release();
            QTest::qWait(3 * limits.totalTimeoutMs);
        });
    };
    const QString page = Module1::GetPageUtf8(server->origin() + "/p");
    Module1::setFetchLimits({});
    QCOMPARE(page, QStringLiteral("kept"));
}

void TestModule1::redirectsFollowedWithinLimit() {
    server->setReply("/old",
                     FixtureServer::raw("HTTP/1.1 301 Moved Permanently\r\nLocation: /new\r\n"
                                        "Content-Length: 0\r\n\r\n"));
    server->setReply("/new", FixtureServer::answer("moved here"));
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/old"), QStringLiteral("moved here"));
}

// A server that says nothing is given up at the idle limit, long before the total one.
void TestModule1::silentServerEndsAtIdleLimit() {
    Module1::setFetchLimits({.idleTimeoutMs = 300, .totalTimeoutMs = 5000});
    server->setReply("/p", FixtureServer::silent());
    const Module1::Page page = Module1::Fetch(server->origin() + "/p", "UTF-8");
    Module1::setFetchLimits({});
    QCOMPARE(page.failure, Module1::Failure::Silent);
}

QTEST_MAIN(TestModule1)
#include "tst_module1.moc"
