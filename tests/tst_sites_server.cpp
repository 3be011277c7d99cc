// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites as the program meets it: a child process on a loopback port.
#include "net/module1.h"
#include "scrape/split.h"
#include "sitesprocess.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

namespace {

QString cut(QStringView text, QStringView marker, qsizetype index) {
    const auto p = scrape::piece(text, marker, index);
    return p ? p->toString() : QStringLiteral("<missing>");
}

int linkCount(const QString& page, const QString& base) {
    return int(page.count(QStringLiteral("href=") + base + QStringLiteral("whois.php?domain=")));
}

// The status and the page, sent with `host` as the Host header when there is one.
std::pair<int, QString> get(const QString& url, const QByteArray& host = {}) {
    static QNetworkAccessManager nam;
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    if (!host.isEmpty())
        request.setRawHeader("Host", host);
    QNetworkReply* reply = nam.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            QString::fromUtf8(reply->readAll())};
}

} // namespace

class SitesServerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void summaryAndListsThroughFetcher();
    void garbageQueries_data();
    void garbageQueries();
    void badOptions_data();
    void badOptions();
    void help();

private:
    SitesProcess sites_{{QStringLiteral("--today"), QStringLiteral("2024-02-29")}};
    QString base_;
};

void SitesServerTest::initTestCase() {
    QVERIFY2(sites_.start(), qPrintable(sites_.errorString()));
    base_ = sites_.origin() + QStringLiteral("/");
}

// The summary read as GB2312, as four of the date buttons do; its count in list pages,
// read as UTF-8.
void SitesServerTest::summaryAndListsThroughFetcher() {
    const QString summary =
        Module1::GetPageGb2312(base_ + QStringLiteral("deleteddate.php?date=2011-03-02"));
    QCOMPARE(cut(cut(summary, u"noWrap><font color=red>", 1), u"<", 0),
             QStringLiteral("2011-03-02"));
    bool ok = false;
    const int count = cut(cut(summary, u"length=5\">", 6), u"<", 0).toInt(&ok); // .cn, 5
    QVERIFY(ok && count > 100);
    const QString list = base_ + "deleteddomain.php?date=2011-03-02&t=cn&tld=.cn&length=5&page=";
    int total = 0;
    for (int page = 1; page <= (count + 99) / 100 + 1; ++page)
        total += linkCount(Module1::GetPageUtf8(list + QString::number(page)), base_);
    QCOMPARE(total, count);
    // The links are built on the Host header as sent.
    QCOMPARE(linkCount(get(list + "1", "lists.example:99").second, "http://lists.example:99/"),
             100);
    QCOMPARE(linkCount(get(list + "1", "a<b>").second, "http://a&lt;b&gt;/"), 100);
}

void SitesServerTest::garbageQueries_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    const QString list = "deleteddomain.php?date=2011-02-28&t=inter&tld=.com&length=6&page=";
    QTest::newRow("date xyz") << "deleteddate.php?date=xyz" << 200;
    QTest::newRow("page -1") << list + "-1" << 200;
    QTest::newRow("page 2^70") << list + "1180591620717411303424" << 200;
    QTest::newRow("percent junk") << "deleteddomain.php?date=%zz%&t=%00&page=%ff" << 200;
    QTest::newRow("wd 10 kB") << "DomainDel/?wd=" + QString(10240, u'x') << 200;
    QTest::newRow("dot dot") << "lumo/../lumo/rideve.txt%00" << 404;
}

void SitesServerTest::garbageQueries() {
    QFETCH(QString, target);
    QFETCH(int, status);
    const auto [got, page] = get(base_ + target);
    QCOMPARE(got, status);
    QVERIFY(page.contains(u"</html>"));
    QVERIFY(!page.contains(u"whois.php?domain="));
    QCOMPARE(get(base_).first, 200);
}

void SitesServerTest::badOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port word") << QStringList{"--port", "x"};
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

QTEST_GUILESS_MAIN(SitesServerTest)
#include "tst_sites_server.moc"
