// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtureserver.h"
#include "net/module1.h"

#include <QTest>
#include <QTimer>

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

    // The body whatever the status; no text at all when the exchange fails, and why.
    void fetch_data() {
        QTest::addColumn<FixtureServer::Reply>("reply"); // status 0: nothing listens
        QTest::addColumn<QString>("text");
        QTest::addColumn<Failure>("failure");
        using R = FixtureServer;
        QTest::newRow("200") << R::answer("<p>页</p>") << "<p>页</p>" << Failure::None;
        QTest::newRow("404") << R::answer("<p>页</p>", 404) << "<p>页</p>" << Failure::None;
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
