// The bundled sites' data and pages, read with the markers the program cuts with.
#include "net/module1.h"
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

// The date dates in the order the program fills them from the table (two days ago, one day
// ago, one day later, two, three), then today's slot.
QStringList readHome(const QString& page) {
    const QString table = cut(cut(page, u"四天后的删除域名查询", 1), u"</table", 0);
    QStringList dates;
    for (int k = 1; k <= 5; ++k)
        dates << QStringLiteral("2011") + cut(cut(table, u">2011", k), u"</a>", 0);
    dates << cut(cut(page, u"</a> &nbsp;&nbsp; ", 1), u" ", 0);
    return dates;
}

struct Summary {
    QString date;
    QString counts[MaxLength + 1][SuffixCount + 1]; // as printed
};

Summary readSummary(const QString& page) {
    Summary s;
    s.date = cut(cut(page, u"noWrap><font color=red>", 1), u"<", 0);
    for (int n = MinLength; n <= MaxLength; ++n) {
        const QString marker = QStringLiteral("length=%1\">").arg(n);
        for (int i = 1; i <= SuffixCount; ++i)
            s.counts[n][i] = cut(cut(page, marker, i), u"<", 0);
    }
    return s;
}

// Every name behind a link marker (not only the first 99 the program reads).
QStringList readList(const QString& page, const QString& base) {
    QStringList names;
    scrape::Pieces pieces(page,
                          QStringLiteral("href=") + base + QStringLiteral("whois.php?domain="));
    pieces.next(); // the text before the first link
    while (const auto piece = pieces.next())
        names << cut(*piece, u">", 0);
    return names;
}

QStringList readLookup(const QString& page) {
    QStringList fields;
    for (int i = 1; i <= 5; ++i) {
        const auto cell = scrape::piece(page, u"deltd1\">", i);
        if (!cell) {
            fields << QString();
            continue;
        }
        QString field = cut(*cell, u"</td", 0);
        for (const char16_t* noise : {u"<b>", u"</b>", u"(近似值)"})
            field = scrape::removeAll(field, QStringView(noise));
        fields << field;
    }
    const auto rest = scrape::piece(page, u">还剩：", 1);
    fields << (rest ? scrape::removeAll(cut(*rest, u"<", 0), u" ") : QString());
    return fields;
}

QString listOf(QDate day, int suffix, int length, qint64 page) {
    return listPage(Base, formatDate(day), suffixKind(suffix), QString::number(page),
                    suffixName(suffix), QString::number(length));
}

const QRegularExpression& labelShape() {
    static const QRegularExpression re(QStringLiteral("^[a-z0-9]([a-z0-9-]*[a-z0-9])?$"));
    return re;
}

bool hasListingMarkers(const QString& page) {
    return page.contains(u"whois.php?domain=") || page.contains(u"noWrap><font color=red>") ||
           page.contains(QRegularExpression(QStringLiteral("length=\\d\">")));
}

} // namespace

class SitesGenerator : public QObject {
    Q_OBJECT

private slots:
    void homePageDates_data();
    void homePageDates();
    void parseDateStrict_data();
    void parseDateStrict();
    void listsMatchSummary_data();
    void listsMatchSummary();
    void summaryReadsAlikeInBothEncodings();
    void countsArePlausible();
    void namesUniqueAcrossDays();
    void lookupOfListedNames();
    void lookupFindsAnyCase();
    void lookupOfUnlistedNames_data();
    void lookupOfUnlistedNames();
    void countdown_data();
    void countdown();
    void badRequests_data();
    void badRequests();
    void listLinksFollowHost();
    void versionFile_data();
    void versionFile();
    void benchmarkListPage();
    void benchmarkLookup();
};

void SitesGenerator::homePageDates_data() {
    QTest::addColumn<QDate>("real");
    QTest::addColumn<QStringList>("dates");
    QTest::newRow("spring") << QDate(2025, 3, 5)
                            << QStringList{"2011-03-03", "2011-03-04", "2011-03-06",
                                           "2011-03-07", "2011-03-08", "2011-03-05"};
    QTest::newRow("leap day") << QDate(2024, 2, 29)
                              << QStringList{"2011-02-26", "2011-02-27", "2011-03-01",
                                             "2011-03-02", "2011-03-03", "2011-02-28"};
    QTest::newRow("1 March") << QDate(2023, 3, 1)
                             << QStringList{"2011-02-27", "2011-02-28", "2011-03-02",
                                            "2011-03-03", "2011-03-04", "2011-03-01"};
    QTest::newRow("month end") << QDate(2030, 4, 30)
                               << QStringList{"2011-04-28", "2011-04-29", "2011-05-01",
                                              "2011-05-02", "2011-05-03", "2011-04-30"};
}

void SitesGenerator::homePageDates() {
    QFETCH(QDate, real);
    QFETCH(QStringList, dates);
    const QDate today = siteToday(real);
    QCOMPARE(readHome(homePage(today)), dates);
    // Every date the home page offers has a summary with counts.
    for (const QString& date : dates) {
        const Summary s = readSummary(daySummaryPage(date));
        QCOMPARE(s.date, date);
        QVERIFY2(!s.counts[7][1].isEmpty() && s.counts[7][1] != u"<missing>", qPrintable(date));
    }
}

void SitesGenerator::parseDateStrict_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected");
    QTest::newRow("plain") << "2011-03-05" << QDate(2011, 3, 5);
    QTest::newRow("leap year") << "2012-02-29" << QDate(2012, 2, 29);
    QTest::newRow("no such day") << "2011-02-29" << QDate();
    QTest::newRow("month 13") << "2011-13-01" << QDate();
    QTest::newRow("short") << "2011-3-5" << QDate();
    QTest::newRow("blank") << " 2011-03-05" << QDate();
    QTest::newRow("slashes") << "2011/03/05" << QDate();
    QTest::newRow("sign") << "2011-+3-05" << QDate();
    QTest::newRow("word") << "xyz" << QDate();
    QTest::newRow("empty") << "" << QDate();
}

void SitesGenerator::parseDateStrict() {
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    QCOMPARE(parseDate(text).value_or(QDate()), expected);
}

void SitesGenerator::listsMatchSummary_data() {
    QTest::addColumn<QDate>("day");
    const QDate today = siteToday(QDate(2025, 6, 14));
    for (const QDate& day : siteDays(today))
        QTest::newRow(qPrintable(formatDate(day))) << day;
    QTest::newRow("first day with data") << QDate(2010, 12, 1);
    QTest::newRow("last day with data") << QDate(2012, 1, 5);
}

// For every cell of the day: the list pages hold exactly the summary's count, 100 a page,
// nothing past the last page, each name well formed and once only.
void SitesGenerator::listsMatchSummary() {
    QFETCH(QDate, day);
    const QString summaryText = daySummaryPage(formatDate(day));
    const Summary summary = readSummary(summaryText);
    QCOMPARE(summary.date, formatDate(day));
    QCOMPARE(daySummaryPage(formatDate(day)), summaryText);

    for (int suffix = 1; suffix <= SuffixCount; ++suffix) {
        QSet<QString> seen; // per suffix, across the lengths
        for (int length = MinLength; length <= MaxLength; ++length) {
            bool ok = false;
            const int count = summary.counts[length][suffix].toInt(&ok);
            QVERIFY2(ok, qPrintable(summary.counts[length][suffix]));
            const int pages = (count + NamesPerPage - 1) / NamesPerPage;
            int listed = 0;
            for (int page = 1; page <= pages + 1; ++page) {
                const QString text = listOf(day, suffix, length, page);
                const QStringList names = readList(text, Base);
                const int expected = qBound(0, count - (page - 1) * NamesPerPage, NamesPerPage);
                QCOMPARE(names.size(), expected);
                if (page == 1)
                    QCOMPARE(listOf(day, suffix, length, page), text);
                for (const QString& name : names) {
                    QVERIFY2(name.endsWith(suffixName(suffix)), qPrintable(name));
                    const QString label = name.chopped(suffixName(suffix).size());
                    QCOMPARE(label.size(), length);
                    QVERIFY2(labelShape().match(label).hasMatch(), qPrintable(name));
                    QVERIFY2(!seen.contains(name), qPrintable(name));
                    seen.insert(name);
                    const auto where = findListing(name);
                    QVERIFY2(where, qPrintable(name));
                    QCOMPARE(where->day, day);
                    QCOMPARE(where->index, listed);
                    ++listed;
                }
            }
            QCOMPARE(listed, count);
        }
    }
}

// Four of the six date buttons read the summary as GB2312.
void SitesGenerator::summaryReadsAlikeInBothEncodings() {
    for (const QDate& day : siteDays(QDate(2011, 8, 20))) {
        const QByteArray bytes =
            respond({QStringLiteral("/deleteddate.php"),
                     QUrlQuery(QStringLiteral("date=") + formatDate(day)),
                     QStringLiteral("127.0.0.1:8613"), QDateTime::currentDateTime()})
                .body;
        const Summary utf8 = readSummary(Module1::BytesToText(bytes, QStringLiteral("UTF-8")));
        const Summary gb = readSummary(Module1::BytesToText(bytes, QStringLiteral("gb2312")));
        QCOMPARE(gb.date, formatDate(day));
        QCOMPARE(gb.date, utf8.date);
        for (int n = MinLength; n <= MaxLength; ++n)
            for (int i = 1; i <= SuffixCount; ++i) {
                QCOMPARE(gb.counts[n][i], utf8.counts[n][i]);
                QCOMPARE(utf8.counts[n][i], QString::number(nameCount(day, i, n)));
            }
    }
}

void SitesGenerator::countsArePlausible() {
    QSet<int> longComCounts;
    for (QDate day(2011, 1, 1); day.year() == 2011; day = day.addDays(9)) {
        for (int n = 5; n <= 7; ++n) {
            const int com = nameCount(day, 1, n);
            QVERIFY2(com >= 100 && com <= 5000, qPrintable(formatDate(day)));
            longComCounts.insert(com);
        }
        int shortNames = 0;
        for (int i = 1; i <= SuffixCount; ++i) {
            QVERIFY(nameCount(day, i, 3) <= nameCount(day, i, 5));
            shortNames += nameCount(day, i, 3);
        }
        QVERIFY2(shortNames <= 30, qPrintable(formatDate(day)));
    }
    QVERIFY(longComCounts.size() > 60); // the figures change from day to day
    QCOMPARE(nameCount(QDate(2010, 11, 30), 1, 7), 0);
    QCOMPARE(nameCount(QDate(2011, 5, 5), 8, 7), 0);
    QCOMPARE(nameCount(QDate(2011, 5, 5), 1, 8), 0);
}

void SitesGenerator::namesUniqueAcrossDays() {
    // The short cells are the crowded ones: every 3- and 4-character name of a whole year.
    for (int suffix = 1; suffix <= SuffixCount; ++suffix) {
        QSet<QString> seen;
        int total = 0;
        for (QDate day(2010, 12, 1); hasData(day); day = day.addDays(1))
            for (int length : {3, 4})
                for (int i = 0, n = nameCount(day, suffix, length); i < n; ++i, ++total)
                    seen.insert(domainName(day, suffix, length, i));
        QCOMPARE(seen.size(), total);
        QVERIFY(total > 300);
    }
}

void SitesGenerator::lookupOfListedNames() {
    const QDateTime now(QDate(2011, 3, 5), QTime(10, 30));
    for (const QDate& day : siteDays(now.date())) {
        for (int suffix = 1; suffix <= SuffixCount; ++suffix) {
            for (int length = MinLength; length <= MaxLength; ++length) {
                const int count = nameCount(day, suffix, length);
                for (int index : {0, count / 2, count - 1}) {
                    if (index < 0 || index >= count)
                        continue;
                    const QString name = domainName(day, suffix, length, index);
                    const QStringList f = readLookup(lookupPage(name, now));
                    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+年\\d+个月$"))
                                 .match(f[0])
                                 .hasMatch(),
                             qPrintable(f[0]));
                    QVERIFY(!f[1].isEmpty());
                    const QDate registered = parseDate(f[2]).value_or(QDate());
                    const QDate expires = parseDate(f[3]).value_or(QDate());
                    QCOMPARE(f[4], formatDate(day));
                    QVERIFY2(registered.isValid() && registered < expires && expires < day,
                             qPrintable(f.join(u'|')));
                    QCOMPARE(f[5], sites::countdown(now, day).remove(u' '));
                }
            }
        }
    }
}

void SitesGenerator::lookupFindsAnyCase() {
    const QDate day(2011, 7, 1);
    const QString name = domainName(day, 7, 6, 3);
    const QStringList f = readLookup(lookupPage(
        QStringLiteral("  ") + name.toUpper() + QStringLiteral(" "), QDateTime(day, QTime(1, 0))));
    QCOMPARE(f[4], formatDate(day));
}

void SitesGenerator::lookupOfUnlistedNames_data() {
    QTest::addColumn<QString>("name");
    const QString listed = domainName(QDate(2011, 3, 5), 1, 5, 0); // "abcde.com"
    QTest::newRow("empty") << "";
    QTest::newRow("blanks") << "   ";
    QTest::newRow("other suffix") << listed.chopped(4) + ".xyz";
    QTest::newRow("suffix alone") << ".com";
    QTest::newRow("too long") << "abcdefgh.com";
    QTest::newRow("too short") << "ab.com";
    QTest::newRow("leading hyphen") << "-bcde.com";
    QTest::newRow("trailing hyphen") << "abcd-.com";
    QTest::newRow("reserved hyphens") << "ab--c.com";
    QTest::newRow("dot inside") << "ab.de.com";
    QTest::newRow("valid, unlisted") << "zzzz.com";
    QTest::newRow("markup") << "<script>alert('x')</script>.com";
    QTest::newRow("huge") << QString(10240, u'a') + ".com";
    QTest::newRow("not a name") << "deltd1\">还剩：";
}

void SitesGenerator::lookupOfUnlistedNames() {
    QFETCH(QString, name);
    const QString page = lookupPage(name, QDateTime(QDate(2011, 3, 5), QTime(9, 0)));
    QVERIFY(!page.contains(u"deltd1\">"));
    QVERIFY(!page.contains(u">还剩："));
    QVERIFY(!page.contains(u"<script>"));
    QVERIFY(page.size() < 2000);
    QVERIFY(page.contains(u"</html>"));
}

void SitesGenerator::countdown_data() {
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("expected");
    QTest::newRow("three days on")
        << QDateTime(QDate(2011, 3, 5), QTime(10, 30)) << QDate(2011, 3, 8) << "2天 13小时";
    QTest::newRow("tomorrow") << QDateTime(QDate(2011, 3, 5), QTime(23, 59)) << QDate(2011, 3, 6)
                              << "0天 0小时";
    QTest::newRow("midnight") << QDateTime(QDate(2011, 3, 5), QTime(0, 0)) << QDate(2011, 3, 6)
                              << "1天 0小时";
    QTest::newRow("today") << QDateTime(QDate(2011, 3, 5), QTime(8, 0)) << QDate(2011, 3, 5)
                           << "0天 0小时";
    QTest::newRow("past") << QDateTime(QDate(2011, 3, 5), QTime(8, 0)) << QDate(2011, 3, 3)
                          << "0天 0小时";
    QTest::newRow("spring forward")
        << QDateTime(QDate(2011, 3, 26), QTime(12, 0)) << QDate(2011, 3, 29) << "2天 12小时";
}

void SitesGenerator::countdown() {
    QFETCH(QDateTime, now);
    QFETCH(QDate, day);
    QFETCH(QString, expected);
    QCOMPARE(sites::countdown(now, day), expected);
}

void SitesGenerator::badRequests_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    const QString good = QStringLiteral("date=2011-03-05&t=inter&page=1&tld=.com&length=5");
    auto list = [&](const QString& from, const QString& to) {
        return QString(good).replace(from, to);
    };
    QTest::newRow("list, good (control)") << "/deleteddomain.php" << good << -1;
    QTest::newRow("date word") << "/deleteddomain.php" << list("2011-03-05", "xyz") << 200;
    QTest::newRow("date gone") << "/deleteddomain.php" << list("2011-03-05", "1999-03-05") << 200;
    QTest::newRow("date markup") << "/deleteddomain.php" << list("2011-03-05", "%3Cscript%3E")
                                 << 200;
    QTest::newRow("page -1") << "/deleteddomain.php" << list("page=1", "page=-1") << 200;
    QTest::newRow("page 0") << "/deleteddomain.php" << list("page=1", "page=0") << 200;
    QTest::newRow("page huge") << "/deleteddomain.php" << list("page=1", "page=99999999999") << 200;
    QTest::newRow("page overflow")
        << "/deleteddomain.php" << list("page=1", "page=999999999999999999999999") << 200;
    QTest::newRow("page word") << "/deleteddomain.php" << list("page=1", "page=one") << 200;
    QTest::newRow("length 9") << "/deleteddomain.php" << list("length=5", "length=9") << 200;
    QTest::newRow("length 05") << "/deleteddomain.php" << list("length=5", "length=05") << 200;
    QTest::newRow("tld .xyz") << "/deleteddomain.php" << list(".com", ".xyz") << 200;
    QTest::newRow("kind mismatch") << "/deleteddomain.php" << list("t=inter", "t=cn") << 200;
    QTest::newRow("no query") << "/deleteddomain.php"
                              << "" << 200;
    QTest::newRow("summary, date word") << "/deleteddate.php"
                                        << "date=xyz" << 200;
    QTest::newRow("summary, no date") << "/deleteddate.php"
                                      << "" << 200;
    QTest::newRow("summary, 30 Feb") << "/deleteddate.php"
                                     << "date=2011-02-30" << 200;
    QTest::newRow("summary, markup") << "/deleteddate.php"
                                     << "date=%22%3E%3Cscript%3E" << 200;
    QTest::newRow("unknown path") << "/admin.php"
                                  << "" << 404;
    QTest::newRow("markup path") << "/<script>"
                                 << "" << 404;
    QTest::newRow("case differs") << "/DeletedDate.php"
                                  << "date=2011-03-05" << 404;
}

void SitesGenerator::badRequests() {
    QFETCH(QString, path);
    QFETCH(QString, query);
    QFETCH(int, status);
    const Reply reply = respond({path, QUrlQuery(query), QStringLiteral("127.0.0.1:8613"),
                                 QDateTime(QDate(2011, 3, 5), QTime(12, 0))});
    const QString page = QString::fromUtf8(reply.body);
    QVERIFY(page.contains(u"</html>"));
    QCOMPARE(reply.contentType, QByteArray("text/html; charset=utf-8"));
    if (status < 0) { // the control row: the same checks would see names here
        QCOMPARE(readList(page, Base).size(), NamesPerPage);
        return;
    }
    QCOMPARE(reply.status, status);
    QVERIFY(!hasListingMarkers(page));
    QVERIFY(!page.contains(u"<script>"));
}

void SitesGenerator::listLinksFollowHost() {
    const QString query = QStringLiteral("date=2011-03-05&t=cn&page=2&tld=.cn&length=6");
    for (const QString& host :
         {QStringLiteral("127.0.0.1:40001"), QStringLiteral("localhost:8613")}) {
        const QString page =
            QString::fromUtf8(respond({QStringLiteral("/deleteddomain.php"), QUrlQuery(query), host,
                                       QDateTime::currentDateTime()})
                                  .body);
        const QStringList names =
            readList(page, QStringLiteral("http://") + host + QStringLiteral("/"));
        QCOMPARE(names.size(), qBound(0, nameCount(QDate(2011, 3, 5), 6, 6) - 100, 100));
        QCOMPARE(names.first(), domainName(QDate(2011, 3, 5), 6, 6, 100));
    }
}

void SitesGenerator::versionFile_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("reference") << "8.8" << QByteArray("8.8\r\n");
    QTest::newRow("newer, in Chinese")
        << "9.0测试版" << QByteArray("9.0\xb2\xe2\xca\xd4\xb0\xe6\r\n");
    QTest::newRow("empty") << "" << QByteArray("\r\n");
}

void SitesGenerator::versionFile() {
    QFETCH(QString, line);
    QFETCH(QByteArray, bytes);
    const Reply reply = respond({QStringLiteral("/lumo/rideve.txt"), QUrlQuery(),
                                 QStringLiteral("h"), QDateTime::currentDateTime(), line});
    QCOMPARE(reply.body, bytes);
    QCOMPARE(reply.contentType, QByteArray("text/plain; charset=gb2312"));
}

void SitesGenerator::benchmarkListPage() {
    QString page;
    QBENCHMARK {
        page = listOf(QDate(2011, 3, 7), 1, 7, 12);
    }
    QCOMPARE(readList(page, Base).size(), NamesPerPage);
}

void SitesGenerator::benchmarkLookup() {
    const QString name = domainName(QDate(2011, 3, 7), 1, 7, 1234);
    QString page;
    QBENCHMARK {
        page = lookupPage(name, QDateTime(QDate(2011, 3, 5), QTime(12, 0)));
    }
    QCOMPARE(readLookup(page)[4], QStringLiteral("2011-03-07"));
}

QTEST_GUILESS_MAIN(SitesGenerator)
#include "tst_sites_generator.moc"
