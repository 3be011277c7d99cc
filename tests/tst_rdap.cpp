// SPDX-License-Identifier: GPL-3.0-or-later
// Lookups at the registries' RDAP servers, played by a loopback server.
#include "fixtureserver.h"
#include "lookup/lookuppage.h"
#include "net/module1.h"
#include "rdap/answer.h"
#include "rdap/bootstrap.h"
#include "rdap/lookuppage.h"
#include "rdap/lookupservice.h"
#include "rdap/memorycache.h"
#include "sitesprocess.h"
#include "store/store.h"
#include "window/form1.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <ctime>

using namespace sites::rdap;

namespace {

// A domain object as RFC 9083 shapes it, with the events a registry gives.
QByteArray domainJson(const QString& name, const QStringList& status, const QString& changed,
                      const QString& registered = "2009-03-04T10:20:30Z",
                      const QString& expires = "2027-03-04T10:20:30Z") {
    QByteArray phrases;
    for (const QString& phrase : status)
        phrases += (phrases.isEmpty() ? "\"" : ",\"") + phrase.toUtf8() + '"';
    QByteArray events = R"({"eventAction":"registration","eventDate":")" + registered.toUtf8() +
                        R"("},{"eventAction":"expiration","eventDate":")" + expires.toUtf8() + "\"}";
    if (!changed.isEmpty())
        events += R"(,{"eventAction":"last changed","eventDate":")" + changed.toUtf8() + "\"}";
    return R"({"objectClassName":"domain","ldhName":")" + name.toUtf8() + R"(","status":[)" +
           phrases + R"(],"events":[)" + events +
           R"(,{"eventAction":"last update of RDAP database","eventDate":"2026-12-07T08:00:00Z"}],)"
           R"("rdapConformance":["rdap_level_0"]})";
}

QByteArray directoryJson(const QString& origin) {
    return QStringLiteral(R"({"version":"1.0","publication":"2026-12-01T00:00:00Z","services":[)"
                          R"([["com","net"],["%1/com/"]],[["com.cn"],["%1/comcn/"]]]})")
        .arg(origin)
        .toUtf8();
}

// The loopback registry: IANA's directory at /dns.json, names under /com/ and /comcn/.
struct Registry {
    Registry() {
        server.listen();
        FixtureServer::Reply directory = FixtureServer::answer(directoryJson(server.origin()));
        directory.headers = {{"ETag", "\"v1\""}};
        server.setReply("/dns.json", directory);
        settings.bootstrap = QUrl(server.origin() + "/dns.json");
        settings.dataDir = data.path();
        settings.interval = std::chrono::milliseconds(0);
    }
    std::optional<Result> lookUp(LookupService& service, const QString& name) {
        std::optional<Result> got;
        QEventLoop loop;
        service.lookup(name, [&](const Result& result) {
            got = result;
            loop.quit();
        });
        if (!got) {
            QTimer::singleShot(20000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return got;
    }
    FixtureServer server;
    QTemporaryDir data;
    Settings settings;
    MemoryAnswerCache cache;
};

} // namespace

class TestRdap : public QObject {
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void directory_data();
    void directory();
    void lookups_data();
    void lookups();
    void waitsOutA429ThenKeepsTheAnswer();
    void directoryKeptAndCheckedDaily();
    void listedAndRdap_data();
    void listedAndRdap();
    void findsEitherForm_data();
    void findsEitherForm();
    void answerKeptInTheStore();
    void pickedNameShowsItsDates();
};

void TestRdap::answers_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QDate>("registered"); // invalid: blank
    QTest::addColumn<QDate>("expires");
    QTest::addColumn<QDate>("deleted"); // estimated; invalid: none
    const QDate reg(2009, 3, 4), exp(2027, 3, 4);
    QTest::newRow("active") << domainJson("a.com", {"client transfer prohibited", "active"},
                                          "2026-11-20T07:00:00Z")
                            << true << reg << exp << QDate();
    QTest::newRow("redemption") << domainJson("a.com", {"pending delete", "redemption period"},
                                              "2026-11-20T07:00:00Z")
                                << true << reg << exp << QDate(2026, 12, 25);
    QTest::newRow("pending delete") << domainJson("a.com", {"pending delete"}, "2026-12-05T23:59:59Z")
                                    << true << reg << exp << QDate(2026, 12, 10);
    QTest::newRow("redemption, offset date")
        << domainJson("a.com", {"Redemption Period"}, "2026-11-21T02:00:00+08:00",
                      "2009-03-04T23:30:00-05:00")
        << true << QDate(2009, 3, 5) << exp << QDate(2026, 12, 25);
    // Read under a zone 14 hours ahead of UTC: taken as local, these would fall a day early.
    QTest::newRow("no zone") << domainJson("a.com", {"pending delete"}, "2026-12-05T05:00:00",
                                           "2009-03-04", "2027-03-04t05:00:00.123456")
                             << true << reg << exp << QDate(2026, 12, 10);
    QTest::newRow("end of time expiry")
        << domainJson("a.com", {"pending delete", "redemption period"}, "2026-11-20T07:00:00Z",
                      "2009-03-04T10:20:30Z", "294247-01-10T04:00:54Z")
        << true << reg << QDate() << QDate(2026, 12, 25);
    QTest::newRow("bad last change") << domainJson("a.com", {"redemption period"}, "2026-13-45T00:00:00Z")
                                     << true << reg << exp << QDate();
    QTest::newRow("far registration") << domainJson("a.com", {"active"}, "", "0001-01-01T00:00:00Z")
                                      << true << QDate() << exp << QDate();
    QTest::newRow("no last change") << domainJson("a.com", {"redemption period"}, "") << true << reg
                                    << exp << QDate();
    QTest::newRow("two expiries, an event without date")
        << QByteArray(R"({"objectClassName":"domain","events":[{"eventAction":"expiration",)"
                      R"("eventDate":"2027-01-01T00:00:00Z"},{"eventAction":"registration"},)"
                      R"({"eventAction":"expiration","eventDate":"2028-01-01T00:00:00Z"},)"
                      R"({"eventAction":"registration","eventDate":"2009-03-04T00:00:00Z"}]})")
        << true << reg << QDate() << QDate();
    QTest::newRow("malformed") << QByteArray(R"({"objectClassName":"domain","status":[)") << false
                               << QDate() << QDate() << QDate();
    QTest::newRow("array") << QByteArray("[{}]") << false << QDate() << QDate() << QDate();
    QTest::newRow("error object") << QByteArray(R"({"errorCode":404,"title":"Not Found"})") << false
                                  << QDate() << QDate() << QDate();
    QTest::newRow("status as text")
        << QByteArray(R"({"objectClassName":"domain","status":"active"})") << false << QDate()
        << QDate() << QDate();
}

// Dates come out in UTC or blank, one field at a time; the deletion day only from the last change.
void TestRdap::answers() {
    QFETCH(QByteArray, json);
    QFETCH(bool, read);
    QFETCH(QDate, registered);
    QFETCH(QDate, expires);
    QFETCH(QDate, deleted);
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Pacific/Kiritimati");
    tzset();
    const ParsedAnswer parsed = parseDomainAnswer(json);
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
    QCOMPARE(parsed.answer.has_value(), read);
    QCOMPARE(parsed.error.isEmpty(), read);
    if (!read)
        return;
    const auto day = [](const std::optional<QDateTime>& when) { return when ? when->date() : QDate(); };
    QCOMPARE(day(parsed.answer->registered), registered);
    QCOMPARE(day(parsed.answer->expires), expires);
    QCOMPARE(estimatedDeletion(*parsed.answer).value_or(QDate()), deleted);
}

void TestRdap::directory_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("server");
    QTest::newRow("com") << "example.com" << "https://a.example/com/";
    QTest::newRow("upper case, final dot") << "A.B.NET." << "https://a.example/com/";
    QTest::newRow("com.cn over cn") << "shop.com.cn" << "https://b.example/comcn/";
    QTest::newRow("cn") << "shop.cn" << "https://c.example/cn/";
    QTest::newRow("http only") << "x.org" << "http://d.example/org/";
    QTest::newRow("none") << "x.top" << "";
    QTest::newRow("the suffix alone") << "com.cn" << "https://b.example/comcn/";
}

// Labels from the right, the longest match wins, https first, every base ends in "/".
void TestRdap::directory() {
    QFETCH(QString, name);
    QFETCH(QString, server);
    const QByteArray json = R"({"services":[[["com","net"],["https://a.example/com/"]],)"
                            R"([["cn"],["http://c.example/cn/","https://c.example/cn/"]],)"
                            R"([["COM.CN"],["http://b.example/comcn","https://b.example/comcn"]],)"
                            R"([["org"],["http://d.example/org/","ftp://d.example/"]]]})";
    const std::optional<Bootstrap> directory = Bootstrap::parse(json);
    QVERIFY(directory);
    QCOMPARE(directory->serverFor(name).toString(), server);
    const QByteArray unpaired = "{\"services\":[[[\"com\"]]]}";
    const QByteArray urlNotListed = "{\"services\":[[[\"com\"],\"https://a.example/\"]]}";
    QVERIFY(!Bootstrap::parse(unpaired));
    QVERIFY(!Bootstrap::parse(urlNotListed));
}

void TestRdap::lookups_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("target"); // asked of the registry; "" when nothing is
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("moved"); // a redirect's target path
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shown"); // the page's status field
    const int registered = int(Result::Kind::Registered), failed = int(Result::Kind::Failed);
    QTest::newRow("active") << "live.com" << "/com/domain/live.com" << 200
                            << domainJson("live.com", {"active"}, "2026-01-01T00:00:00Z") << ""
                            << registered << "已注册";
    QTest::newRow("redemption")
        << "drop.com" << "/com/domain/drop.com" << 200
        << domainJson("drop.com", {"pending delete", "redemption period"}, "2026-11-20T07:00:00Z")
        << "" << registered << "赎回期";
    QTest::newRow("pending delete")
        << "gone.net" << "/com/domain/gone.net" << 200
        << domainJson("gone.net", {"pending delete"}, "2026-12-05T07:00:00Z") << "" << registered
        << "待删除";
    QTest::newRow("end of time expiry")
        << "held.com" << "/com/domain/held.com" << 200
        << domainJson("held.com", {"pending delete"}, "2026-12-05T07:00:00Z",
                      "2009-03-04T10:20:30Z", "294247-01-10T04:00:54Z")
        << "" << registered << "待删除";
    QTest::newRow("404") << "free.com" << "/com/domain/free.com" << 404 << QByteArray() << ""
                         << int(Result::Kind::NotRegistered) << "未注册";
    QTest::newRow("redirect") << "moved.com" << "/com/domain/moved.com" << 301 << QByteArray()
                              << "/registrar/domain/moved.com" << registered << "已注册";
    QTest::newRow("IDN") << "例子.COM" << "/com/domain/xn--fsqu00a.com" << 200
                         << domainJson("xn--fsqu00a.com", {"active"}, "") << "" << registered
                         << "已注册";
    QTest::newRow("com.cn") << "shop.com.cn" << "/comcn/domain/shop.com.cn" << 200
                            << domainJson("shop.com.cn", {"active"}, "") << "" << registered
                            << "已注册";
    QTest::newRow("malformed") << "broken.com" << "/com/domain/broken.com" << 200
                               << QByteArray(R"({"objectClassName":"domain","events":[{)") << ""
                               << failed << "无法查询：RDAP 服务器出错";
    QTest::newRow("server error") << "busy.com" << "/com/domain/busy.com" << 503 << QByteArray("x")
                                  << "" << failed << "无法查询：RDAP 服务器出错";
    QTest::newRow("429 after the one retry")
        << "limited.com" << "/com/domain/limited.com" << 429 << QByteArray("slow down") << ""
        << int(Result::Kind::RateLimited) << "无法查询：RDAP 服务器限流，请稍后再查";
    QTest::newRow("no service") << "name.cn" << "" << 0 << QByteArray() << ""
                                << int(Result::Kind::NoService)
                                << "无法查询：该后缀没有 RDAP 查询服务";
    QTest::newRow("not a name") << "a b.com" << "" << 0 << QByteArray() << ""
                                << int(Result::Kind::BadName) << "无法查询：不是有效的域名";
}

void TestRdap::lookups() {
    QFETCH(QString, name);
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, moved);
    QFETCH(int, kind);
    QFETCH(QString, shown);
    Registry registry;
    FixtureServer::Reply reply = FixtureServer::answer(body, status);
    if (status == 429)
        reply = reply.with("Retry-After", "0");
    if (!moved.isEmpty()) {
        reply.headers = {{"Location", (registry.server.origin() + moved).toUtf8()}};
        registry.server.setReply(moved, FixtureServer::answer(domainJson("moved.com", {"active"}, "")));
    }
    registry.server.setReply(target, reply);
    LookupService service(registry.settings, &registry.cache);
    const std::optional<Result> result = registry.lookUp(service, name);
    QVERIFY(result);
    QCOMPARE(int(result->kind), kind);
    QCOMPARE(factsOf(*result, std::nullopt, QDate(2026, 12, 7)).status, shown);
    QStringList asked = registry.server.targets();
    asked.removeAll("/dns.json");
    QStringList expected = QStringList{target, moved}.filter(QRegularExpression("."));
    if (status == 429)
        expected << target; // the one retry
    QCOMPARE(asked, expected);
}

// A 429's Retry-After is waited out, then the one retry answers; the answer is then kept.
void TestRdap::waitsOutA429ThenKeepsTheAnswer() {
    Registry registry;
    const QString target = "/com/domain/drop.com";
    FixtureServer::Reply limited = FixtureServer::answer("slow down", 429);
    limited.headers = {{"Retry-After", "1"}};
    registry.server.setReply(target, limited);
    int asked = 0;
    registry.server.onRequest = [&](const QString& t) {
        if (t == target && ++asked == 2)
            registry.server.setReply(
                target, FixtureServer::answer(domainJson("drop.com", {"redemption period"},
                                                         "2026-11-20T07:00:00Z")));
    };
    LookupService service(registry.settings, &registry.cache);
    QElapsedTimer clock;
    clock.start();
    const std::optional<Result> first = registry.lookUp(service, "drop.com");
    QVERIFY(first);
    QVERIFY2(clock.elapsed() >= 950, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(int(first->kind), int(Result::Kind::Registered));
    QCOMPARE(estimatedDeletion(first->answer), QDate(2026, 12, 25));
    const std::optional<Result> again = registry.lookUp(service, "DROP.com");
    QVERIFY(again && again->kind == Result::Kind::Registered);
    QCOMPARE(asked, 2);
}

// The directory is kept in the data directory and asked for again only a day later.
void TestRdap::directoryKeptAndCheckedDaily() {
    Registry registry;
    registry.server.setReply("/com/domain/a.com", FixtureServer::answer({}, 404));
    {
        LookupService first(registry.settings, &registry.cache);
        QCOMPARE(int(registry.lookUp(first, "a.com")->kind), int(Result::Kind::NotRegistered));
    }
    MemoryAnswerCache empty;
    {
        LookupService second(registry.settings, &empty);
        QCOMPARE(int(registry.lookUp(second, "a.com")->kind), int(Result::Kind::NotRegistered));
    }
    QCOMPARE(registry.server.targets().count("/dns.json"), 1);

    // A day later: asked again, and a 304 keeps the copy held.
    QFile validators(registry.data.filePath("rdap-dns.validators.json"));
    QVERIFY(validators.open(QIODevice::ReadWrite));
    QByteArray saved = validators.readAll();
    QVERIFY2(saved.contains("\\\"v1\\\""), saved.constData());
    const QString yesterday = QDateTime::currentDateTimeUtc().addDays(-1).addSecs(-60).toString(Qt::ISODate);
    saved.replace(saved.indexOf("\"checked\":\"") + 11, yesterday.size(), yesterday.toLatin1());
    validators.resize(0);
    validators.write(saved);
    validators.close();
    registry.server.setReply("/dns.json", FixtureServer::answer({}, 304));
    MemoryAnswerCache empty2;
    LookupService third(registry.settings, &empty2);
    QCOMPARE(int(registry.lookUp(third, "a.com")->kind), int(Result::Kind::NotRegistered));
    QCOMPARE(registry.server.targets().count("/dns.json"), 2);

    // Without a directory held, a failed fetch says so.
    QTemporaryDir nothing;
    registry.settings.dataDir = nothing.path();
    registry.server.setReply("/dns.json", FixtureServer::answer("gone", 500));
    LookupService fourth(registry.settings, &empty2);
    QCOMPARE(int(registry.lookUp(fourth, "b.com")->kind), int(Result::Kind::NoDirectory));
}

void TestRdap::listedAndRdap_data() {
    QTest::addColumn<QString>("list"); // "exact", "zone" or ""
    QTest::addColumn<QDate>("listed");
    QTest::addColumn<QString>("rdap");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QDate>("deleted");
    QTest::addColumn<bool>("approximate");
    const QDate listed(2026, 12, 9), past(2026, 12, 5), counted(2026, 12, 25), pending(2026, 12, 10);
    const QString failed = "无法查询：RDAP 服务器出错";
    QTest::newRow("none, active") << "" << QDate() << "active" << "已注册" << QDate() << false;
    QTest::newRow("none, redemption") << "" << QDate() << "redemption" << "赎回期" << counted << true;
    QTest::newRow("none, pending delete") << "" << QDate() << "pending" << "待删除" << pending << true;
    QTest::newRow("none, 404") << "" << QDate() << "404" << "未注册" << QDate() << false;
    QTest::newRow("none, failed") << "" << QDate() << "failed" << failed << QDate() << false;
    for (const char* rdap : {"active", "redemption", "pending", "404", "failed"})
        QTest::addRow("exact, %s", rdap) << "exact" << listed << rdap << "待删除" << listed << false;
    QTest::newRow("exact gone by, registered again") << "exact" << past << "active" << "已注册" << past
                                                     << false;
    QTest::newRow("exact gone by, 404") << "exact" << past << "404" << "已删除" << past << false;
    // The registry's word over the zone's: an active name is registered, whatever the estimate.
    QTest::newRow("zone, active") << "zone" << listed << "active" << "已注册" << QDate() << false;
    QTest::newRow("zone, redemption") << "zone" << listed << "redemption" << "赎回期" << counted << true;
    QTest::newRow("zone, redemption unchanged")
        << "zone" << listed << "unchanged" << "赎回期" << listed << true;
    QTest::newRow("zone, pending delete") << "zone" << listed << "pending" << "待删除" << pending << true;
    QTest::newRow("zone, 404") << "zone" << listed << "404" << "未注册" << QDate() << false;
    QTest::newRow("zone gone by, 404") << "zone" << past << "404" << "已删除" << past << true;
    QTest::newRow("zone, failed") << "zone" << listed << "failed" << "待删除" << listed << true;
}

// What a lookup shows from the day a list gives and what RDAP says; only a registry's own list
// makes the day exact.
void TestRdap::listedAndRdap() {
    QFETCH(QString, list);
    QFETCH(QDate, listed);
    QFETCH(QString, rdap);
    QFETCH(QString, shown);
    QFETCH(QDate, deleted);
    QFETCH(bool, approximate);
    const QMap<QString, QByteArray> answers{
        {"active", domainJson("a.com", {"active"}, "2026-11-20T07:00:00Z")},
        {"redemption", domainJson("a.com", {"redemption period"}, "2026-11-20T07:00:00Z")},
        {"unchanged", domainJson("a.com", {"redemption period"}, "")},
        {"pending", domainJson("a.com", {"pending delete"}, "2026-12-05T07:00:00Z")}};
    Result result{Result::Kind::Failed, {}, "HTTP 503"};
    if (rdap == "404")
        result.kind = Result::Kind::NotRegistered;
    else if (answers.contains(rdap))
        result = {Result::Kind::Registered, *parseDomainAnswer(answers[rdap]).answer, {}};
    std::optional<sites::ListedDay> day;
    if (!list.isEmpty())
        day = sites::ListedDay{listed, list == "zone"};
    const QDate today(2026, 12, 7);
    const sites::LookupFacts facts = factsOf(result, day, today);
    QCOMPARE(facts.status, shown);
    QCOMPARE(facts.deleted.value_or(QDate()), deleted);
    QCOMPARE(facts.deletedApproximate, approximate);
    const QString page = sites::lookupFactsPage("a.com", facts, QDateTime(today, {}));
    const QString cell = deleted.isValid() ? deleted.toString(Qt::ISODate) : QString();
    const QString mark = approximate ? "(近似值)" : "";
    QVERIFY2(page.contains(">" + cell + mark + "</td>") && page.contains(">" + shown + "</td>"),
             qPrintable(page));
}

void TestRdap::findsEitherForm_data() {
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("approximate"); // of the one day found
    QTest::newRow("U-label") << "中文.cn" << false;
    QTest::newRow("A-label") << "xn--fiq228c.cn" << false;
    QTest::newRow("upper case, final dot") << " XN--FIQ228C.CN. " << false;
    QTest::newRow("zone estimate") << "例子.COM" << true;
    QTest::newRow("stored as an A-label") << "xn--fsqu00a.net" << true;
    QTest::newRow("on a list and a zone") << "BOTH.com" << false;
}

// A lookup finds a stored name however it is written, a registry's own list over an estimate.
void TestRdap::findsEitherForm() {
    QFETCH(QString, asked);
    QFETCH(bool, approximate);
    QTemporaryDir dir;
    QString error;
    const auto store = sites::store::Store::open(dir.path(), &error);
    QVERIFY2(store, qPrintable(error));
    const QDate day(2026, 12, 9);
    const QDateTime now(QDate(2026, 12, 7), QTime(1, 0), Qt::UTC);
    auto row = [day](const QString& name, const QString& suffix) {
        return sites::ListedName{name, suffix, 2, day};
    };
    QVERIFY(store->replaceDays("cnnic", {row("中文.cn", ".cn")}, now.date(), now, &error));
    QVERIFY(store->replaceDays("top", {row("both.com", ".com")}, now.date(), now, &error));
    QVERIFY(store->replaceDays("czds-com", {row("例子.com", ".com"), row("both.com", ".com")},
                               now.date(), now, &error, true));
    QVERIFY(store->replaceDays("czds-net", {row("xn--fsqu00a.net", ".net")}, now.date(), now,
                               &error, true));
    QCOMPARE(store->findName(asked), (QList<sites::ListedDay>{{day, approximate}}));
    QCOMPARE(store->findName("中文.com"), QList<sites::ListedDay>{});
}

// The store keeps an answer across a restart, for the hour and no longer.
void TestRdap::answerKeptInTheStore() {
    Registry registry;
    int asked = 0;
    registry.server.onRequest = [&](const QString& t) { asked += t == "/com/domain/kept.com"; };
    registry.server.setReply("/com/domain/kept.com",
                             FixtureServer::answer(domainJson("kept.com", {"active"},
                                                              "2026-11-20T07:00:00Z")));
    QString error;
    for (int run = 1; run <= 2; ++run) {
        const auto store = sites::store::Store::open(registry.data.path(), &error);
        QVERIFY2(store, qPrintable(error));
        LookupService service(registry.settings, store.get());
        const std::optional<Result> got = registry.lookUp(service, "kept.com");
        QVERIFY(got && got->kind == Result::Kind::Registered);
        QCOMPARE(asked, 1);
    }
    const auto store = sites::store::Store::open(registry.data.path(), &error);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(store->find("kept.com", now.addSecs(-3600)));
    store->keep("old.com", {200, "{}", now.addSecs(-3601)});
    QVERIFY(!store->find("old.com", now.addSecs(-3600)));
    // Past the hour, the registry is asked again.
    store->keep("kept.com", {200, "{}", now.addSecs(-3601)});
    LookupService service(registry.settings, store.get());
    QVERIFY(registry.lookUp(service, "kept.com"));
    QCOMPARE(asked, 2);
}

// A name picked in the window shows its registry's dates and the estimated deletion day, while
// the sites go on serving other pages as the registry takes its time.
void TestRdap::pickedNameShowsItsDates() {
    Registry registry;
    const QDateTime changed = QDateTime::currentDateTimeUtc().addDays(-10);
    registry.server.setReply(
        "/com/domain/drop.com",
        FixtureServer::answer(domainJson("drop.com", {"pending delete", "redemption period"},
                                         changed.toString(Qt::ISODate))));
    registry.server.setReply("/com/domain/slow.com",
                             FixtureServer::held(domainJson("slow.com", {"active"}, "")));
    QFile ini(registry.data.filePath("lumo-sites.conf"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[rdap]\nbootstrap=" + registry.settings.bootstrap.toEncoded() + "\ninterval=0\n");
    ini.close();

    QProcess sites;
    sites.start(SitesProcess::program(), {"--port", "0", "--config", ini.fileName(), "--data-dir",
                                          registry.data.path()});
    QVERIFY(sites.waitForReadyRead(15000));
    const QByteArray line = sites.readLine().trimmed();
    QVERIFY2(line.startsWith("listening on http://127.0.0.1:"), line.constData());
    const QString origin = QString::fromLatin1(line.mid(13).chopped(1));

    Module1::Request slow(origin + "/DomainDel/?wd=slow.com", "UTF-8");
    QTRY_COMPARE(registry.server.heldOpen(), 1);
    QVERIFY(Module1::GetPageUtf8(origin + "/lumo/").contains("Lumo"));
    QVERIFY(!slow.isFinished());
    registry.server.release();
    QTRY_VERIFY(slow.isFinished());
    QCOMPARE(lookup::parseLookupPage(slow.page().text).fields[1], "已注册");

    Form1 form({origin + "/", origin, origin});
    form.Timer1->stop();
    form.Timer3->stop();
    form.List1->addItem("drop.com");
    form.List1->setCurrentRow(0);
    form.Command8_Click();
    QCOMPARE(form.Label9(3)->text(), "2009-03-04");
    QCOMPARE(form.Label9(4)->text(), "2027-03-04");
    // RDAP's day is an estimate, and the window says so on the day itself.
    QCOMPARE(form.Label9(5)->text(), u'≈' + changed.date().addDays(35).toString(Qt::ISODate));
    QVERIFY2(form.Label9(6)->text().startsWith("24天") || form.Label9(6)->text().startsWith("25天"),
             qPrintable(form.Label9(6)->text()));
    QVERIFY2(form.Label9(1)->text().startsWith("17年"), qPrintable(form.Label9(1)->text()));
    sites.kill();
    sites.waitForFinished();
}

QTEST_MAIN(TestRdap)
#include "tst_rdap.moc"
