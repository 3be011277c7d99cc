// lumo-sites as the program meets it: a child process on a loopback port.
#include "net/module1.h"
#include "scrape/split.h"
#include "sitescore/calendar.h"
#include "sitescore/names.h"
#include "sitesprocess.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTest>

namespace {

QString cut(QStringView text, QStringView marker, qsizetype index) {
    const auto p = scrape::piece(text, marker, index);
    return p ? p->toString() : QStringLiteral("<missing>");
}

int linkCount(const QString& page, const QString& base) {
    return int(page.count(QStringLiteral("href=") + base + QStringLiteral("whois.php?domain=")));
}

struct Answer {
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

Answer get(const QString& url) {
    static QNetworkAccessManager nam;
    QNetworkReply* reply = nam.get(QNetworkRequest(QUrl(url, QUrl::TolerantMode)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    Answer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
             reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
    reply->deleteLater();
    return a;
}

// Sends `request` as it stands and returns the answer: one whole response, or whatever came
// before the server closed the connection or went quiet.
QByteArray exchange(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return "(no connection)";
    socket.write(request);
    socket.waitForBytesWritten(5000);
    QByteArray received;
    while (socket.waitForReadyRead(500)) {
        received += socket.readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0)
            continue;
        const QByteArray head = received.left(end).toLower();
        const qsizetype at = head.indexOf("content-length:");
        if (at >= 0 && received.size() - end - 4 >=
                           head.mid(at + 15).split('\r').first().trimmed().toLongLong())
            break;
    }
    return received + socket.readAll();
}

} // namespace

class SitesServerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void homePageOffersSixDays();
    void summaryAndListsThroughFetcher();
    void linksFollowHostHeader_data();
    void linksFollowHostHeader();
    void contentTypes_data();
    void contentTypes();
    void versionFile();
    void garbageQueries_data();
    void garbageQueries();
    void garbageBytes_data();
    void garbageBytes();
    void badOptions_data();
    void badOptions();
    void help();
    void clockDecidesToday();

private:
    SitesProcess sites_{{QStringLiteral("--today"), QStringLiteral("2024-02-29"),
                         QStringLiteral("--version-line"), QStringLiteral("9.0 测试版")}};
    QString base_;
};

void SitesServerTest::initTestCase() {
    QVERIFY2(sites_.start(), qPrintable(sites_.errorString()));
    QVERIFY(sites_.port() != 0);
    base_ = sites_.origin() + QStringLiteral("/");
}

void SitesServerTest::homePageOffersSixDays() {
    const QString page = Module1::GetPageUtf8(base_);
    const QString table = cut(cut(page, u"四天后的删除域名查询", 1), u"</table", 0);
    QStringList dates;
    for (int k = 1; k <= 5; ++k)
        dates << QStringLiteral("2011") + cut(cut(table, u">2011", k), u"</a>", 0);
    QCOMPARE(dates,
             (QStringList{"2011-02-26", "2011-02-27", "2011-03-01", "2011-03-02", "2011-03-03"}));
    QCOMPARE(cut(cut(page, u"</a> &nbsp;&nbsp; ", 1), u" ", 0), QStringLiteral("2011-02-28"));
}

void SitesServerTest::summaryAndListsThroughFetcher() {
    const QString summary =
        Module1::GetPageGb2312(base_ + QStringLiteral("deleteddate.php?date=2011-03-02"));
    QCOMPARE(cut(cut(summary, u"noWrap><font color=red>", 1), u"<", 0),
             QStringLiteral("2011-03-02"));
    const QString cell = cut(cut(summary, u"length=5\">", 6), u"<", 0); // .cn, 5 characters
    bool ok = false;
    const int count = cell.toInt(&ok);
    QVERIFY2(ok && count > 100, qPrintable(cell));

    const QString prefix = base_ + QStringLiteral("deleteddomain.php?date=2011-03-02&t=cn&page=");
    const int lastPage = (count + 99) / 100;
    int total = 0;
    for (int page = 1; page <= lastPage + 1; ++page) {
        const QString text = Module1::GetPageUtf8(prefix + QString::number(page) +
                                                  QStringLiteral("&tld=.cn&length=5"));
        QVERIFY(!text.isEmpty());
        total += linkCount(text, base_);
    }
    QCOMPARE(total, count);
}

void SitesServerTest::linksFollowHostHeader_data() {
    QTest::addColumn<QByteArray>("hostLine");
    QTest::addColumn<QString>("base");
    QTest::newRow("other name") << QByteArray("Host: lists.example:99\r\n")
                                << "http://lists.example:99/";
    QTest::newRow("no port") << QByteArray("Host: 127.0.0.1\r\n") << "http://127.0.0.1/";
    QTest::newRow("markup") << QByteArray("Host: a<b>\r\n") << "http://a&lt;b&gt;/";
    QTest::newRow("missing") << QByteArray() << QString(); // the server names itself
}

void SitesServerTest::linksFollowHostHeader() {
    QFETCH(QByteArray, hostLine);
    QFETCH(QString, base);
    if (base.isEmpty())
        base = base_;
    const QByteArray answer = exchange(
        sites_.port(),
        "GET /deleteddomain.php?date=2011-03-01&t=inter&page=1&tld=.com&length=7 HTTP/1.0\r\n" +
            hostLine + "Connection: close\r\n\r\n");
    QVERIFY2(answer.startsWith("HTTP/1.1 200"), answer.left(200).constData());
    QCOMPARE(linkCount(QString::fromUtf8(answer), base), 100);
}

void SitesServerTest::contentTypes_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    const QByteArray html = "text/html; charset=utf-8";
    QTest::newRow("home") << "/" << 200 << html;
    QTest::newRow("summary") << "/deleteddate.php?date=2011-02-28" << 200 << html;
    QTest::newRow("list") << "/deleteddomain.php?date=2011-02-28&t=inter&page=1&tld=.net&length=6"
                          << 200 << html;
    QTest::newRow("whois") << "/whois.php?domain=abc.com" << 200 << html;
    QTest::newRow("lookup") << "/DomainDel/?wd=abc.com" << 200 << html;
    QTest::newRow("maker, slash") << "/lumo/" << 200 << html;
    QTest::newRow("maker") << "/lumo" << 200 << html;
    QTest::newRow("version") << "/lumo/rideve.txt" << 200
                             << QByteArray("text/plain; charset=gb2312");
    QTest::newRow("unknown") << "/robots.txt" << 404 << html;
    QTest::newRow("near miss") << "/lumo/rideve.txt/" << 404 << html;
}

void SitesServerTest::contentTypes() {
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    const Answer a = get(sites_.origin() + target);
    QCOMPARE(a.status, status);
    QCOMPARE(a.contentType, contentType);
    QVERIFY(!a.body.isEmpty());
}

void SitesServerTest::versionFile() {
    QCOMPARE(Module1::GetPageGb2312(sites_.origin() + QStringLiteral("/lumo/rideve.txt")),
             QStringLiteral("9.0 测试版\r\n"));
    QVERIFY(QString::fromUtf8(get(sites_.origin() + QStringLiteral("/lumo/")).body)
                .contains(u"9.0 测试版"));
}

void SitesServerTest::garbageQueries_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    const QString list =
        QStringLiteral("/deleteddomain.php?date=2011-02-28&t=inter&tld=.com&length=6&page=");
    QTest::newRow("date xyz") << "/deleteddate.php?date=xyz" << 200;
    QTest::newRow("date empty") << "/deleteddate.php?date=" << 200;
    QTest::newRow("page -1") << list + "-1" << 200;
    QTest::newRow("page 99999999999") << list + "99999999999" << 200;
    QTest::newRow("page 2^70") << list + "1180591620717411303424" << 200;
    QTest::newRow("length 9")
        << "/deleteddomain.php?date=2011-02-28&t=inter&page=1&tld=.com&length=9" << 200;
    QTest::newRow("tld .xyz")
        << "/deleteddomain.php?date=2011-02-28&t=inter&page=1&tld=.xyz&length=6" << 200;
    QTest::newRow("percent junk") << "/deleteddomain.php?date=%zz%&t=%00&page=%ff&tld=&length="
                                  << 200;
    QTest::newRow("wd 10 kB") << "/DomainDel/?wd=" + QString(10240, u'x') << 200;
    QTest::newRow("wd markup") << "/DomainDel/?wd=%3Cscript%3Ealert(1)%3C/script%3E" << 200;
    QTest::newRow("wd empty") << "/DomainDel/?wd=" << 200;
    QTest::newRow("whois markup") << "/whois.php?domain=%22%3E%3Cscript%3E" << 200;
    QTest::newRow("deep path") << "/a/b/c/d/e/f/g/h/i/j" << 404;
    QTest::newRow("dot dot") << "/lumo/../lumo/rideve.txt%00" << 404;
}

void SitesServerTest::garbageQueries() {
    QFETCH(QString, target);
    QFETCH(int, status);
    const Answer a = get(sites_.origin() + target);
    QCOMPARE(a.status, status);
    const QString page = QString::fromUtf8(a.body);
    QVERIFY(page.contains(u"</html>"));
    QVERIFY(!page.contains(u"<script>"));
    QVERIFY(!page.contains(u"whois.php?domain="));
    QVERIFY(!page.contains(u"deltd1\">"));
    QCOMPARE(get(base_).status, 200);
}

void SitesServerTest::garbageBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("not HTTP") << QByteArray("hello there\r\n\r\n");
    QTest::newRow("binary") << QByteArray("\x00\xff\x16\x03\x01\x02\x00\x01\x00\x01\xfc", 11);
    QTest::newRow("cut short") << QByteArray("GET /deleteddate.php?da");
    QTest::newRow("huge header") << "GET / HTTP/1.1\r\nX-Junk: " + QByteArray(200000, 'j') +
                                        "\r\n\r\n";
    QTest::newRow("bad length") << QByteArray(
        "POST / HTTP/1.1\r\nHost: x\r\nContent-Length: -5\r\n\r\nabc");
}

void SitesServerTest::garbageBytes() {
    QFETCH(QByteArray, bytes);
    exchange(sites_.port(), bytes); // any answer or none: only the aftermath counts
    const Answer a = get(base_);
    QCOMPARE(a.status, 200);
    QVERIFY(QString::fromUtf8(a.body).contains(u"四天后的删除域名查询"));
    QCOMPARE(sites_.process().state(), QProcess::Running);
}

void SitesServerTest::badOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port word") << QStringList{"--port", "x"};
    QTest::newRow("port too big") << QStringList{"--port", "65536"};
    QTest::newRow("port negative") << QStringList{"--port", "-1"};
    QTest::newRow("port missing value") << QStringList{"--port"};
    QTest::newRow("port in use") << QStringList{"--port", "{busy}"};
    QTest::newRow("unknown option") << QStringList{"--colour"};
    QTest::newRow("stray argument") << QStringList{"--port", "0", "serve"};
    QTest::newRow("bad today") << QStringList{"--port", "0", "--today", "2011-02-30"};
}

void SitesServerTest::badOptions() {
    QFETCH(QStringList, arguments);
    arguments.replaceInStrings(QStringLiteral("{busy}"), QString::number(sites_.port()));
    QProcess process;
    process.start(SitesProcess::program(), arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.startsWith(u"lumo-sites: ") && error.count(u'\n') == 1, qPrintable(error));
    QVERIFY(process.readAllStandardOutput().isEmpty());
}

void SitesServerTest::help() {
    QProcess process;
    process.start(SitesProcess::program(), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(process.readAllStandardOutput());
    for (const char* option : {"--port", "--version-line", "--today"})
        QVERIFY2(text.contains(QLatin1String(option)), option);
}

void SitesServerTest::clockDecidesToday() {
    const QDate before = QDate::currentDate();
    SitesProcess clock;
    QVERIFY2(clock.start(), qPrintable(clock.errorString()));
    const QString page = Module1::GetPageUtf8(clock.origin() + QStringLiteral("/"));
    const QString today = cut(cut(page, u"</a> &nbsp;&nbsp; ", 1), u" ", 0);
    const QDate after = QDate::currentDate(); // the day may turn meanwhile
    QVERIFY2(today == sites::formatDate(sites::siteToday(before)) ||
                 today == sites::formatDate(sites::siteToday(after)),
             qPrintable(today));
    QVERIFY(today.startsWith(u"2011-"));
}

QTEST_GUILESS_MAIN(SitesServerTest)
#include "tst_sites_server.moc"
