// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites' client for public services, against raw answers from a loopback server.
#include "fixtureserver.h"
#include "net/httpclient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using sites::net::Fetch;
using sites::net::Fetched;
using sites::net::HttpClient;
using Outcome = Fetched::Outcome;

namespace {

// A loopback server that answers the n-th request (from 0) with the bytes `answer` gives for
// it and its head, sent as they stand, then closes.
struct RawServer {
    FixtureServer server;
    std::function<QByteArray(int n, const QByteArray& head)> answer;

    RawServer() {
        QVERIFY(server.listen());
        server.respond = [this](const FixtureServer::Request&) {
            const QList<QByteArray> seen = server.heads();
            return std::optional(FixtureServer::raw(answer(int(seen.size() - 1), seen.last())));
        };
    }
    QList<QByteArray> heads() const { return server.heads(); }
    quint16 port() const { return server.port(); }
    QString url(const QString& path = QStringLiteral("/list.txt")) const { return server.origin() + path; }
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
    void retryAfter_data();
    void retryAfter();
    void redirects_data();
    void redirects();
    void savesOnlyWholeFiles();
    void throughAProxy();
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
    QVERIFY(sent(server.heads().value(0), "User-Agent: Lumo/"));
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
    QVERIFY(sent(server.heads().value(1), "If-Modified-Since: Mon, 07 Dec 2026 06:00:00 GMT"));
}

void TestHttpClient::retryAfter_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("defaultWait");
    QTest::addColumn<bool>("retried");
    QTest::addColumn<QString>("error");
    // First: the date is taken when the table is made.
    QTest::newRow("an HTTP date")
        << "Retry-After: " + QLocale::c().toString(QDateTime::currentDateTimeUtc().addSecs(3), "ddd, dd MMM yyyy HH:mm:ss 'GMT'").toLatin1() + "\r\n"
        << 600 << true << QString();
    QTest::newRow("waits as asked, then tries again")
        << QByteArray("Retry-After: 1\r\n") << 600 << true << QString();
    QTest::newRow("past the cap the 429 stands")
        << QByteArray("Retry-After: 3600\r\n") << 1 << false << "asked to wait 3600 s";
    QTest::newRow("no Retry-After: the default wait")
        << QByteArray() << 1 << true << QString();
    QTest::newRow("no Retry-After, a default past the cap")
        << QByteArray() << 600 << false << "without Retry-After; the default wait is 600 s";
}

void TestHttpClient::retryAfter() {
    QFETCH(QByteArray, header);
    QFETCH(int, defaultWait);
    QFETCH(bool, retried);
    QFETCH(QString, error);
    RawServer server;
    server.answer = [header](int n, const QByteArray&) -> QByteArray {
        return n ? ok("ok") : "HTTP/1.1 429 Too Many\r\n" + header + "Content-Length: 0\r\n\r\n";
    };
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(0));
    client.setDefaultRetryWait(std::chrono::seconds(defaultWait));
    QElapsedTimer clock;
    clock.start();
    // Past the cap the 429 stands at once: a client that waits the hour out fails here
    // instead of at ctest's timeout.
    Fetched got;
    bool answered = false;
    client.start({.url = QUrl(server.url())}, [&](const Fetched& f) {
        got = f;
        answered = true;
    });
    // QTRY's step is derived from its timeout unbracketed: a bare ?: there made it one 10 s wait.
    const int limitMs = retried ? 10000 : 5000;
    QTRY_VERIFY2_WITH_TIMEOUT(answered, "the client waited past the cap", limitMs);
    QCOMPARE(server.heads().size(), retried ? 2 : 1);
    QCOMPARE(got.ok(), retried);
    if (retried) {
        QVERIFY2(clock.elapsed() >= 950, "the retry came too soon");
        return;
    }
    QCOMPARE(got.status, 429);
    QVERIFY2(got.error.contains(error) && !got.error.contains(QStringLiteral("-1")), qPrintable(got.error));
    QCOMPARE(got.retryAfterSeconds, header.isEmpty() ? defaultWait : 3600);
}

// What each redirect sends on: the method, the body and the credentials, by status, origin and
// method; a body never goes to another origin.
void TestHttpClient::redirects_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("crossOrigin");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("sentOn"); // the next hop's method, "" when not followed
    QTest::addColumn<bool>("bodyOn");
    QTest::addColumn<bool>("credentialsOn");
    QTest::newRow("301 same GET") << 301 << false << QByteArray("GET") << QByteArray("GET") << false << true;
    QTest::newRow("301 cross POST") << 301 << true << QByteArray("POST") << QByteArray("GET") << false << false;
    QTest::newRow("302 same POST") << 302 << false << QByteArray("POST") << QByteArray("GET") << false << true;
    QTest::newRow("302 cross GET") << 302 << true << QByteArray("GET") << QByteArray("GET") << false << false;
    QTest::newRow("303 cross POST") << 303 << true << QByteArray("POST") << QByteArray("GET") << false << false;
    QTest::newRow("307 same POST") << 307 << false << QByteArray("POST") << QByteArray("POST") << true << true;
    QTest::newRow("307 cross POST") << 307 << true << QByteArray("POST") << QByteArray() << false << false;
    QTest::newRow("308 same POST") << 308 << false << QByteArray("POST") << QByteArray("POST") << true << true;
    QTest::newRow("308 cross POST") << 308 << true << QByteArray("POST") << QByteArray() << false << false;
    QTest::newRow("308 cross GET") << 308 << true << QByteArray("GET") << QByteArray("GET") << false << false;
}

void TestHttpClient::redirects() {
    QFETCH(int, status);
    QFETCH(bool, crossOrigin);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, sentOn);
    QFETCH(bool, bodyOn);
    QFETCH(bool, credentialsOn);
    RawServer other;
    other.answer = [](int, const QByteArray&) { return ok("there"); };
    RawServer server;
    const QString target = crossOrigin ? other.url(QStringLiteral("/to")).replace(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"))
                                       : QStringLiteral("/to");
    server.answer = [&](int n, const QByteArray&) -> QByteArray {
        if (n > 0)
            return ok("here");
        return "HTTP/1.1 " + QByteArray::number(status) + " Moved\r\nLocation: " + target.toUtf8() +
               "\r\nContent-Length: 0\r\n\r\n";
    };
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(0));
    const QByteArray body = method == "POST" ? QByteArray(R"({"password":"pa55"})") : QByteArray();
    const Fetched got = client.run({.url = QUrl(server.url()),
                                    .method = method,
                                    .headers = {{"Authorization", "Bearer tok-1"}, {"Cookie", "s=c00k"}},
                                    .body = body});
    const QList<QByteArray> nextHeads = crossOrigin ? other.heads() : server.heads();
    QCOMPARE(got.ok(), !sentOn.isEmpty());
    QCOMPARE(nextHeads.size(), sentOn.isEmpty() ? (crossOrigin ? 0 : 1) : (crossOrigin ? 1 : 2));
    if (sentOn.isEmpty()) {
        QVERIFY2(got.error.contains(QStringLiteral("not followed")), qPrintable(got.error));
        return;
    }
    const QByteArray next = nextHeads.last();
    QVERIFY2(next.startsWith(sentOn + " /to "), next.constData());
    QCOMPARE(sent(next, "Content-Length: " + QByteArray::number(body.size())), bodyOn);
    QCOMPARE(sent(next, "Authorization: Bearer tok-1"), credentialsOn);
    QCOMPARE(sent(next, "Cookie: s=c00k"), credentialsOn);
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

// With http_proxy set, a list is reached through the proxy's CONNECT tunnel (its host name only
// the proxy knows), loopback stays direct, and a proxy that refuses is a failed fetch saying so.
void TestHttpClient::throughAProxy() {
    RawServer target;
    target.answer = [](int, const QByteArray&) { return ok("via the proxy"); };
    // It opens CONNECT tunnels to the one host name it knows (to the target) and refuses any other.
    FixtureServer proxy;
    QVERIFY(proxy.listen());
    const QString known = QStringLiteral("lists.lumo-test:%1").arg(target.port());
    proxy.setReply(known, FixtureServer::tunnel(target.port()));
    proxy.setFallback(FixtureServer::raw("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n"));
    const auto restore = qScopeGuard([] {
        qunsetenv("http_proxy");
        qunsetenv("https_proxy");
    });
    qputenv("http_proxy", proxy.origin().toUtf8());
    qputenv("https_proxy", proxy.origin().toUtf8());
    qunsetenv("no_proxy");
    HttpClient client;
    client.setMinInterval(std::chrono::milliseconds(0));
    const QString path = QStringLiteral("/list.txt");
    Fetched got = client.run({.url = QUrl(QStringLiteral("http://lists.lumo-test:%1%2").arg(target.port()).arg(path))});
    QVERIFY2(got.ok(), qPrintable(got.error));
    QCOMPARE(got.body, QByteArray("via the proxy"));
    QCOMPARE(proxy.heads().value(0).split('\r').value(0), "CONNECT " + known.toUtf8() + " HTTP/1.1");
    QVERIFY(sent(target.heads().value(0), "Host: lists.lumo-test:"));

    got = client.run({.url = QUrl(target.url())});
    QVERIFY2(got.ok(), qPrintable(got.error));
    QCOMPARE(proxy.targets().size(), 1);

    got = client.run({.url = QUrl(QStringLiteral("http://elsewhere.lumo-test/list.txt"))});
    QCOMPARE(got.outcome, Outcome::Failed);
    QCOMPARE(proxy.targets().size(), 2);
    QVERIFY2(got.error == QStringLiteral("http://elsewhere.lumo-test/list.txt: Proxy denied connection"),
             qPrintable(got.error));
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
