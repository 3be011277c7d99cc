#include "fixtureserver.h"
#include "net/module1.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TestModule1 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void bytesToText_data();
    void bytesToText();
    void pageWhateverTheStatus_data();
    void pageWhateverTheStatus();
    void failuresGiveEmptyText_data();
    void failuresGiveEmptyText();
    void decodesInTheCallersCharset();
    void urlCarriedAsGiven_data();
    void urlCarriedAsGiven();
    void unrequestableUrlReturnsAtOnce();
    void nestedFetchReturnsFirst();
    void windowKeepsRunningDuringWait();
    void redirectsFollowedWithinLimit();

private:
    FixtureServer* server = nullptr;
};

void TestModule1::init() {
    server = new FixtureServer(this);
    QVERIFY(server->listen());
    Module1::setFetchLimits(Module1::FetchLimits{});
}

void TestModule1::cleanup() {
    delete server;
    server = nullptr;
    Module1::setFetchLimits(Module1::FetchLimits{});
}

void TestModule1::bytesToText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("expected");

    QTest::newRow("utf-8") << QByteArray("删除 ok") << "UTF-8" << QStringLiteral("删除 ok");
    QTest::newRow("utf-8 drops a leading BOM")
        << QByteArray("\xEF\xBB\xBFhi") << "UTF-8" << QStringLiteral("hi");
    QTest::newRow("utf-8 keeps a BOM inside")
        << QByteArray("a\xEF\xBB\xBF") << "UTF-8" << QStringLiteral("a\uFEFF");
    QTest::newRow("utf-8 invalid byte") << QByteArray("a\xFF"
                                                      "b")
                                        << "UTF-8" << QStringLiteral("a\uFFFDb");
    QTest::newRow("utf-8 cut-off sequence at end")
        << QByteArray("a\xE5\x88") << "UTF-8" << QStringLiteral("a\uFFFD\uFFFD");
    QTest::newRow("utf-8 NUL kept")
        << QByteArray("a\0b", 3) << "UTF-8" << QString::fromUtf16(u"a\0b", 3);
    QTest::newRow("gb2312") << QByteArray("\xC9\xBE\xB3\xFD") << "gb2312" << QStringLiteral("删除");
    QTest::newRow("gbk-only character")
        << QByteArray("\x88\xD2") << "gb2312" << QStringLiteral("堃");
    QTest::newRow("gbk invalid trail byte") << QByteArray("\xA1\x7F"
                                                          "x")
                                            << "gb2312" << QStringLiteral("\uFFFD\u007Fx");
    QTest::newRow("gbk lead byte alone at end")
        << QByteArray("ab\xC9") << "gb2312" << QStringLiteral("ab\uFFFD");
    QTest::newRow("utf-8 read as gb2312 is decoded anyway")
        << QByteArray("\xE5\x88\xA0") << "gb2312" << QStringLiteral("鍒\uFFFD");
    QTest::newRow("empty") << QByteArray() << "gb2312" << QString();
    QTest::newRow("unknown charset") << QByteArray("abc") << "no-such-charset" << QString();
}

void TestModule1::bytesToText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, charset);
    QFETCH(QString, expected);
    QCOMPARE(Module1::BytesToText(bytes, charset), expected);
}

void TestModule1::pageWhateverTheStatus_data() {
    QTest::addColumn<int>("status");
    QTest::newRow("200") << 200;
    QTest::newRow("404") << 404;
    QTest::newRow("500") << 500;
}

void TestModule1::pageWhateverTheStatus() {
    QFETCH(int, status);
    server->setReply("/p", FixtureServer::answer("<p>body 页</p>", status));
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/p"), QStringLiteral("<p>body 页</p>"));
}

void TestModule1::failuresGiveEmptyText_data() {
    QTest::addColumn<FixtureServer::Reply>("reply");
    QTest::newRow("empty body") << FixtureServer::answer(QByteArray());
    QTest::newRow("closed without answer") << FixtureServer::closing();
}

void TestModule1::failuresGiveEmptyText() {
    QFETCH(FixtureServer::Reply, reply);
    Module1::FetchLimits limits;
    limits.idleTimeoutMs = 300;
    limits.maxBodyBytes = 4096;
    Module1::setFetchLimits(limits);
    server->setReply("/loop", reply);
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/loop"), QString());
}

// No detection: each fetch decodes in its own charset whatever the page is written in.
void TestModule1::decodesInTheCallersCharset() {
    const QByteArray gbk("\xC9\xBE\xB3\xFD\x88\xD2"); // 删除堃
    server->setReply("/gbk", FixtureServer::answer(gbk));
    server->setReply("/utf8", FixtureServer::answer("删除"));
    QCOMPARE(Module1::GetPageGb2312(server->origin() + "/gbk"), QStringLiteral("删除堃"));
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/gbk"), Module1::BytesToText(gbk, "UTF-8"));
    QCOMPARE(Module1::GetPageGb2312(server->origin() + "/utf8"),
             Module1::BytesToText("删除", "gb2312"));
    QVERIFY(Module1::GetPageUtf8(server->origin() + "/gbk").contains(QChar(0xFFFD)));
}

void TestModule1::urlCarriedAsGiven_data() {
    QTest::addColumn<QString>("pathAndQuery");
    QTest::addColumn<QString>("target");
    QTest::newRow("query unchanged") << "/deleteddate.php?date=2011-03-04"
                                     << "/deleteddate.php?date=2011-03-04";
    QTest::newRow("blanks carried as %20") << "/DomainDel/?wd= a b "
                                           << "/DomainDel/?wd=%20a%20b%20";
    QTest::newRow("ampersands stay") << "/x?a=1&t=cn&page=2"
                                     << "/x?a=1&t=cn&page=2";
    QTest::newRow("reserved escape kept") << "/x?wd=a%2Bb%26"
                                          << "/x?wd=a%2Bb%26";
    QTest::newRow("stray percent escaped") << "/x?wd=%zz"
                                           << "/x?wd=%25zz";
    QTest::newRow("hash is no fragment") << "/x?wd=a#b#"
                                         << "/x?wd=a%23b%23";
    QTest::newRow("control characters escaped") << "/x?wd=a\tb\x01"
                                                << "/x?wd=a%09b%01";
    QTest::newRow("non-ascii as utf-8") << "/x?wd=中文.com"
                                        << "/x?wd=%E4%B8%AD%E6%96%87.com";
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

void TestModule1::redirectsFollowedWithinLimit() {
    server->setReply("/old",
                     FixtureServer::raw("HTTP/1.1 301 Moved Permanently\r\nLocation: /new\r\n"
                                        "Content-Length: 0\r\n\r\n"));
    server->setReply("/new", FixtureServer::answer("moved here"));
    QCOMPARE(Module1::GetPageUtf8(server->origin() + "/old"), QStringLiteral("moved here"));
}

QTEST_MAIN(TestModule1)
#include "tst_module1.moc"
