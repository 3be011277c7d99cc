// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites' options for benchmarks: a forced cell size and a fixed page.
#include "listing/daysummary.h"
#include "listing/domainlist.h"
#include "listing/urls.h"
#include "net/module1.h"
#include "sitescore/names.h"
#include "sitescore/pages.h"
#include "sitesprocess.h"

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

void SitesBenchOptions::overTheNetwork() {
    SitesProcess sites({QStringLiteral("--cell-size"), QStringLiteral("250"),
                        QStringLiteral("--static-page"), QStringLiteral("10240")});
    QVERIFY2(sites.start(), qPrintable(sites.errorString()));
    const QString body = Module1::GetPageUtf8(sites.origin() + QStringLiteral("/static.html"));
    QCOMPARE(body.size(), 10240);
    QVERIFY(body.startsWith(u"<!DOCTYPE html>") && body.endsWith(u"</html>\n"));
}

void SitesBenchOptions::badValues_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("cell size negative") << QStringList{"--cell-size", "-1"};
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
