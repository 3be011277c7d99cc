// SPDX-License-Identifier: GPL-3.0-or-later
// Following names: the event rule, the lists checked without RDAP, the checks at the
// registry, the pages' gatekeeping, the calendar feed and the notifications on a private bus.
#include "fixtureserver.h"
#include "rdap/lookupservice.h"
#include "rdap/memorycache.h"
#include "store/store.h"
#include "watch/checker.h"
#include "watch/notifier.h"
#include "watch/token.h"
#include "watch/watchhttp.h"
#include "watch/watchstore.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace sites::watch;

namespace {

const QDateTime Now = QDateTime(QDate(2026, 12, 8), QTime(10, 0), Qt::UTC);
const QString Held = QStringLiteral("已注册");

std::optional<QDate> day(const char* text) {
    if (!*text)
        return std::nullopt;
    return QDate::fromString(QString::fromLatin1(text), Qt::ISODate);
}

// A checked result: status (also the known one), registered, deleted (a leading ~: estimated),
// listed.
WatchResult checked(const QString& status, const char* registered = "", const char* deleted = "",
                    const char* listed = "") {
    WatchResult r;
    r.status = r.known = status;
    r.registered = day(registered);
    r.approximate = *deleted == '~';
    r.deleted = day(deleted + (r.approximate ? 1 : 0));
    r.listed = day(listed);
    r.checked = Now.addDays(-1);
    return r;
}

QStringList kinds(const QList<WatchEvent>& events) {
    QStringList out;
    for (const WatchEvent& event : events)
        out.append(event.kind);
    return out;
}

QByteArray postNames(const QStringList& names) {
    QByteArray body = "{\"names\":[";
    for (const QString& name : names)
        body += (body.endsWith('[') ? "\"" : ",\"") + name.toUtf8() + '"';
    return body + "]}";
}

// The notification service and the window, played on a private bus.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QStringList> shown; // app, summary, body, actions...
public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        shown.append(QStringList{app, summary, body} + actions);
        return uint(shown.size());
    }
};
class FakeWindow : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.lumo.Window")
public:
    QStringList looked;
public slots:
    void Lookup(const QString& name) { looked.append(name); }
};

} // namespace

class TestWatch : public QObject {
    Q_OBJECT
private slots:
    void events_data();
    void events();
    void failingThreeDaysRunning();
    void listedWithoutRdap_data();
    void listedWithoutRdap();
    void checkAsksRdapNowPastTheCache();
    void pages_data();
    void pages();
    void paceAndTokenShared();
    void calendarFeed();
    void notifications();
};

void TestWatch::events_data() {
    QTest::addColumn<WatchResult>("before");
    QTest::addColumn<WatchResult>("after");
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QString>("text"); // a piece of the last event's text

    QTest::newRow("first check") << WatchResult{} << checked(Held, "2009-03-04")
                                 << QStringList{"first"} << "首次查询：已注册";
    QTest::newRow("unchanged") << checked(Held, "2009-03-04") << checked(Held, "2009-03-04")
                               << QStringList{} << "";
    QTest::newRow("into redemption, a day estimated")
        << checked(Held, "2009-03-04") << checked("赎回期", "2009-03-04", "~2027-01-02")
        << QStringList{"status", "day"} << "删除日期 2027-01-02（估计）";
    QTest::newRow("pending delete, same day")
        << checked("赎回期", "2009-03-04", "~2027-01-02") << checked("待删除", "2009-03-04", "~2027-01-02")
        << QStringList{"status"} << "赎回期 → 待删除";
    QTest::newRow("day moved") << checked("待删除", "", "~2027-01-02") << checked("待删除", "", "~2027-01-04")
                               << QStringList{"day"} << "由 2027-01-02（估计） 改为 2027-01-04（估计）";
    QTest::newRow("estimate made exact by a list")
        << checked("待删除", "", "~2027-01-02") << checked("待删除", "", "2027-01-02", "2027-01-02")
        << QStringList{"listed"} << "删除名单";
    QTest::newRow("free") << checked("待删除", "", "2027-01-02", "2027-01-02")
                          << checked("未注册", "", "2027-01-02", "2027-01-02") << QStringList{"status"}
                          << "待删除 → 未注册";
    QTest::newRow("taken by someone else") << checked("未注册") << checked(Held, "2027-01-05")
                                           << QStringList{"taken"} << "等待结束";
    QTest::newRow("back with its old registration") << checked("已删除", "2009-03-04")
                                                    << checked(Held, "2009-03-04")
                                                    << QStringList{"status"} << "已删除 → 已注册";
}

void TestWatch::events() {
    QFETCH(WatchResult, before);
    QFETCH(WatchResult, after);
    QFETCH(QStringList, kinds);
    QFETCH(QString, text);
    const QList<WatchEvent> events = eventsOf(before, after);
    QCOMPARE(::kinds(events), kinds);
    if (!events.isEmpty())
        QVERIFY2(events.last().text.contains(text), qPrintable(events.last().text));
}

// Failed checks keep what was known and tell once, on the third day.
void TestWatch::failingThreeDaysRunning() {
    WatchResult r = checked(Held, "2009-03-04");
    Looked failed{QStringLiteral("无法查询：RDAP 服务器出错")};
    failed.failed = failed.transient = true;
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        const WatchResult next = afterLookup(r, failed, Now.addDays(i));
        seen += kinds(eventsOf(r, next));
        r = next;
    }
    QCOMPARE(seen, QStringList{"failing"});
    QCOMPARE(r.known, Held);
    QCOMPARE(r.registered, day("2009-03-04"));
    Looked back{Held, day("2009-03-04")};
    const WatchResult good = afterLookup(r, back, Now.addDays(5));
    QCOMPARE(good.failures, 0);
    QVERIFY(eventsOf(r, good).isEmpty());
}

void TestWatch::listedWithoutRdap_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("list");
    QTest::addColumn<bool>("approximate");
    QTest::addColumn<QString>("known");
    QTest::addColumn<QStringList>("kinds");
    QTest::addColumn<QString>("text");
    QTest::newRow("cnnic's list") << "abcd.cn" << "cnnic" << false << Held
                                  << QStringList{"status", "listed"} << "2026-12-10";
    QTest::newRow(".se, released at 04:00 UTC") << "abcd.se" << "se" << false << "赎回期"
                                                << QStringList{"status", "listed"} << "04:00 UTC";
    QTest::newRow(".top, at its list's time") << "abcd.top" << "top" << false << Held
                                              << QStringList{"status", "listed"} << "14:30 北京时间";
    QTest::newRow("a zone's estimate, nothing known") << "abcd.com" << "czds-com" << true << ""
                                                      << QStringList{"day"} << "（估计）";
    QTest::newRow("a zone's estimate of a registered name") << "abcd.com" << "czds-com" << true
                                                            << Held << QStringList{} << "";
}

// No lookup service exists here: a stored list alone makes the event.
void TestWatch::listedWithoutRdap() {
    QFETCH(QString, name);
    QFETCH(QString, list);
    QFETCH(bool, approximate);
    QFETCH(QString, known);
    QFETCH(QStringList, kinds);
    QFETCH(QString, text);
    QTemporaryDir dir;
    QString error;
    const auto store = sites::store::Store::open(dir.path(), &error);
    const auto watched = WatchList::open(dir.path(), &error);
    QVERIFY2(store && watched, qPrintable(error));
    QVERIFY(watched->add({name, "other" + name.mid(4)}, Now, &error));
    for (const QString& each : {name, "other" + name.mid(4)})
        watched->record(each, [&](const WatchResult&) {
            WatchResult r = checked(known);
            r.status = known.isEmpty() ? QStringLiteral("无法查询：RDAP 服务器出错") : known;
            return r;
        }, Now);
    const QString suffix = name.mid(name.indexOf(u'.'));
    QVERIFY(store->replaceDays(list, {{name, suffix, 4, QDate(2026, 12, 10), QTime(14, 30)}}, Now.date(), Now,
                               &error, approximate));
    const QList<EventRow> events = watched->checkLists(Now);
    QStringList got;
    for (const EventRow& row : events) {
        QCOMPARE(row.name, name);
        got.append(row.event.kind);
    }
    QCOMPARE(got, kinds);
    if (!events.isEmpty())
        QVERIFY2(events.last().event.text.contains(text), qPrintable(events.last().event.text));
    QVERIFY(watched->checkLists(Now.addSecs(60)).isEmpty()); // told once
}

void TestWatch::checkAsksRdapNowPastTheCache() {
    FixtureServer registry;
    QVERIFY(registry.listen());
    registry.setReply("/dns.json", FixtureServer::answer(
        QStringLiteral(R"({"version":"1.0","services":[[["com"],["%1/com/"]]]})")
            .arg(registry.origin()).toUtf8()));
    registry.setReply("/com/domain/abcd.com", FixtureServer::answer(
        R"({"objectClassName":"domain","ldhName":"abcd.com","status":["redemption period"],)"
        R"("events":[{"eventAction":"registration","eventDate":"2009-03-04T00:00:00Z"},)"
        R"({"eventAction":"last changed","eventDate":"2026-12-01T00:00:00Z"}]})"));
    QTemporaryDir dir;
    sites::rdap::Settings settings;
    settings.bootstrap = QUrl(registry.origin() + "/dns.json");
    settings.dataDir = dir.path();
    settings.interval = std::chrono::milliseconds(0);
    sites::rdap::MemoryAnswerCache cache;
    sites::rdap::LookupService lookups(settings, &cache);
    QString error;
    const auto watched = WatchList::open(dir.path(), &error);
    QVERIFY(watched->add({"abcd.com"}, Now, &error));
    Checker checker(*watched, lookups, {}, dir.filePath("watch-check.lock"));
    QSignalSpy recorded(&checker, &Checker::recorded);
    QSignalSpy idle(&checker, &Checker::idle);
    auto asked = [&] { return registry.targets().count("/com/domain/abcd.com"); };

    checker.queue({"abcd.com"}, false);
    QVERIFY(idle.wait(10000));
    QCOMPARE(asked(), 1);
    QCOMPARE(recorded.size(), 1); // first seen
    const WatchedRow row = watched->rows().value(0);
    QCOMPARE(row.result.status, QStringLiteral("赎回期"));
    QCOMPARE(row.result.deleted, QDate(2027, 1, 5)); // 35 days after the last change
    QVERIFY(row.result.approximate);

    checker.queue({"abcd.com"}, false); // within the hour: the kept answer
    QVERIFY(idle.wait(10000));
    checker.queue({"abcd.com"}, true); // asked for now: the registry again
    QVERIFY(idle.wait(10000));
    QCOMPARE(asked(), 2);
    QCOMPARE(recorded.size(), 1); // nothing changed
    QVERIFY(watched->due(QDateTime::currentDateTimeUtc()).isEmpty());
}

void TestWatch::pages_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("watched"); // names watched after it
    const QByteArray good(64, 'a');
    const QByteArray one = postNames({"ABCD.com"});
    QTest::newRow("list") << QByteArray("GET") << "/lumo/watch.json" << "127.0.0.1:8613" << QByteArray() << QByteArray() << 200 << 0;
    QTest::newRow("list, localhost") << QByteArray("GET") << "/lumo/watch.ics" << "LOCALHOST:8613" << QByteArray() << QByteArray() << 200 << 0;
    QTest::newRow("list, ::1") << QByteArray("GET") << "/lumo/watch-events.json" << "[::1]:8613" << QByteArray() << QByteArray() << 200 << 0;
    QTest::newRow("rebinding page") << QByteArray("GET") << "/lumo/watch.json" << "evil.example:8613" << QByteArray() << QByteArray() << 403 << 0;
    QTest::newRow("another port") << QByteArray("GET") << "/lumo/watch.json" << "127.0.0.1:80" << QByteArray() << QByteArray() << 403 << 0;
    QTest::newRow("add") << QByteArray("POST") << "/lumo/watch/add" << "127.0.0.1:8613" << good << one << 200 << 1;
    QTest::newRow("add, no token") << QByteArray("POST") << "/lumo/watch/add" << "127.0.0.1:8613" << QByteArray() << one << 403 << 0;
    QTest::newRow("add, wrong token") << QByteArray("POST") << "/lumo/watch/add" << "127.0.0.1:8613" << QByteArray(64, 'b') << one << 403 << 0;
    QTest::newRow("add, foreign host") << QByteArray("POST") << "/lumo/watch/add" << "evil.example:8613" << good << one << 403 << 0;
    QTest::newRow("add, not a name") << QByteArray("POST") << "/lumo/watch/add" << "127.0.0.1:8613" << good << postNames({"abcd.com", "com"}) << 400 << 0;
    QTest::newRow("add, not json") << QByteArray("POST") << "/lumo/watch/add" << "127.0.0.1:8613" << good << QByteArray("abcd.com") << 400 << 0;
    QStringList many;
    for (int i = 0; i <= MaxWatched; ++i)
        many.append(QStringLiteral("n%1.com").arg(i));
    QTest::newRow("add, past the limit") << QByteArray("POST") << "/lumo/watch/add" << "127.0.0.1:8613" << good << postNames(many) << 400 << 0;
    QTest::newRow("check") << QByteArray("POST") << "/lumo/watch/check" << "127.0.0.1:8613" << good << QByteArray("{\"names\":[]}") << 202 << 0;
    QTest::newRow("add by GET") << QByteArray("GET") << "/lumo/watch/add" << "127.0.0.1:8613" << good << one << 404 << 0;
}

void TestWatch::pages() {
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, host);
    QFETCH(QByteArray, token);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, watched);
    QTemporaryDir dir;
    QString error;
    const auto list = WatchList::open(dir.path(), &error);
    QStringList queued;
    const Site site{list.get(), QByteArray(64, 'a'),
                    [&](const QStringList& names, bool) { return queued += names; }, [] { return 0; }};
    const sites::Reply out = answer(site, {method, path, {}, host, token, body, 8613}, Now);
    QCOMPARE(out.status, status);
    QCOMPARE(list->rows().size(), watched);
    if (watched)
        QCOMPARE(queued, QStringList{"abcd.com"}); // its first check at once
    if (status != 200 && status != 202)
        QVERIFY(!out.body.contains(token.isEmpty() ? "never" : token));
}

// What two processes share: each server's pace, and one token made once, private.
void TestWatch::paceAndTokenShared() {
    QTemporaryDir dir;
    QString error;
    const auto one = WatchList::open(dir.path(), &error);
    const auto two = WatchList::open(dir.path(), &error);
    QCOMPARE(one->reserve("rdap.example", 1000, 50'000), 0);
    QCOMPARE(two->reserve("rdap.example", 1000, 50'200), 800);
    QCOMPARE(one->reserve("rdap.example", 1000, 50'300), 1700);
    QCOMPARE(two->reserve("other.example", 1000, 50'300), 0);

    const QByteArray token = watchToken(dir.path(), &error);
    QVERIFY(QRegularExpression("^[0-9a-f]{64}$").match(QString::fromLatin1(token)).hasMatch());
    QCOMPARE(watchToken(dir.path(), &error), token);
    QCOMPARE(QFile(dir.filePath("watch-token")).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner |
                                                                  QFile::ReadUser | QFile::WriteUser),
             QFile::Permissions());
}

void TestWatch::calendarFeed() {
    QList<WatchedRow> rows;
    rows.append({"abcd.se", Now, checked("待删除", "", "2026-12-10", "2026-12-10"), {}, {}});
    rows[0].result.releaseTime = "04:00 UTC";
    rows.append({"一个很长很长很长很长很长很长的中文域名.cn", Now, checked("赎回期", "", "~2027-01-02"), {}, {}});
    rows.append({"taken.com", Now, checked(Held, "2009-03-04"), {}, {}});
    const QByteArray ics = icsFeed(rows, Now);
    QVERIFY(ics.endsWith("END:VCALENDAR\r\n"));
    for (const QByteArray& line : ics.split('\n'))
        QVERIFY2(line.isEmpty() || (line.endsWith('\r') && line.size() <= 76), line.constData());
    // Unfolded, the events read back.
    const QStringList lines = QString::fromUtf8(QByteArray(ics).replace("\r\n ", "")).split("\r\n");
    QCOMPARE(lines.count("BEGIN:VEVENT"), 2);
    QCOMPARE(lines.count("END:VEVENT"), 2);
    QVERIFY(lines.contains("DTSTART;VALUE=DATE:20261210"));
    QVERIFY(lines.contains("UID:abcd.se@lumo"));
    QVERIFY(lines.contains("SUMMARY:abcd.se 删除"));
    QVERIFY(lines.contains("SUMMARY:一个很长很长很长很长很长很长的中文域名.cn 删除（估计）"));
    QCOMPARE(lines.filter(QRegularExpression("^UID:")).size(), 2);
    QCOMPARE(lines.filter(QRegularExpression("^DTSTAMP:20261208T100000Z$")).size(), 2);
    QVERIFY(lines.filter("DESCRIPTION:").first().contains("04:00 UTC"));
}

void TestWatch::notifications() {
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon.waitForStarted(5000))
        QSKIP("dbus-daemon is not installed (Debian: dbus-daemon)");
    QVERIFY(daemon.waitForReadyRead(5000));
    const QString address = QString::fromLatin1(daemon.readLine().trimmed());
    QDBusConnection side = QDBusConnection::connectToBus(address, "fake-desktop");
    QDBusConnection sites = QDBusConnection::connectToBus(address, "sites");
    QVERIFY(side.isConnected() && sites.isConnected());
    FakeNotifications desktop;
    FakeWindow window;
    QVERIFY(side.registerObject("/org/freedesktop/Notifications", &desktop, QDBusConnection::ExportAllSlots));
    QVERIFY(side.registerService("org.freedesktop.Notifications"));
    QVERIFY(side.registerObject("/org/example/lumo", &window, QDBusConnection::ExportAllSlots));
    QVERIFY(side.registerService("org.example.lumo"));

    Notifier notifier(sites);
    notifier.openLookups();
    QTemporaryDir dir;
    QString error;
    const auto list = WatchList::open(dir.path(), &error);
    QVERIFY(list->add({"abcd.com"}, Now, &error));
    int told = 0;
    const QList<WatchResult> steps{checked(Held, "2009-03-04"), checked("赎回期", "2009-03-04", "~2027-01-02"),
                                   checked("赎回期", "2009-03-04", "~2027-01-02"), checked("未注册")};
    for (const WatchResult& step : steps)
        for (const WatchEvent& event : list->record("abcd.com", [&](const WatchResult&) { return step; }, Now))
            told += notifier.notify("abcd.com", event);
    notifier.flush(5000);
    QCOMPARE(list->events().size(), 4); // first, status, day, status
    QCOMPARE(told, 3);
    QTRY_COMPARE(desktop.shown.size(), 3);
    QCOMPARE(desktop.shown.first().mid(0, 2), (QStringList{"Lumo", "abcd.com"}));
    QCOMPARE(desktop.shown.first().value(2), QStringLiteral("已注册 → 赎回期"));
    QVERIFY(desktop.shown.first().contains("default"));

    // Its default action opens the window's lookup of the name.
    side.send(QDBusMessage::createSignal("/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                                         "ActionInvoked") << uint(2) << QString("default"));
    QTRY_COMPARE(window.looked, QStringList{"abcd.com"});

    // No session: nothing sent, nothing fails.
    Notifier alone(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "none"));
    QVERIFY(!alone.notify("abcd.com", {"status", "已注册 → 赎回期"}));
    QDBusConnection::disconnectFromBus("fake-desktop");
    QDBusConnection::disconnectFromBus("sites");
    daemon.kill();
    daemon.waitForFinished();
}

QTEST_GUILESS_MAIN(TestWatch)
#include "tst_watch.moc"
