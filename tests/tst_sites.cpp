// SPDX-License-Identifier: GPL-3.0-or-later
// The bundled sites: their data and pages read with the program's own markers, and lumo-sites
// as the program meets it, a child process on a loopback port.
#include "listing/daysummary.h"
#include "listing/domainlist.h"
#include "listing/filter.h"
#include "net/module1.h"
#include "sitescore/calendar.h"
#include "sitescore/generatednames.h"
#include "sitescore/names.h"
#include "settings/settingsfile.h"
#include "sitescore/pages.h"
#include "sitesprocess.h"
#include "store/store.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace sites;

namespace {

// Every name behind a link marker of the listing at `base`, not only the first 100.
QStringList namesOn(const QString& page, const QString& base = "http://127.0.0.1:8613/") {
    return listing::namesOnPage(page, "href=" + base + "whois.php?domain=", 1 << 20);
}

// The body of a GET sent with `host` as its Host header.
QByteArray getAs(const QString& url, const QByteArray& host) {
    QNetworkAccessManager nam;
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Host", host);
    std::unique_ptr<QNetworkReply> reply(nam.get(request));
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return reply->readAll();
}

// One cell holding the names given, as a store of odd lists would.
class OneCell : public NameSource {
public:
    explicit OneCell(QStringList names) : names_(std::move(names)) {}
    bool serves(const QString& suffix) const override { return suffix == u".cn"; }
    QMap<QString, QMap<int, qint64>> counts(QDate) const override { return {}; }
    qint64 count(QDate, const QString&, int) const override { return names_.size(); }
    QStringList names(QDate, const QString&, int, qint64 offset, int limit) const override {
        return names_.mid(offset, limit);
    }
    QList<ListedDay> findName(const QString&) const override { return {}; }
    QList<SourceRow> sourceRows() const override { return {}; }

private:
    QStringList names_;
};

} // namespace

// The real day the stored pages are asked on; the store holds 2026-12-07, 一天前.
const QDate StoreToday(2026, 12, 8);

class TestSites : public QObject {
    Q_OBJECT
    QTemporaryDir storeDir_;
    std::unique_ptr<sites::store::Store> store_;

private slots:
    // A store as fetched on 2026-12-07: 250 .cn names of 5 letters, 101 .com.cn of 4, 150 .se
    // of 4.
    void initTestCase() {
        QString error;
        store_ = sites::store::Store::open(storeDir_.path(), &error);
        QVERIFY2(store_, qPrintable(error));
        QList<sites::ListedName> cn, se;
        const QDate day(2026, 12, 7);
        for (int i = 1; i <= 250; ++i)
            cn.append({QStringLiteral("c%1.cn").arg(i, 4, 10, QChar(u'0')), ".cn", 5, day});
        for (int i = 1; i <= 101; ++i)
            cn.append({QStringLiteral("k%1.com.cn").arg(i, 3, 10, QChar(u'0')), ".com.cn", 4, day});
        for (int i = 1; i <= 150; ++i)
            se.append({QStringLiteral("s%1.se").arg(i, 3, 10, QChar(u'0')), ".se", 4, day});
        const QDateTime now(day, QTime(6, 0), Qt::UTC);
        QVERIFY(store_->replaceDays("cnnic", cn, day, now, &error));
        QVERIFY(store_->replaceDays("se", se, day, now, &error));
    }

    void listsMatchSummary_data() {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<int>("suffix");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("cellSize"); // -1: the day's own
        QTest::addColumn<bool>("stored");  // the store's names, asked on StoreToday
        QTest::newRow("first day, .com 3") << QDate(2010, 12, 1) << 1 << 3 << -1 << false;
        QTest::newRow(".cn 5") << QDate(2011, 3, 5) << 6 << 5 << -1 << false;
        QTest::newRow("last day, .com.cn 4") << QDate(2012, 1, 5) << 7 << 4 << -1 << false;
        QTest::newRow("forced 250") << QDate(2011, 3, 1) << 1 << 7 << 250 << false;
        QTest::newRow("forced past the day's room") << QDate(2011, 3, 1) << 1 << 7 << 9000 << false;
        QTest::newRow("stored .cn 5, the window's date") << QDate(2011, 12, 7) << 6 << 5 << -1 << true;
        QTest::newRow("stored .com.cn 4, a real date") << QDate(2026, 12, 7) << 7 << 4 << -1 << true;
    }
    // The list pages of a cell hold exactly the summary's count, 100 a page, nothing past the
    // last page, each name well formed and once only.
    void listsMatchSummary() {
        QFETCH(QDate, day);
        QFETCH(int, suffix);
        QFETCH(int, length);
        QFETCH(int, cellSize);
        QFETCH(bool, stored);
        const GeneratedNames generated(StoreToday, cellSize);
        const NameSource& source = stored ? *store_ : static_cast<const NameSource&>(generated);
        const QString date = formatDate(day), tail = suffixName(suffix);
        const auto summary =
            listing::parseDaySummary(daySummaryPage(date, source, StoreToday));
        QCOMPARE(summary.printedDate.value_or(""), date);
        const int count = summary.count(length, suffix).value_or("").toInt();
        QVERIFY(count > 0 && (cellSize < 0 || count == cellSize));
        static const QRegularExpression label("^[a-z0-9]([a-z0-9-]*[a-z0-9])?$");
        QSet<QString> seen;
        for (int page = 1; page <= (count + 99) / 100 + 1; ++page) {
            const QStringList names =
                namesOn(listPage("http://127.0.0.1:8613/", date, suffixKind(suffix),
                                 QString::number(page), tail, QString::number(length), source,
                                 StoreToday));
            QCOMPARE(names.size(), qBound(0, count - (page - 1) * 100, 100));
            for (const QString& name : names) {
                QVERIFY2(name.endsWith(tail) && name.size() - tail.size() == length &&
                             label.match(name.chopped(tail.size())).hasMatch() &&
                             !seen.contains(name),
                         qPrintable(name));
                seen.insert(name);
            }
        }
    }

    void unknownIsNotZero_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("cell");   // the day summary's .cn cell
        QTest::addColumn<QJsonValue>("json"); // counts.json's .cn
        QTest::addColumn<QString>("list");    // in the list page
        QTest::newRow("never fetched") << "2026-12-09" << 5 << "-" << QJsonValue()
                                       << "<p class=\"nodata\">这一天还没有数据</p>";
        QTest::newRow("fetched, none of that length")
            << "2026-12-07" << 4 << "0" << QJsonValue(QJsonObject{{"5", 250}}) << "共 0 个";
        QTest::newRow("fetched") << "2026-12-07" << 5 << "250" << QJsonValue(QJsonObject{{"5", 250}})
                                 << "共 250 个";
    }
    // A day no fetch covers is "no data", never a count of 0.
    void unknownIsNotZero() {
        QFETCH(QString, date);
        QFETCH(int, length);
        QFETCH(QString, cell);
        QFETCH(QJsonValue, json);
        QFETCH(QString, list);
        const QString summary = daySummaryPage(date, *store_, StoreToday);
        QCOMPARE(listing::parseDaySummary(summary).count(length, 6).value_or("?"), cell);
        QVERIFY(summary.contains(json.isNull() ? "<th class=\"nodata\" title=\"这一天还没有数据\">.cn</th>"
                                               : "<th class=\"exact\">.cn</th>"));
        QVERIFY(summary.contains("<div id=\"lumo-day\" data-day=\"" + date + "\" data-generated=\"0\">"));
        const QJsonObject counts =
            QJsonDocument::fromJson(*countsJson(date, *store_, StoreToday)).object();
        QCOMPARE(counts["counts"][".cn"], json);
        QCOMPARE(counts["nodata"].toArray().contains(".cn"), json.isNull());
        QVERIFY(counts["counts"][".com"].isNull() && !counts["nodata"].toArray().contains(".com"));
        const QString page = listPage("http://127.0.0.1:8613/", date, "cn", "1", ".cn",
                                      QString::number(length), *store_, StoreToday);
        QVERIFY2(page.contains(list), qPrintable(page));
    }

    // Generated names while the store holds nothing, marked on every page, and the store's own
    // as soon as anything is stored, by any connection to it.
    void generatedUntilStored() {
        QTemporaryDir dir;
        QString error;
        const auto empty = sites::store::Store::open(dir.path(), &error);
        QVERIFY2(empty, qPrintable(error));
        empty->declare({{"se", "se", "https://example.org/se.json"}});
        const QDateTime now(StoreToday, QTime(9, 0));
        auto get = [&](const QString& target, const NameSource* source) {
            const QUrl url("http://127.0.0.1:8613" + target);
            return QString::fromUtf8(
                respond({url.path(), Query(url.query(QUrl::FullyEncoded)), "127.0.0.1:8613", now, "8.8", -1, source}).body);
        };
        const QString cell = "/deleteddomain.php?date=2011-12-08&t=inter&page=1&tld=.com&length=5";
        const QString marked = "<p class=\"generated\">演示数据：这些域名是生成的，不是注册局的删除列表。</p>";
        for (const NameSource* source : {static_cast<const NameSource*>(nullptr),
                                         static_cast<const NameSource*>(empty.get())}) {
            const QString summary = get("/deleteddate.php?date=2011-12-08", source);
            QVERIFY(summary.contains("<th class=\"generated\">.com</th>") &&
                    summary.contains("data-day=\"2026-12-08\" data-generated=\"1\"") &&
                    summary.contains(marked));
            const QString page = get(cell, source);
            QVERIFY(page.indexOf(marked) < page.indexOf("<ol ") && namesOn(page).size() == 100);
            QVERIFY(get("/lumo/", source).contains(marked));
            QCOMPARE(QJsonDocument::fromJson(get("/lumo/counts.json?date=2026-12-08", source).toUtf8())["generated"],
                     QJsonValue(true));
            const QJsonArray rows = QJsonDocument::fromJson(get("/lumo/sources.json", source).toUtf8()).array();
            QCOMPARE(rows.size(), source ? 2 : 1); // the real rows kept
            QVERIFY(rows[0]["source"] == "generated" && rows[0]["generated"] == true);
            QVERIFY(!source || (rows[1]["source"] == "se" && rows[1]["generated"] == false));
            QCOMPARE(get("/lumo/stored.json", source), "[]");
        }
        // Another connection stores a list: the first one's pages switch to the store.
        const auto other = sites::store::Store::open(dir.path(), &error);
        QVERIFY(other->replaceDays("se", {{"abcd.se", ".se", 4, StoreToday}}, StoreToday,
                                   now.toUTC(), &error));
        QVERIFY(empty->holdsAnything());
        QVERIFY(get("/deleteddate.php?date=2011-12-08", empty.get())
                    .contains("data-generated=\"0\"></div>\n<p><a"));
        QCOMPARE(namesOn(get(cell, empty.get())).size(), 0);
        QCOMPARE(QJsonDocument::fromJson(get("/lumo/sources.json", empty.get()).toUtf8()).array().size(), 1);
    }

    // Short cells have the least room: over all the days, every name of each suffix is listed
    // once only, and the lookup leads it back to its day.
    void shortCellsAcrossAllDays() {
        for (int suffix = 1; suffix <= SuffixCount; ++suffix)
            for (int length : {3, 4}) {
                QSet<QString> seen;
                for (QDate day(2010, 12, 1); hasData(day); day = day.addDays(1))
                    for (int i = 0; i < nameCount(day, suffix, length); ++i) {
                        const QString name = domainName(day, suffix, length, i);
                        const std::optional<Listing> listing = findListing(name);
                        QVERIFY2(!seen.contains(name) && listing && listing->day == day &&
                                     listing->index == i,
                                 qPrintable(name));
                        seen.insert(name);
                    }
                QVERIFY(seen.size() > 100);
            }
    }

    // A week's 6-letter names of each suffix, seen through the buyers' filters: digits and
    // pinyin in their suffix's shares (more of both for .cn and .com.cn), some digits of two kinds
    // only.
    void mixLikeADropList() {
        const auto filter = [](const listing::FilterSpec& criteria) {
            return *listing::NameFilter::compile(criteria);
        };
        const listing::NameFilter digits = filter({.digitsOnly = true});
        const listing::NameFilter pinyin = filter({.pinyinSyllables = 0});
        const listing::NameFilter shaped = filter({.regex = R"(^(\d)\1*(?:(\d)(?:\1|\2)*)?$)"});
        for (int suffix = 1; suffix <= SuffixCount; ++suffix) {
            double count = 0, digitNames = 0, pinyinNames = 0, shapedNames = 0;
            for (QDate day(2011, 3, 1); day <= QDate(2011, 3, 7); day = day.addDays(1))
                for (int i = 0; i < nameCount(day, suffix, 6); ++i, ++count) {
                    const QString name = domainName(day, suffix, 6, i);
                    digitNames += digits.matches(name);
                    pinyinNames += pinyin.matches(name);
                    shapedNames += shaped.matches(name);
                }
            const bool cn = suffix >= 6;
            const QString shares = QStringLiteral("%1: %2 digits, %3 pinyin of %4")
                                       .arg(suffixName(suffix))
                                       .arg(digitNames)
                                       .arg(pinyinNames)
                                       .arg(count);
            QVERIFY2(digitNames / count >= (cn ? 0.2 : 0.08) &&
                         digitNames / count <= (cn ? 0.32 : 0.18) &&
                         pinyinNames / count >= (cn ? 0.22 : 0.07) &&
                         pinyinNames / count <= (cn ? 0.45 : 0.2) && shapedNames > 0,
                     qPrintable(shares));
        }
    }

    void oddRequests_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown"); // part of the page; with "" the page lists 100 names
        QTest::addColumn<bool>("stored");   // asked of the store on StoreToday
        const QString good = "/deleteddomain.php?date=2011-03-05&t=inter&page=1&tld=.com&length=5";
        QTest::newRow("good") << good << 200 << "" << false;
        const QString cn = "/deleteddomain.php?date=2026-12-07&t=cn&page=1&tld=.cn&length=5";
        QTest::newRow("stored") << cn << 200 << "" << true;
        QTest::newRow("stored, no list for .com")
            << QString(cn).replace("t=cn", "t=inter").replace(".cn", ".com") << 200 << "后缀 .com"
            << true;
        QTest::newRow("stored, length 64") << QString(cn).replace("length=5", "length=64") << 200
                                           << "长度 64" << true;
        QTest::newRow("stored, kind mismatch") << QString(cn).replace("t=cn", "t=inter") << 200
                                               << "类别 inter" << true;
        QTest::newRow("stored .se under either kind")
            << QString(cn).replace(".cn", ".se").replace("length=5", "length=4") << 200 << ""
            << true;
        QTest::newRow("stored, no day") << QString(cn).replace("2026-12-07", "2026-13-07") << 200
                                        << "2026-13-07" << true;
        QTest::newRow("stored summary, no list for .com")
            << "/deleteddate.php?date=2011-12-07" << 200 << "length=3\">-</span>" << true;
        QTest::newRow("stored lookup") << "/DomainDel/?wd=C0002.cn" << 200
                                       << "<td class=\"deltd1\">2026-12-07</td>" << true;
        QTest::newRow("stored whois, not listed") << "/whois.php?domain=c0002.com" << 200
                                                  << "c0002.com 不在删除列表中" << true;
        for (const char* page :
             {"0", "99999999999999999", "999999999999999999", "9223372036854775807", "-1"})
            QTest::newRow(page) << QString(good).replace("page=1", QLatin1String("page=") + page)
                                << 200 << "</html>" << false;
        QTest::newRow("no data") << QString(good).replace("2011", "1999") << 200 << "1999-03-05" << false;
        QTest::newRow("kind mismatch") << QString(good).replace("inter", "cn") << 200 << "类别 cn" << false;
        QTest::newRow("30 Feb") << "/deleteddate.php?date=2011-02-30" << 200 << "没有 2011-02-30" << false;
        QTest::newRow("markup") << "/DomainDel/?wd=%22%3E%3Cscript%3E%27%26" << 200
                                << "&quot;&gt;&lt;script&gt;&#39;&amp;" << false;
        QTest::newRow("huge value")
            << "/whois.php?domain=" + QString(10240, u'a') << 200 << QString(80, u'a') + "…" << false;
        QTest::newRow("unknown path") << "/<script>" << 404 << "/&lt;script&gt;" << false;
    }
    // Anything asked of the sites gives a whole page, and names only where a cell has them.
    void oddRequests() {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QString, shown);
        QFETCH(bool, stored);
        const QUrl url("http://127.0.0.1:8613" + target);
        Request request{url.path(), Query(url.query(QUrl::FullyEncoded)), "127.0.0.1:8613",
                        QDateTime(QDate(2011, 3, 5), {})};
        if (stored) {
            request.now = QDateTime(StoreToday, QTime(9, 0));
            request.source = store_.get();
        }
        const Reply reply = respond(request);
        const QString page = QString::fromUtf8(reply.body);
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.contentType, QByteArray("text/html; charset=utf-8"));
        QVERIFY2(page.contains(shown) && page.endsWith(u"</html>\n") && !page.contains(u"<script>"),
                 qPrintable(page));
        QCOMPARE(namesOn(page).size(), shown.isEmpty() ? 100 : 0);
    }

    void namesAsWritten_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line"); // as the page holds it
        QTest::newRow("plain") << "abc.cn" << "abc.cn>abc.cn</a>";
        QTest::newRow("Unicode") << "中文网.cn" << "中文网.cn>中文网.cn</a>";
        QTest::newRow("markup") << "a<b>&\"'.cn" << "a&lt;b&gt;&amp;&quot;&#39;.cn>a&lt;b&gt;&amp;&quot;&#39;.cn</a>";
        QTest::newRow("Unicode and markup") << "é&.cn" << "é&amp;.cn>é&amp;.cn</a>";
    }
    // A list page writes each name as its link and its caption, escaped, whatever it holds,
    // among plain names before and after it.
    void namesAsWritten() {
        QFETCH(QString, name);
        QFETCH(QString, line);
        const OneCell cell({"aaa.cn", name, "zzz.cn"});
        const QByteArray page = listPageUtf8("http://127.0.0.1:8613/", "2026-12-07", "cn", "1",
                                             ".cn", "3", cell, StoreToday);
        const QString text = QString::fromUtf8(page);
        QVERIFY2(text.contains("<li><a href=http://127.0.0.1:8613/whois.php?domain=aaa.cn>aaa.cn</a></li>\n"
                               "<li><a href=http://127.0.0.1:8613/whois.php?domain=" + line +
                               "</li>\n<li><a href=http://127.0.0.1:8613/whois.php?domain=zzz.cn>"),
                 qPrintable(text));
        QCOMPARE(text.toUtf8(), page); // valid UTF-8 throughout
    }

    void overTheNetwork() {
        SitesProcess sites({"--static-page", "10240"});
        QVERIFY2(sites.start(), qPrintable(sites.errorString()));
        QCOMPARE(Module1::GetPageUtf8(sites.origin() + "/static.html").size(), 10240);
        // The list links are built on the Host header as sent.
        const QString list =
            sites.origin() + "/deleteddomain.php?date=2011-03-02&t=cn&tld=.cn&length=5&page=1";
        QCOMPARE(namesOn(getAs(list, "lists.example:99"), "http://lists.example:99/").size(), 100);
        QCOMPARE(namesOn(getAs(list, "a<b>"), "http://a&lt;b&gt;/").size(), 100);
        // Random paths and queries, the same every run: a page every time, and the server goes on.
        QRandomGenerator random(20111206);
        const QString alphabet = QStringLiteral("ab09-._~/%?&=#+;:@!$'()*, <>\"{}|\\^`中\t\x7F");
        const auto text = [&](int most) {
            QString out;
            for (int i = int(random.bounded(most + 1)); i > 0; --i)
                out += alphabet.at(int(random.bounded(alphabet.size())));
            return out;
        };
        const QStringList paths = {"/deleteddate.php?date=",
                                   "/deleteddomain.php?page=",
                                   "/whois.php?domain=",
                                   "/DomainDel/?wd=",
                                   "/lumo/?",
                                   "/"};
        for (int sent = 0; sent < 1000; ++sent) {
            const QString target =
                paths.at(int(random.bounded(6))) + text(random.bounded(8) ? 20 : 3000);
            QVERIFY2(!Module1::GetPageUtf8(sites.origin() + target).isEmpty(), qPrintable(target));
        }
        QVERIFY(Module1::GetPageUtf8(sites.origin() + "/").contains("四天后的删除域名查询"));
    }

    void options_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("port word") << QStringList{"--port", "x"} << 2;
        QTest::newRow("bad today") << QStringList{"--port", "0", "--today", "2011-02-30"} << 2;
        QTest::newRow("cell size -1") << QStringList{"--port", "0", "--cell-size", "-1"} << 2;
        QTest::newRow("idle exit 0") << QStringList{"--port", "0", "--idle-exit", "0"} << 2;
        QTest::newRow("idle exit nan") << QStringList{"--port", "0", "--idle-exit", "nan"} << 2;
        QTest::newRow("refresh of no lists") << QStringList{"--refresh", "--demo"} << 2;
    }
    // Bad use: one line on standard error, exit status 2, nothing served.
    void options() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QProcess process;
        process.start(SitesProcess::program(), arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), exitCode);
        const QString out = process.readAllStandardOutput(), error = process.readAllStandardError();
        if (exitCode == 0)
            QVERIFY2(out.contains("--port") && out.contains("--today"), qPrintable(out));
        else
            QVERIFY2(out.isEmpty() && error.startsWith("lumo-sites: ") && error.count(u'\n') == 1,
                     qPrintable(error));
    }

    // lumo-sites' INI file: what it reads, and for a wrong value one line naming the file, the
    // line and the key, never the value, and the built-in value. The section names the getter:
    // [t] text, [n] a number 0 to 100 (7 built in), [w] a web address and [s] one a secret may
    // go to (https://built.in/ built in), [l] a list of letters (a,b built in).
    void settingsFile_data() {
        QTest::addColumn<QByteArray>("ini"); // null: no file; "<dir>": a directory there
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("said"); // the line said, after "PATH"; empty: none
        const QString web = "https://built.in/";
        QTest::newRow("comments and spaces") << QByteArray("[t]\n  k =  v  \n# k=1\n ; k=2\n") << "t/k" << "v" << "";
        QTest::newRow("a ; outside quotes ends the value")
            << QByteArray("[t]\nk = \"a;b\" ; note\n") << "t/k" << "a;b" << "";
        QTest::newRow("the last of a key repeated") << QByteArray("[t]\nk=1\nk=2\n") << "t/k" << "2" << "";
        QTest::newRow("another section's key") << QByteArray("[u]\nk=1\n") << "t/k" << "" << "";
        QTest::newRow("no file") << QByteArray() << "n/k" << "7" << "";
        QTest::newRow("a directory for a file") << QByteArray("<dir>") << "n/k" << "7"
                                                << "cannot read PATH; using the built-in settings";
        QTest::newRow("a number") << QByteArray("[n]\nk=42\n") << "n/k" << "42" << "";
        QTest::newRow("an empty number") << QByteArray("[n]\nk=\n") << "n/k" << "7" << "";
        QTest::newRow("a number out of range") << QByteArray("[n]\n\nk=101\n") << "n/k" << "7"
                                               << "PATH:3: [n] k wants units from 0 to 100; using 7";
        QTest::newRow("not a number") << QByteArray("[n]\nk=ten\n") << "n/k" << "7"
                                      << "PATH:2: [n] k wants units from 0 to 100; using 7";
        QTest::newRow("a web address") << QByteArray("[w]\nk=http://mirror.example/x\n") << "w/k"
                                       << "http://mirror.example/x" << "";
        QTest::newRow("not a web address") << QByteArray("[w]\nk=file:///etc/passwd\n") << "w/k" << web
                                           << "PATH:2: [w] k wants an http or https address; using " + web;
        QTest::newRow("a secret to this machine") << QByteArray("[s]\nk=http://127.0.0.1:9/a\n") << "s/k"
                                                  << "http://127.0.0.1:9/a" << "";
        QTest::newRow("a secret over plain http")
            << QByteArray("[s]\nk=http://s3cret@x.example/a?key=s3cret\n") << "s/k" << web
            << "PATH:2: [s] k wants an https address (plain http only to this machine); using " + web;
        QTest::newRow("a list") << QByteArray("[l]\nk= A, b ,,C\n") << "l/k" << "a,b,c" << "";
        QTest::newRow("a list with a wrong item") << QByteArray("[l]\nk=a,b1\n") << "l/k" << "a,b"
                                                  << "PATH:2: [l] k wants letters; using a,b";
    }
    void settingsFile() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath("lumo-sites.conf");
        if (ini == "<dir>") {
            QVERIFY(QDir().mkpath(path));
        } else if (!ini.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size());
        }
        const settings::SettingsFile file(path);
        const QByteArray section = key.section(u'/', 0, 0).toLatin1();
        const char* s = section.constData();
        const QUrl builtIn("https://built.in/");
        const auto letters = [](const QString& item) {
            return !item.isEmpty() && std::all_of(item.begin(), item.end(), [](QChar c) { return c.isLetter(); });
        };
        const QString got = section == "n"   ? QString::number(file.number(s, "k", 0, 100, 7, "units"))
                            : section == "w" ? file.webAddress(s, "k", builtIn).toString()
                            : section == "s" ? file.secretAddress(s, "k", builtIn).toString()
                            : section == "l" ? file.list(s, "k", letters, {"a", "b"}, "letters").join(u',')
                                             : file.text(s, "k");
        QCOMPARE(got, value);
        QCOMPARE(file.warnings(), said.isEmpty() ? QStringList() : QStringList{QString(said).replace("PATH", path)});
        QVERIFY(!file.warnings().join(u' ').contains("s3cret"));
    }

    // A wrong setting is said and the built-in value used: the sites still come up.
    void wrongSettingKeepsServing() {
        QTemporaryDir dir;
        const QString config = SitesProcess::offlineConfig(dir.path(), "lumo-sites.conf",
                                                           "[rdap]\ninterval=ten\n");
        QVERIFY(!config.isEmpty());
        SitesProcess sites({"--data-dir", dir.filePath("data"), "--config", config});
        QVERIFY2(sites.start(), qPrintable(sites.errorString()));
        QString said;
        QTRY_VERIFY_WITH_TIMEOUT((said += sites.process().readAllStandardError()).contains("[rdap]"), 10000);
        QVERIFY2(said.contains(config + ":13: [rdap] interval wants milliseconds from 0 to "
                                                "600000; using 1000\n"), qPrintable(said));
    }

    // The longer cells, over every day and suffix: a spread of each cell's names, short and
    // long pinyin among them, each once only and leading back to its own day and place.
    void namesLeadBack_data() {
        QTest::addColumn<int>("length");
        for (int length = 5; length <= MaxLength; ++length)
            QTest::addRow("length %d", length) << length;
    }
    void namesLeadBack() {
        QFETCH(int, length);
        const auto threeSyllables = *listing::NameFilter::compile({.pinyinSyllables = 3});
        QHash<QString, QString> seen;
        int pinyin = 0;
        for (int suffix = 1; suffix <= SuffixCount; ++suffix)
            for (QDate day(2010, 12, 1); hasData(day); day = day.addDays(1)) {
                const int count = nameCount(day, suffix, length);
                for (int i = 0; i < count; i += 1 + count / 40) {
                    const QString name = domainName(day, suffix, length, i);
                    const QString place = QStringLiteral("%1 #%2").arg(formatDate(day)).arg(i);
                    const std::optional<Listing> listing = findListing(name);
                    QVERIFY2(!seen.contains(name),
                             qPrintable(name + ": " + seen.value(name) + " and " + place));
                    QVERIFY2(listing && listing->day == day && listing->suffixIndex == suffix &&
                                 listing->length == length && listing->index == i,
                             qPrintable(name + " of " + place));
                    seen.insert(name, place);
                    pinyin += threeSyllables.matches(name);
                }
            }
        QVERIFY2(pinyin > 100, qPrintable(QString::number(pinyin)));
    }

    // Whole hours to the start of the day, 0 to 23, on a clock that has no daylight saving,
    // whatever the machine's zone.
    void countdownHours_data() {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("shown");
        const auto at = [](int month, int date, int hour, int minute, int second = 0) {
            return QDateTime(QDate(2011, month, date), QTime(hour, minute, second));
        };
        QTest::newRow("just past midnight")
            << at(3, 5, 0, 0, 1) << QDate(2011, 3, 6) << "0天 23小时";
        QTest::newRow("over the spring switch")
            << at(3, 26, 12, 0) << QDate(2011, 3, 28) << "1天 12小时";
        QTest::newRow("over the autumn switch")
            << at(10, 29, 23, 30) << QDate(2011, 10, 31) << "1天 0小时";
    }
    void countdownHours() {
        QFETCH(QDateTime, now);
        QFETCH(QDate, day);
        QFETCH(QString, shown);
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        const auto restore = qScopeGuard([&] {
            zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        });
        QCOMPARE(countdown(now, day), shown);
    }
};

QTEST_GUILESS_MAIN(TestSites)
#include "tst_sites.moc"
