// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitesprocess.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTest>

// A few thousand requests with random paths and query strings: every answer is a whole,
// well-formed page, and the server still answers properly afterwards.
class TestSitesGarbage : public QObject {
    Q_OBJECT
private slots:
    void randomRequests();
};

namespace {

QString randomText(QRandomGenerator& random, int maxLength) {
    static const QString alphabet =
        QStringLiteral("abcxyz0129-._~/%?&=#+;:@!$'()*, <>\"{}|\\^`中文\t") + QChar(0x7F);
    QString out;
    const int length = int(random.bounded(maxLength + 1));
    for (int i = 0; i < length; ++i)
        out += alphabet.at(int(random.bounded(alphabet.size())));
    return out;
}

QString randomTarget(QRandomGenerator& random) {
    static const QStringList paths = {"/",
                                      "/deleteddate.php",
                                      "/deleteddomain.php",
                                      "/whois.php",
                                      "/DomainDel/",
                                      "/lumo/rideve.txt",
                                      "/lumo/",
                                      "/lumo"};
    static const QStringList keys = {"date", "t", "page", "tld", "length", "domain", "wd"};
    const quint32 kind = random.bounded(4);
    if (kind == 0) // a path of its own
        return "/" + randomText(random, 60);
    QString target = paths.at(int(random.bounded(paths.size()))) + "?";
    const int pairs = int(random.bounded(6));
    for (int i = 0; i < pairs; ++i) {
        const QString key =
            kind == 1 ? randomText(random, 8) : keys.at(int(random.bounded(keys.size())));
        target += key + "=" + randomText(random, kind == 3 ? 3000 : 20) + "&";
    }
    return target;
}

} // namespace

void TestSitesGarbage::randomRequests() {
    SitesProcess sites;
    QVERIFY2(sites.start(), qPrintable(sites.errorString()));
    QNetworkAccessManager manager;
    QRandomGenerator random(20111206); // the same run every time
    int sent = 0;
    for (; sent < 3000; ++sent) {
        const QUrl url(sites.origin() + randomTarget(random), QUrl::TolerantMode);
        QNetworkReply* reply = manager.get(QNetworkRequest(url));
        QEventLoop wait;
        connect(reply, &QNetworkReply::finished, &wait, &QEventLoop::quit);
        wait.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        const QByteArray body = reply->readAll();
        const QString where = QString::number(sent) + " " + url.toString();
        QVERIFY2(status == 200 || status == 404 || status == 400, qPrintable(where));
        QVERIFY2(!body.isEmpty() && !type.isEmpty(), qPrintable(where));
        if (type.startsWith("text/html"))
            QVERIFY2(body.trimmed().endsWith("</html>"), qPrintable(where));
        reply->deleteLater();
    }
    QCOMPARE(sent, 3000);
    QCOMPARE(sites.process().state(), QProcess::Running);
    QNetworkReply* home = manager.get(QNetworkRequest(QUrl(sites.origin() + "/")));
    QEventLoop wait;
    connect(home, &QNetworkReply::finished, &wait, &QEventLoop::quit);
    wait.exec();
    QVERIFY(QString::fromUtf8(home->readAll()).contains(QStringLiteral("四天后的删除域名查询")));
    delete home;
}

QTEST_MAIN(TestSitesGarbage)
#include "tst_sites_garbage.moc"
