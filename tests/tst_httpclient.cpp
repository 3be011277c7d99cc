// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites' client for public services, against raw answers from a loopback server.
#include "net/httpclient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using sites::net::Fetch;
using sites::net::Fetched;
using sites::net::HttpClient;
using Outcome = Fetched::Outcome;

namespace {

// Answers each request head with what `answer` gives for the n-th request (from 0), sent as
// it stands, then closes; keeps every head it saw.
class RawServer : public QObject {
public:
    std::function<QByteArray(int n, const QByteArray& head)> answer;
    QList<QByteArray> heads;

    RawServer() {
        QVERIFY(server_.listen(QHostAddress::LocalHost, 0));
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    QByteArray& in = buffers_[s];
                    in += s->readAll();
                    const qsizetype end = in.indexOf("\r\n\r\n");
                    if (end < 0)
                        return;
                    const QByteArray head = in.left(end);
                    in.clear();
                    heads += head;
                    s->write(answer(int(heads.size() - 1), head));
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString url(const QString& path = QStringLiteral("/list.txt")) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }

private:
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

QByteArray ok(const QByteArray& body, const QByteArray& extra = {}) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
           extra + "\r\n" + body;
}

bool sent(const QByteArray& head, const QByteArray& line) {
    return head.toLower().contains("\r\n" + line.toLower());
}

} // namespace

class TestHttpClient : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void conditionalGet();
    void retryAfter();
    void credentialStaysWithItsOrigin();
    void savesOnlyWholeFiles();
    void pacesEachHost();
};

void TestHttpClient::answers_data() {
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("body");

    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                               "5\r\nabc.c\r\n2\r\nn\n\r\n";
    QTest::newRow("whole") << ok("abc.cn\n") << int(Outcome::Ok) << QByteArray("abc.cn\n");
    QTest::newRow("chunked, whole") << chunked + "0\r\n\r\n" << int(Outcome::Ok)
                                    << QByteArray("abc.cn\n");
    QTest::newRow("chunked, cut before its last chunk")
        << chunked << int(Outcome::Failed) << QByteArray();
    QTest::newRow("chunk larger than said")
        << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabc\r\n0\r\n\r\n")
        << int(Outcome::Failed) << QByteArray();
    QTest::newRow("until the close, after an interim answer")
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\nabc.cn\n")
        << int(Outcome::Ok) << QByteArray("abc.cn\n");
    QTest::newRow("cut under Content-Length")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc.cn\n")
        << int(Outcome::Failed) << QByteArray();
    QTest::newRow("gzip that is not")
        << ok("abc.cn\n", "Content-Encoding: gzip\r\n") << int(Outcome::Failed) << QByteArray();
    QTest::newRow("error status")
        << QByteArray("HTTP/1.1 503 Busy\r\nContent-Length: 4\r\n\r\nbusy")
        << int(Outcome::HttpError) << QByteArray("busy");
    QTest::newRow("no answer") << QByteArray() << int(Outcome::Failed) << QByteArray();
    QTest::newRow("redirect to nowhere")
        << QByteArray("HTTP/1.1 302 Found\r\nLocation: ftp://x/\r\nContent-Length: 0\r\n\r\n")
        << int(Outcome::Failed) << QByteArray();
}

void TestHttpClient::answers() {
    QFETCH(QByteArray, raw);
    QFETCH(int, outcome);
    QFETCH(QByteArray, body);
    RawServer server;
    server.answer = [raw](int, const QByteArray&) { return raw; };
    HttpClient client;
    const Fetched got = client.run({.url = QUrl(server.url() + QStringLiteral("?key=secret"))});
    QCOMPARE(int(got.outcome), outcome);
    QCOMPARE(got.body, body);
    QCOMPARE(got.error.isEmpty(), outcome == int(Outcome::Ok));
    QVERIFY(!got.error.contains(QStringLiteral("secret")));
    QVERIFY(sent(server.heads.value(0), "User-Agent: Lumo/"));
}

void TestHttpClient::conditionalGet() {
    RawServer server;
    server.answer = [](int, const QByteArray& head) -> QByteArray {
        if (sent(head, "If-None-Match: \"v1\""))
            return "HTTP/1.1 304 Not Modified\r\nETag: \"v1\"\r\n\r\n";
        return ok("a.cn\n", "ETag: \"v1\"\r\nLast-Modified: Mon, 07 Dec 2026 06:00:00 GMT\r\n");
    };
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(0));
    const Fetched first = client.run({.url = QUrl(server.url())});
    QCOMPARE(first.outcome, Outcome::Ok);
    QCOMPARE(first.etag, QByteArray("\"v1\""));
    const Fetched again = client.run(
        {.url = QUrl(server.url()), .etag = first.etag, .lastModified = first.lastModified});
    QCOMPARE(again.outcome, Outcome::NotModified);
    QVERIFY(sent(server.heads.value(1), "If-Modified-Since: Mon, 07 Dec 2026 06:00:00 GMT"));
}

void TestHttpClient::retryAfter() {
    RawServer server;
    server.answer = [](int n, const QByteArray&) -> QByteArray {
        if (n == 0)
            return "HTTP/1.1 429 Too Many\r\nRetry-After: 1\r\nContent-Length: 0\r\n\r\n";
        if (n == 1)
            return ok("ok");
        return "HTTP/1.1 429 Too Many\r\nRetry-After: 3600\r\nContent-Length: 0\r\n\r\n";
    };
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(0));
    QElapsedTimer clock;
    clock.start();
    const Fetched waited = client.run({.url = QUrl(server.url())});
    QCOMPARE(waited.outcome, Outcome::Ok);
    QVERIFY2(clock.elapsed() >= 950, "the retry came before Retry-After");
    // Past the cap the 429 stands, with how long the server asked for, at once: a client that
    // waits the hour out fails here instead of at ctest's timeout.
    Fetched refused;
    bool answered = false;
    client.start({.url = QUrl(server.url())}, [&](const Fetched& f) {
        refused = f;
        answered = true;
    });
    QTRY_VERIFY2_WITH_TIMEOUT(answered, "a Retry-After past the cap was waited for", 5000);
    QCOMPARE(refused.status, 429);
    QCOMPARE(refused.retryAfterSeconds, 3600);
    QCOMPARE(server.heads.size(), 3);
}

void TestHttpClient::credentialStaysWithItsOrigin() {
    RawServer other;
    other.answer = [](int, const QByteArray&) { return ok("zone"); };
    RawServer server;
    const QString elsewhere = other.url(QStringLiteral("/com.zone")).replace(
        QStringLiteral("127.0.0.1"), QStringLiteral("localhost"));
    server.answer = [elsewhere](int n, const QByteArray&) -> QByteArray {
        if (n == 0)
            return "HTTP/1.1 302 Found\r\nLocation: /moved\r\nContent-Length: 0\r\n\r\n";
        return "HTTP/1.1 302 Found\r\nLocation: " + elsewhere.toUtf8() +
               "\r\nContent-Length: 0\r\n\r\n";
    };
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(0));
    const Fetched got = client.run(
        {.url = QUrl(server.url()), .headers = {{"Authorization", "Bearer token-123"}}});
    QCOMPARE(got.outcome, Outcome::Ok);
    QCOMPARE(got.body, QByteArray("zone"));
    QCOMPARE(server.heads.size(), 2);
    QVERIFY(sent(server.heads[1], "Authorization: Bearer token-123"));
    QVERIFY(other.heads.size() == 1 && !other.heads[0].contains("token-123"));
}

void TestHttpClient::savesOnlyWholeFiles() {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("com.zone.gz"));
    RawServer server;
    server.answer = [](int n, const QByteArray&) -> QByteArray {
        if (n == 0)
            return ok("0123456789");
        return "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n01234";
    };
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(0));
    qint64 seen = 0;
    const Fetch fetch{.url = QUrl(server.url()),
                      .saveTo = target,
                      .progress = [&](qint64 received, qint64) { seen = received; }};
    QCOMPARE(client.run(fetch).outcome, Outcome::Ok);
    QCOMPARE(seen, 10);
    QFile whole(target);
    QVERIFY(whole.open(QIODevice::ReadOnly));
    QCOMPARE(whole.readAll(), QByteArray("0123456789"));
    whole.close();
    QVERIFY(QFile::remove(target));
    // A download cut short leaves neither the file nor its part.
    QCOMPARE(client.run(fetch).outcome, Outcome::Failed);
    QVERIFY(!QFile::exists(target));
    QVERIFY(!QFile::exists(target + QStringLiteral(".part")));
}

void TestHttpClient::pacesEachHost() {
    RawServer server;
    QList<qint64> at;
    QElapsedTimer clock;
    clock.start();
    server.answer = [&](int, const QByteArray&) {
        at += clock.elapsed();
        return ok("x");
    };
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(400));
    int left = 3;
    for (int i = 0; i < 3; ++i)
        client.start({.url = QUrl(server.url())}, [&](const Fetched&) { --left; });
    QTRY_COMPARE_WITH_TIMEOUT(left, 0, 10'000);
    QCOMPARE(at.size(), 3);
    QVERIFY2(at[1] - at[0] >= 380 && at[2] - at[1] >= 380, "requests to one host came too close");
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
