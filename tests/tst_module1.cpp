// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtureserver.h"
#include "net/module1.h"

#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using Module1::Failure;
Q_DECLARE_METATYPE(Module1::Failure)

class TestModule1 : public QObject {
    Q_OBJECT
    FixtureServer* server = nullptr;

private slots:
    void init() {
        server = new FixtureServer(this);
        QVERIFY(server->listen());
        // Short enough for a test, the rules as in the program.
        Module1::setFetchLimits(
            {.idleTimeoutMs = 600, .totalTimeoutMs = 1000, .maxBodyBytes = 1000});
    }
    void cleanup() {
        delete server;
        Module1::setFetchLimits({});
    }

    void bytesToText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("text");
        QTest::newRow("utf-8, BOM dropped") << QByteArray("\xEF\xBB\xBF删hi") << "UTF-8"
                                            << "删hi";
        QTest::newRow("utf-8 invalid byte") << QByteArray("a\xFF\x62") << "UTF-8"
                                            << "a\uFFFDb";
        QTest::newRow("utf-8 cut off") << QByteArray("a\xE5\x88") << "UTF-8"
                                       << "a\uFFFD\uFFFD";
        QTest::newRow("NUL kept") << QByteArray("a\0b", 3) << "UTF-8"
                                  << QString::fromUtf16(u"a\0b", 3);
        QTest::newRow("gb2312") << QByteArray("\xC9\xBE\xB3\xFD") << "gb2312"
                                << "删除";
        QTest::newRow("gbk-only character") << QByteArray("\x88\xD2") << "gb2312"
                                            << "堃";
        QTest::newRow("gbk bad trail") << QByteArray("\xA1\x7F\x78") << "gb2312"
                                       << "\uFFFD\u007Fx";
        QTest::newRow("gbk lead at the end") << QByteArray("ab\xC9") << "gb2312"
                                             << "ab\uFFFD";
        QTest::newRow("unknown charset") << QByteArray("abc") << "no-such-charset" << QString();
    }
    void bytesToText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, charset);
        QFETCH(QString, text);
        QCOMPARE(Module1::BytesToText(bytes, charset), text);
    }

    // The page only when the answer came whole, with a 2xx status and a body that decodes; an
    // error status keeps the body's text for the callers that show it.
    void fetch_data() {
        QTest::addColumn<FixtureServer::Reply>("reply"); // status 0: nothing listens
        QTest::addColumn<QString>("text");
        QTest::addColumn<Failure>("failure");
        using R = FixtureServer;
        const QByteArray head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
        const QByteArray gzip = QByteArray::fromHex(
            "1f8b08000000000002ffb329b07bb970ab8d7e811d00280c4c0a0a000000"); // "<p>页</p>"
        QTest::newRow("200") << R::answer("<p>页</p>") << "<p>页</p>" << Failure::None;
        QTest::newRow("404") << R::answer("<p>页</p>", 404) << "<p>页</p>" << Failure::ErrorStatus;
        QTest::newRow("500") << R::answer("<p>页</p>", 500) << "<p>页</p>" << Failure::ErrorStatus;
        QTest::newRow("chunked") << R::raw(head + "3\r\n<p>\r\n7;x=1\r\n页</p>\r\n0\r\n\r\n")
                                 << "<p>页</p>" << Failure::None;
        QTest::newRow("300 chunks in one read")
            << R::raw(head + QByteArray("1\r\nx\r\n").repeated(300) + "0\r\n\r\n")
            << QString(300, u'x') << Failure::None;
        QTest::newRow("chunked, cut after a chunk")
            << R::raw(head + "3\r\n<p>\r\n") << "" << Failure::CutShort;
        QTest::newRow("chunked, cut before the blank line after the last chunk")
            << R::raw(head + "3\r\n<p>\r\n0\r\n") << "" << Failure::CutShort;
        QTest::newRow("content-length, cut")
            << R::raw("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n<p>页</p>") << ""
            << Failure::CutShort;
        QTest::newRow("no length, ends at the close")
            << R::raw("HTTP/1.0 200 OK\r\n\r\n<p>页</p>") << "<p>页</p>" << Failure::None;
        QTest::newRow("gzip") << R::answer(gzip).with("Content-Encoding", "gzip") << "<p>页</p>"
                              << Failure::None;
        QTest::newRow("gzip, cut") << R::answer(gzip.left(20)).with("Content-Encoding", "gzip")
                                   << "" << Failure::Undecodable;
        QTest::newRow("gzip, bytes after the stream")
            << R::answer(gzip + "<p>x</p>").with("Content-Encoding", "gzip") << "" << Failure::Undecodable;
        QTest::newRow("false gzip") << R::answer("<p>页</p>").with("Content-Encoding", "gzip") << ""
                                    << Failure::Undecodable;
        QTest::newRow("not http") << R::raw("hello\r\n\r\n") << "" << Failure::Broken;
        QTest::newRow("redirect") << R::raw("HTTP/1.1 301 Moved\r\nLocation: /p2\r\n\r\n") << "p2"
                                  << Failure::None;
        QTest::newRow("closed") << R::closing() << "" << Failure::Broken;
        QTest::newRow("silent") << R::silent() << "" << Failure::Silent;
        QTest::newRow("a byte every 5 ms")
            << R::drip(QByteArray(400, 'x'), 5) << "" << Failure::TooSlow;
        QTest::newRow("over the size cap")
            << R::answer(QByteArray(1001, 'x')) << "" << Failure::TooLarge;
        QTest::newRow("refused") << R::answer({}, 0) << "" << Failure::Refused;
    }
    void fetch() {
        QFETCH(FixtureServer::Reply, reply);
        QFETCH(QString, text);
        QFETCH(Failure, failure);
        server->setReply("/p", reply);
        server->setReply("/p2", FixtureServer::answer("p2"));
        if (reply.status == 0)
            server->close();
        const Module1::Page page = Module1::Fetch(server->origin() + "/p", "UTF-8");
        QCOMPARE(page.text, text);
        QCOMPARE(page.failure, failure);
    }

    // Each request has a connection of its own at once: eight answers held until all eight
    // have been asked for still come, where a client that queues some of them would let
    // their limits run out. The next eight take those eight connections again.
    void requestsDoNotQueue() {
        server->setFallback(FixtureServer::held("p"));
        server->onRequest = [&](const QString&) {
            if (server->targets().size() % 8 == 0)
                QTimer::singleShot(0, this, [&] { server->release(); });
        };
        for (int round = 0; round < 2; ++round) {
            std::vector<std::unique_ptr<Module1::Request>> requests;
            for (int k = 0; k < 8; ++k)
                requests.push_back(std::make_unique<Module1::Request>(
                    server->origin() + QStringLiteral("/p%1").arg(k), "UTF-8"));
            for (const auto& request : requests)
                QCOMPARE(Module1::waitFor(*request).text, QStringLiteral("p"));
        }
        QCOMPARE(server->connections(), 8);
    }

    // A connection carries the next request only when its answer leaves it open; one the
    // server closes at any point before the next answer's first byte costs a new connection,
    // never the page.
    void connectionReuse_data() {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<bool>("closeFirst");
        QTest::addColumn<QByteArray>("reused"); // the second answer, if asked on the first connection
        QTest::addColumn<bool>("closeReused");
        QTest::addColumn<int>("connections");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Failure>("failure");
        const QByteArray p1 = FixtureServer::response(200, "p1");
        const QByteArray p2 = FixtureServer::response(200, "p2");
        const QByteArray wrong = FixtureServer::response(200, "wrong");
        QTest::newRow("kept") << p1 << false << p2 << false << 1 << "p2" << Failure::None;
        QTest::newRow("chunked, kept")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\np1\r\n0\r\n\r\n")
            << false << p2 << false << 1 << "p2" << Failure::None;
        QTest::newRow("error status, kept") << FixtureServer::response(404, "p1") << false << p2
                                            << false << 1 << "p2" << Failure::None;
        QTest::newRow("Connection: close, left open")
            << FixtureServer::response(200, "p1", {{"Connection", "Keep-Alive, close"}}) << false
            << wrong << false << 2 << "p2" << Failure::None;
        QTest::newRow("HTTP/1.0") << QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\np1")
                                  << false << wrong << false << 2 << "p2" << Failure::None;
        QTest::newRow("framed by the close") << QByteArray("HTTP/1.1 200 OK\r\n\r\np1") << true
                                             << wrong << false << 2 << "p2" << Failure::None;
        QTest::newRow("bytes after the answer")
            << p1 + "HTTP/1.1" << false << wrong << false << 2 << "p2" << Failure::None;
        QTest::newRow("idle connection closed")
            << p1 << true << wrong << false << 2 << "p2" << Failure::None;
        QTest::newRow("closed as the request crossed it")
            << p1 << false << QByteArray() << true << 2 << "p2" << Failure::None;
        QTest::newRow("cut body on a kept connection")
            << p1 << false << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\np2")
            << true << 1 << "" << Failure::CutShort;
    }
    void connectionReuse() {
        QFETCH(QByteArray, first);
        QFETCH(bool, closeFirst);
        QFETCH(QByteArray, reused);
        QFETCH(bool, closeReused);
        QFETCH(int, connections);
        QFETCH(QString, text);
        QFETCH(Failure, failure);
        QPointer<QTcpSocket> firstSocket;
        server->setReply("/1", FixtureServer::custom([&](QTcpSocket* socket) {
            firstSocket = socket;
            socket->write(first);
            if (closeFirst)
                socket->disconnectFromHost();
        }));
        server->setReply("/2", FixtureServer::custom([&](QTcpSocket* socket) {
            if (socket != firstSocket)
                return void(socket->write(FixtureServer::response(200, "p2")));
            socket->write(reused);
            if (closeReused)
                socket->disconnectFromHost();
        }));
        QCOMPARE(Module1::Fetch(server->origin() + "/1", "UTF-8").text, QStringLiteral("p1"));
        const Module1::Page page = Module1::Fetch(server->origin() + "/2", "UTF-8");
        QCOMPARE(page.text, text);
        QCOMPARE(page.failure, failure);
        QCOMPARE(server->connections(), connections);
    }

    void urlCarriedAsGiven_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("sent");
        QTest::newRow("query unchanged") << "date=2011-03-04&t=cn"
                                         << "date=2011-03-04&t=cn";
        QTest::newRow("blanks") << "wd= a b "
                                << "wd=%20a%20b%20";
        QTest::newRow("escapes kept") << "wd=a%2Bb%26"
                                      << "wd=a%2Bb%26";
        QTest::newRow("hash") << "wd=a#b.com"
                              << "wd=a%23b.com";
        QTest::newRow("stray percent") << "wd=%zz"
                                       << "wd=%25zz";
        QTest::newRow("chinese, quotes") << "wd=中\"<x>"
                                         << "wd=%E4%B8%AD%22%3Cx%3E";
    }
    void urlCarriedAsGiven() {
        QFETCH(QString, query);
        QFETCH(QString, sent);
        Module1::GetPageUtf8(server->origin() + "/x?" + query);
        QCOMPARE(server->targets(), QStringList{"/x?" + sent});
        // What cannot be asked for at all returns at once, asking nothing.
        for (const char* url : {"", "not a url", "ftp://127.0.0.1/x", "http://"})
            QCOMPARE(Module1::Fetch(url, "UTF-8").failure, Failure::BadAddress);
        QCOMPARE(server->targets().size(), 1);
    }

    // The limits stop a request in flight, never a page already in: a dialog left open inside
    // the wait for longer than the total limit takes nothing away.
    void pageKeptWhileNestedWorkOutlastsLimit() {
        server->setReply("/p", FixtureServer::held("kept"));
        server->onRequest = [&](const QString&) {
            QTimer::singleShot(0, this, [&] {
                server->release();
                QTest::qWait(Module1::fetchLimits().totalTimeoutMs + 500);
            });
        };
        QCOMPARE(Module1::GetPageUtf8(server->origin() + "/p"), QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestModule1)
#include "tst_module1.moc"
