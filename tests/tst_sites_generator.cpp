// SPDX-License-Identifier: GPL-3.0-or-later
// The bundled sites' data and pages, read with the markers the program cuts with.
#include "listing/filter.h"
#include "scrape/split.h"
#include "sitescore/calendar.h"
#include "sitescore/names.h"
#include "sitescore/pages.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace sites;

namespace {

const QString Base = QStringLiteral("http://127.0.0.1:8613/");

QString cut(QStringView text, QStringView marker, qsizetype index) {
    const auto p = scrape::piece(text, marker, index);
    return p ? p->toString() : QStringLiteral("<missing>");
}

// Every name behind a link marker (not only the first 99 the program reads).
QStringList readList(const QString& page) {
    QStringList names;
    scrape::Pieces pieces(page,
                          QStringLiteral("href=") + Base + QStringLiteral("whois.php?domain="));
    pieces.next(); // the text before the first link
    while (const auto piece = pieces.next())
        names << cut(*piece, u">", 0);
    return names;
}

QString listOf(QDate day, int suffix, int length, qint64 page) {
    return listPage(Base, formatDate(day), suffixKind(suffix), QString::number(page),
                    suffixName(suffix), QString::number(length));
}

Reply get(const QString& path, const QString& query) {
    return respond({path, QUrlQuery(query), QStringLiteral("127.0.0.1:8613"),
                    QDateTime(QDate(2011, 3, 5), QTime(12, 0))});
}

} // namespace

class SitesGenerator : public QObject {
    Q_OBJECT

private slots:
    void listsMatchSummary_data();
    void listsMatchSummary();
    void mixLikeADropList_data();
    void mixLikeADropList();
    void shortCellsAcrossAllDays();
    void garbageGivesNoNames_data();
    void garbageGivesNoNames();
    void echoedTextEscaped_data();
    void echoedTextEscaped();
};

void SitesGenerator::listsMatchSummary_data() {
    QTest::addColumn<QDate>("day");
    QTest::addColumn<int>("suffix");
    QTest::addColumn<int>("length");
    QTest::newRow("first day, .com 3") << QDate(2010, 12, 1) << 1 << 3;
    QTest::newRow(".cn 5") << QDate(2011, 3, 5) << 6 << 5;
    QTest::newRow(".com 7") << QDate(2011, 8, 20) << 1 << 7;
    QTest::newRow("last day, .com.cn 4") << QDate(2012, 1, 5) << 7 << 4;
}

// The list pages of a cell hold exactly the summary's count, 100 a page, nothing past the
// last page, each name well formed and once only; the same request gives the same page.
void SitesGenerator::listsMatchSummary() {
    QFETCH(QDate, day);
    QFETCH(int, suffix);
    QFETCH(int, length);
    const QString summary = daySummaryPage(formatDate(day));
    QCOMPARE(daySummaryPage(formatDate(day)), summary);
    QCOMPARE(cut(cut(summary, u"noWrap><font color=red>", 1), u"<", 0), formatDate(day));
    bool ok = false;
    const int count =
        cut(cut(summary, QStringLiteral("length=%1\">").arg(length), suffix), u"<", 0).toInt(&ok);
    QVERIFY(ok);

    static const QRegularExpression label(QStringLiteral("^[a-z0-9]([a-z0-9-]*[a-z0-9])?$"));
    const QString tail = suffixName(suffix);
    QSet<QString> seen;
    const int pages = (count + NamesPerPage - 1) / NamesPerPage;
    for (int page = 1; page <= pages + 1; ++page) {
        const QString text = listOf(day, suffix, length, page);
        QCOMPARE(listOf(day, suffix, length, page), text);
        const QStringList names = readList(text);
        QCOMPARE(names.size(), qBound(0, count - (page - 1) * NamesPerPage, NamesPerPage));
        for (const QString& name : names) {
            QVERIFY2(name.endsWith(tail), qPrintable(name));
            QCOMPARE(name.size() - tail.size(), length);
            QVERIFY2(label.match(name.chopped(tail.size())).hasMatch(), qPrintable(name));
            QVERIFY2(!seen.contains(name), qPrintable(name));
            seen.insert(name);
        }
    }
    QCOMPARE(seen.size(), count);
}

void SitesGenerator::mixLikeADropList_data() {
    QTest::addColumn<int>("suffix");
    QTest::addColumn<double>("fewestDigits");
    QTest::addColumn<double>("mostDigits");
    QTest::addColumn<double>("fewestPinyin");
    QTest::addColumn<double>("mostPinyin");
    for (int suffix = 1; suffix <= SuffixCount; ++suffix) {
        const bool cn = suffix >= 6;
        QTest::addRow("%s", qPrintable(suffixName(suffix)))
            << suffix << (cn ? 0.2 : 0.08) << (cn ? 0.32 : 0.18) << (cn ? 0.22 : 0.07)
            << (cn ? 0.45 : 0.2);
    }
}

// A week's names of length 6, seen through the buyers' filters: digits and pinyin in
// their suffix's shares, and digits of two kinds at most (AABBAA, ABABAB, AAABBB ...) among them.
void SitesGenerator::mixLikeADropList() {
    QFETCH(int, suffix);
    QFETCH(double, fewestDigits);
    QFETCH(double, mostDigits);
    QFETCH(double, fewestPinyin);
    QFETCH(double, mostPinyin);
    auto filter = [](const listing::FilterSpec& spec) {
        return *listing::NameFilter::compile(spec);
    };
    const listing::NameFilter digits = filter({.digitsOnly = true});
    const listing::NameFilter pinyin = filter({.pinyinSyllables = 0});
    const listing::NameFilter shaped = filter({.regex = R"(^(\d)\1*(?:(\d)(?:\1|\2)*)?$)"});
    int count = 0, digitNames = 0, pinyinNames = 0, shapedNames = 0;
    for (QDate day(2011, 3, 1); day <= QDate(2011, 3, 7); day = day.addDays(1))
        for (int i = 0; i < nameCount(day, suffix, 6); ++i, ++count) {
            const QString name = domainName(day, suffix, 6, i);
            digitNames += digits.matches(name);
            pinyinNames += pinyin.matches(name);
            shapedNames += shaped.matches(name);
        }
    QVERIFY2(count >= 200, qPrintable(QString::number(count)));
    const double digitShare = double(digitNames) / count, pinyinShare = double(pinyinNames) / count;
    QVERIFY2(digitShare >= fewestDigits && digitShare <= mostDigits,
             qPrintable(QString::number(digitShare)));
    QVERIFY2(pinyinShare >= fewestPinyin && pinyinShare <= mostPinyin,
             qPrintable(QString::number(pinyinShare)));
    QVERIFY(shapedNames > 0 && shapedNames < digitNames);
}

// Short cells have the least room: over all the days, every name of each suffix is listed
// once only, and the lookup leads it back to its day.
void SitesGenerator::shortCellsAcrossAllDays() {
    for (int suffix = 1; suffix <= SuffixCount; ++suffix)
        for (int length : {3, 4}) {
            QSet<QString> seen;
            for (QDate day(2010, 12, 1); hasData(day); day = day.addDays(1))
                for (int i = 0; i < nameCount(day, suffix, length); ++i) {
                    const QString name = domainName(day, suffix, length, i);
                    QVERIFY2(!seen.contains(name), qPrintable(name));
                    seen.insert(name);
                    const std::optional<Listing> listing = findListing(name);
                    QVERIFY2(listing && listing->day == day && listing->index == i,
                             qPrintable(name));
                }
            QVERIFY2(seen.size() > 100, qPrintable(QString::number(seen.size())));
        }
}

void SitesGenerator::garbageGivesNoNames_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    const QString good = QStringLiteral("date=2011-03-05&t=inter&page=1&tld=.com&length=5");
    auto list = [&](const char* from, const char* to) {
        return QString(good).replace(QLatin1String(from), QLatin1String(to));
    };
    const QString names = QStringLiteral("/deleteddomain.php");
    QTest::newRow("good (control)") << names << good << -1;
    QTest::newRow("date word") << names << list("2011-03-05", "xyz") << 200;
    QTest::newRow("date without data") << names << list("2011-03-05", "1999-03-05") << 200;
    QTest::newRow("page 0") << names << list("page=1", "page=0") << 200;
    for (const char* page : {"999999999999999999999", "99999999999999999", "99999999999",
                             "9223372036854775807", "-1", "%2B1", "1e3"})
        QTest::newRow(page) << names
                            << QString(good).replace("page=1", "page=" + QLatin1String(page))
                            << 200;
    QTest::newRow("length 9") << names << list("length=5", "length=9") << 200;
    QTest::newRow("tld .xyz") << names << list(".com", ".xyz") << 200;
    QTest::newRow("kind mismatch") << names << list("t=inter", "t=cn") << 200;
    QTest::newRow("no query") << names << "" << 200;
    QTest::newRow("summary, 30 Feb") << "/deleteddate.php"
                                     << "date=2011-02-30" << 200;
    QTest::newRow("unknown path") << "/DeletedDate.php"
                                  << "date=2011-03-05" << 404;
}

void SitesGenerator::garbageGivesNoNames() {
    QFETCH(QString, path);
    QFETCH(QString, query);
    QFETCH(int, status);
    const Reply reply = get(path, query);
    const QString page = QString::fromUtf8(reply.body);
    QVERIFY(page.contains(u"</html>"));
    QCOMPARE(reply.contentType, QByteArray("text/html; charset=utf-8"));
    if (status < 0) { // the control row: the same reading sees names here
        QCOMPARE(readList(page).size(), NamesPerPage);
        return;
    }
    QCOMPARE(reply.status, status);
    QVERIFY(!page.contains(u"whois.php?domain="));
    QVERIFY(!page.contains(u"noWrap><font color=red>"));
}

void SitesGenerator::echoedTextEscaped_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("shown");
    const QString markup = QStringLiteral("%22%3E%3Cscript%3E%27%26");
    const QString escaped = QStringLiteral("&quot;&gt;&lt;script&gt;&#39;&amp;");
    QTest::newRow("summary date") << "/deleteddate.php"
                                  << "date=" + markup << escaped;
    QTest::newRow("list kind") << "/deleteddomain.php"
                               << "t=" + markup << escaped;
    QTest::newRow("lookup") << "/DomainDel/"
                            << "wd=" + markup << escaped;
    QTest::newRow("unknown path") << "/<script>"
                                  << ""
                                  << "/&lt;script&gt;";
    QTest::newRow("huge value cut short")
        << "/DomainDel/"
        << "wd=" + QString(10240, u'a') << QString(80, u'a') + QStringLiteral("…");
}

void SitesGenerator::echoedTextEscaped() {
    QFETCH(QString, path);
    QFETCH(QString, query);
    QFETCH(QString, shown);
    const QString page = QString::fromUtf8(get(path, query).body);
    QVERIFY2(page.contains(shown), qPrintable(page));
    QVERIFY(!page.contains(u"<script>"));
    QVERIFY(page.size() < 3000);
}

QTEST_GUILESS_MAIN(SitesGenerator)
#include "tst_sites_generator.moc"
