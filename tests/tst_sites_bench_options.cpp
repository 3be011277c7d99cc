// lumo-sites' options for benchmarks: a forced cell size and a fixed page.
#include "listing/daysummary.h"
#include "listing/domainlist.h"
#include "listing/urls.h"
#include "net/module1.h"
#include "sitescore/names.h"
#include "sitescore/pages.h"
#include "sitesprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTest>

namespace {

const QString Base = QStringLiteral("http://127.0.0.1:8613/");

QStringList namesOn(const QString& page, const QString& base) {
    return listing::namesOnPage(page, listing::linkMarker(base), 1000);
}

} // namespace

class SitesBenchOptions : public QObject {
    Q_OBJECT

private slots:
    void forcedCellSize_data();
    void forcedCellSize();
    void forcedSizeLeavesUnknownDaysAlone();
    void overTheNetwork();
    void badValues_data();
    void badValues();
};

void SitesBenchOptions::forcedCellSize_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("250 long .com") << 250 << 7 << ".com";
    QTest::newRow("past the day's room") << 9000 << 7 << ".com"; // room is 8192 a day
    QTest::newRow("short .com.cn") << 130 << 3 << ".com.cn";
    QTest::newRow("empty") << 0 << 5 << ".net";
}

void SitesBenchOptions::forcedCellSize() {
    QFETCH(int, size);
    QFETCH(int, length);
    QFETCH(QString, suffix);
    const QString date = QStringLiteral("2011-03-01");
    const listing::DaySummary summary = listing::parseDaySummary(sites::daySummaryPage(date, size));
    for (const auto& row : summary.counts)
        for (const auto& cell : row)
            QCOMPARE(cell.value_or(QStringLiteral("<missing>")), QString::number(size));

    const int index = sites::suffixIndexOf(suffix);
    QStringList all;
    const int pages = (size + 99) / 100;
    for (int page = 1; page <= pages + 1; ++page) {
        const QStringList names =
            namesOn(sites::listPage(Base, date, sites::suffixKind(index), QString::number(page),
                                    suffix, QString::number(length), size),
                    Base);
        QVERIFY(names.size() <= 100);
        all += names;
    }
    QCOMPARE(all.size(), size);
    QCOMPARE(QSet<QString>(all.begin(), all.end()).size(), size);
    for (const QString& name : all)
        QVERIFY2(name.size() == length + suffix.size() && name.endsWith(suffix), qPrintable(name));
    // The day's own names come first, unchanged.
    const int own = qMin(size, sites::nameCount(QDate(2011, 3, 1), index, length));
    for (int i = 0; i < own; ++i)
        QCOMPARE(all.at(i), sites::domainName(QDate(2011, 3, 1), index, length, i));
}

void SitesBenchOptions::forcedSizeLeavesUnknownDaysAlone() {
    const QString page = sites::daySummaryPage(QStringLiteral("2015-03-01"), 500);
    QVERIFY(!listing::parseDaySummary(page).count(3, 1).has_value());
    QVERIFY(namesOn(sites::listPage(Base, QStringLiteral("2015-03-01"), QStringLiteral("inter"),
                                    QStringLiteral("1"), QStringLiteral(".com"),
                                    QStringLiteral("7"), 500),
                    Base)
                .isEmpty());
}

void SitesBenchOptions::overTheNetwork() {
    SitesProcess sites({QStringLiteral("--today"), QStringLiteral("2024-03-05"),
                        QStringLiteral("--cell-size"), QStringLiteral("250"),
                        QStringLiteral("--static-page"), QStringLiteral("10240")});
    QVERIFY2(sites.start(), qPrintable(sites.errorString()));
    const QString base = sites.origin() + QStringLiteral("/");

    const listing::DaySummary summary = listing::parseDaySummary(
        Module1::GetPageUtf8(listing::daySummaryUrl(base, QStringLiteral("2011-03-05"))));
    QCOMPARE(summary.count(4, 6).value_or(QString()), QStringLiteral("250"));
    QCOMPARE(namesOn(Module1::GetPageUtf8(
                         listing::listPageUrl(base, QStringLiteral("2011-03-05"), 2, 6, 3)),
                     base)
                 .size(),
             50);

    QNetworkAccessManager nam;
    QByteArray first;
    for (int round = 0; round < 2; ++round) {
        QNetworkReply* reply = nam.get(QNetworkRequest(QUrl(base + "static.html")));
        QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, 10000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        QCOMPARE(body.size(), 10240);
        QVERIFY(body.startsWith("<!DOCTYPE html>") && body.endsWith("</html>\n"));
        if (round == 0)
            first = body;
        else
            QCOMPARE(body, first);
    }
}

void SitesBenchOptions::badValues_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("cell size negative") << QStringList{"--cell-size", "-1"};
    QTest::newRow("cell size too big") << QStringList{"--cell-size", "1000001"};
    QTest::newRow("cell size word") << QStringList{"--cell-size", "many"};
    QTest::newRow("static page empty") << QStringList{"--static-page", "0"};
    QTest::newRow("static page too big") << QStringList{"--static-page", "16777217"};
    QTest::newRow("static page word") << QStringList{"--static-page", "10k"};
}

void SitesBenchOptions::badValues() {
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(SitesProcess::program(), QStringList{"--port", "0"} + arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.startsWith(QStringLiteral("lumo-sites: ") + arguments.first()),
             qPrintable(error));
}

QTEST_GUILESS_MAIN(SitesBenchOptions)
#include "tst_sites_bench_options.moc"
