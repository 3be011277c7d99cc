// SPDX-License-Identifier: GPL-3.0-or-later
// The registries' lists in lumo-sites' store: fetched from a loopback stand-in of the three
// registries through the INI file, kept through bad fetches, kept as history, and served.
#include "fixtureserver.h"
#include "listing/daysummary.h"
#include "listing/domainlist.h"
#include "net/module1.h"
#include "sitesprocess.h"
#include "sitescore/calendar.h"
#include "store/config.h"
#include "store/store.h"
#include "sources/droplists.h"
#include "store/writer.h"
#include "zones/zonestore.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTimeZone>
#include <QScopeGuard>

// Named, not anonymous: the test class below keeps a Registries.
namespace storefixtures {

// `count` names "<stem>001<tail>" ..., one a line, as CNNIC writes them (CRLF, some bracketed).
QByteArray cnnicList(const QString& stem, const QString& tail, int count) {
    QByteArray out;
    for (int i = 1; i <= count; ++i) {
        const QByteArray name = QStringLiteral("%1%2%3").arg(stem).arg(i, 3, 10, QChar(u'0')).arg(tail).toUtf8();
        out += (i % 7 ? name : '[' + name + ']') + "\r\n";
    }
    return out;
}

QByteArray swedishList(const QString& tail, const QString& day) {
    QJsonArray rows;
    for (int i = 1; i <= 120; ++i)
        rows.append(QJsonObject{{"name", QStringLiteral("s%1%2").arg(i, 3, 10, QChar(u'0')).arg(tail)},
                                {"release_at", day + "T04:00:00Z"}});
    return QJsonDocument(QJsonObject{{"data", rows}}).toJson();
}

QByteArray topList() {
    QByteArray out = "domain,deletetime\r\n";
    for (int i = 1; i <= 120; ++i)
        out += QStringLiteral("p%1.top,2026/12/09 10:00\r\n").arg(i, 3, 10, QChar(u'0')).toUtf8();
    return out;
}

// The three registries' six files on a loopback server, and an INI naming them.
struct Registries {
    FixtureServer server;
    QTemporaryDir dir;
    QString config() const { return dir.filePath("lumo-sites.conf"); }

    Registries() {
        server.listen();
        serveDay("t", "m", "d");
        server.setReply("/se.json", FixtureServer::answer(swedishList(".se", "2026-12-08")));
        server.setReply("/nu.json", FixtureServer::answer(swedishList(".nu", "2026-12-09")));
        server.setReply("/top.csv", FixtureServer::answer(topList()));
        QFile ini(config());
        ini.open(QIODevice::WriteOnly);
        const QString o = server.origin();
        ini.write(QStringLiteral("[cnnic]\ntoday=%1/today.txt\ntomorrow=%1/tomorrow.txt\n"
                                 "dayafter=%1/dayafter.txt\n[se]\nse=%1/se.json\nnu=%1/nu.json\n"
                                 "[top]\nlist=%1/top.csv\n[rdap]\nkept=yes\n[fetch]\ninterval_ms=0\n")
                      .arg(o)
                      .toUtf8());
    }
    // CNNIC's three files: 5-letter .cn names, the day after's under .com.cn.
    void serveDay(const QString& today, const QString& tomorrow, const QString& dayAfter) {
        server.setReply("/today.txt", FixtureServer::answer(cnnicList(today, "x.cn", 120)));
        server.setReply("/tomorrow.txt", FixtureServer::answer(cnnicList(tomorrow, "x.cn", 120)));
        server.setReply("/dayafter.txt",
                        FixtureServer::answer("\xEF\xBB\xBF" + cnnicList(dayAfter, "x.com.cn", 120)));
    }
};

struct Run {
    int exitCode = -1;
    QStringList lines;
};

// `lumo-sites --refresh` as the daily timer runs it, the day being `today`.
Run refresh(const QString& dataDir, const QString& config, const QString& today) {
    QProcess process;
    process.start(SitesProcess::program(), {"--refresh", "--data-dir", dataDir, "--config", config,
                                            "--today", today});
    Run run;
    // The registries answer from this thread: wait with its events running.
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning)
        return run;
    run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

QList<QDate> daysOf(const QString& dataDir, const QString& name) {
    QString error;
    const auto store = sites::store::Store::open(dataDir, &error);
    QList<QDate> days;
    for (const sites::ListedDay& listed : store ? store->findName(name) : QList<sites::ListedDay>{})
        days.append(listed.day);
    return days;
}

qint64 total(const QString& dataDir) {
    QString error;
    const auto store = sites::store::Store::open(dataDir, &error);
    return store ? store->totalNames() : -1;
}

} // namespace storefixtures

using namespace storefixtures;

class TestStore : public QObject {
    Q_OBJECT
    Registries registries_;
    QString filled_; // a store after one good refresh on 2026-12-07

private slots:
    void initTestCase() {
        QVERIFY(registries_.dir.isValid());
        filled_ = registries_.dir.filePath("filled");
        const Run run = refresh(filled_, registries_.config(), "2026-12-07");
        QVERIFY2(run.exitCode == 0, qPrintable(run.lines.join('\n')));
        QCOMPARE(run.lines,
                 QStringList({"cnnic-today: ok, 120 names", "cnnic-tomorrow: ok, 120 names",
                              "cnnic-dayafter: ok, 120 names", "se: ok, 120 names",
                              "nu: ok, 120 names", "top: ok, 120 names"}));
        // Each list's names under the day it names: CNNIC's counted from --today.
        const QList<std::pair<QString, QDate>> filed = {
            {"t007x.cn", {2026, 12, 7}},      {"m001x.cn", {2026, 12, 8}},
            {"d120x.com.cn", {2026, 12, 9}},  {"s001.se", {2026, 12, 8}},
            {"s001.nu", {2026, 12, 9}},       {"p001.top", {2026, 12, 9}}};
        for (const auto& [name, day] : filed)
            QCOMPARE(daysOf(filled_, name), QList<QDate>{day});
        QCOMPARE(total(filled_), 720);
    }

    void badFetchKeepsEveryName_data() {
        QTest::addColumn<FixtureServer::Reply>("reply");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line");
        QTest::newRow("server error") << FixtureServer::answer("busy", 503) << 1
                                      << "cnnic-today: failed: ";
        QTest::newRow("cut short")
            << FixtureServer::raw("HTTP/1.1 200 OK\r\nContent-Length: 9000\r\n\r\nabc.cn\r\n") << 1
            << "cnnic-today: failed: ";
        QTest::newRow("markup") << FixtureServer::answer("<!DOCTYPE html><html><body>维护中</body></html>")
                                << 1 << "cnnic-today: failed: refused: ";
        QTest::newRow("a fraction") << FixtureServer::answer(cnnicList("t", "x.cn", 5)) << 1
                                    << "cnnic-today: failed: refused: ";
        QTest::newRow("not modified") << FixtureServer::answer("", 304) << 0
                                      << "cnnic-today: unchanged, 120 names";
    }
    // Whatever a fetch brings back, the names stored before are all still there.
    void badFetchKeepsEveryName() {
        QFETCH(FixtureServer::Reply, reply);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        QTemporaryDir copy;
        QVERIFY(QFile::copy(filled_ + "/lumo.sqlite", copy.filePath("lumo.sqlite")));
        registries_.server.setReply("/today.txt", reply);
        const Run run = refresh(copy.path(), registries_.config(), "2026-12-07");
        registries_.serveDay("t", "m", "d");
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.lines.size() == 6 && run.lines.first().startsWith(line),
                 qPrintable(run.lines.join('\n')));
        QCOMPARE(total(copy.path()), 720);
        QCOMPARE(daysOf(copy.path(), "t120x.cn"), QList<QDate>{QDate(2026, 12, 7)});
    }

    // The validators of a list fetched whole go back with every later fetch, a 304 that names
    // none keeping them.
    void validatorsSentBack() {
        QTemporaryDir data;
        FixtureServer& server = registries_.server;
        const auto restore = qScopeGuard([&] { registries_.serveDay("t", "m", "d"); });
        server.setReply("/today.txt", FixtureServer::answer(cnnicList("t", "x.cn", 120))
                                          .with("ETag", "\"v1\"")
                                          .with("Last-Modified", "Mon, 07 Dec 2026 06:00:00 GMT"));
        for (int run = 0; run < 3; ++run) {
            const Run done = refresh(data.path(), registries_.config(), "2026-12-07");
            QCOMPARE(done.lines.value(0), run ? "cnnic-today: unchanged, 120 names"
                                              : "cnnic-today: ok, 120 names");
            const QByteArray head =
                server.heads().value(server.targets().lastIndexOf("/today.txt")).toLower();
            QCOMPARE(head.contains("\r\nif-none-match: \"v1\"") &&
                         head.contains("\r\nif-modified-since: mon, 07 dec 2026 06:00:00 gmt"),
                     run > 0);
            server.setReply("/today.txt", FixtureServer::answer({}, 304));
        }
    }

    // A zone's rows that cannot be read leave the names stored for it as they were.
    void zoneKeptWhenRowsUnreadable() {
        QTemporaryDir dir;
        QString error;
        const auto store = sites::store::Store::open(dir.path(), &error);
        QVERIFY2(store, qPrintable(error));
        QFile pending(dir.filePath("pending.tsv"));
        QVERIFY(pending.open(QIODevice::WriteOnly));
        pending.write("kept\t2027-01-11\n");
        pending.close();
        sites::zones::StoreSink zones(*store);
        QVERIFY2(zones.replaceZone("com", pending.fileName(), &error), qPrintable(error));
        // A directory opens as a file, and its reading fails.
        QVERIFY(QDir(dir.path()).mkdir("unreadable.tsv"));
        QVERIFY(!zones.replaceZone("com", dir.filePath("unreadable.tsv"), &error));
        QCOMPARE(store->findName("kept.com"), (QList<sites::ListedDay>{{QDate(2027, 1, 11), true}}));
    }

    void configAddresses_data() {
        QTest::addColumn<QByteArray>("ini"); // null: no file at all
        QTest::addColumn<QString>("source");
        // "built-in": the address used without a file, over https
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("said"); // the line about the file, after its path
        const QByteArray mirror = "[se]\nnu = http://mirror.example/nu.json\n[czds]\nuser=x\n";
        QTest::newRow("no file") << QByteArray() << "top" << "built-in" << "";
        QTest::newRow("one address set") << mirror << "nu" << "http://mirror.example/nu.json" << "";
        QTest::newRow("the others built in") << mirror << "se" << "built-in" << "";
        QTest::newRow("not a web address") << QByteArray("[cnnic]\ntoday=file:///etc/passwd\n")
                                           << "cnnic-today" << "built-in"
                                           << ":2: [cnnic] today wants an http or https address";
    }
    void configAddresses() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, source);
        QFETCH(QString, url);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath("lumo-sites.conf");
        if (!ini.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        const auto urlOf = [&](const QList<sites::store::ListSource>& list) {
            for (const auto& s : list)
                if (s.id == source)
                    return s.url;
            return QUrl();
        };
        const QUrl builtIn = urlOf(sites::store::readSources(sites::settings::SettingsFile(dir.filePath("absent.conf"))));
        const sites::settings::SettingsFile file(path);
        const QList<sites::store::ListSource> sources = sites::store::readSources(file);
        QCOMPARE(sources.size(), 6);
        QCOMPARE(file.warnings().join(u'\n'),
                 said.isEmpty() ? QString() : path + said + "; using " + builtIn.toString());
        if (url == "built-in") {
            QCOMPARE(builtIn.scheme(), QStringLiteral("https"));
            QCOMPARE(urlOf(sources), builtIn);
        } else {
            QCOMPARE(urlOf(sources).toString(), url);
        }
    }

    // A list replaces its own days from today on: nothing of another list, nothing of a day
    // gone by; a name listed again keeps its first sighting.
    void replaceKeepsWhatItMust() {
        QTemporaryDir dir;
        QString error;
        const auto store = sites::store::Store::open(dir.path(), &error);
        QVERIFY2(store, qPrintable(error));
        const QDate day(2026, 12, 7), next = day.addDays(1);
        const QDateTime first(day, QTime(1, 0), Qt::UTC), later(day, QTime(7, 0), Qt::UTC);
        auto cn = [](const QString& label, QDate on) {
            return sites::ListedName{label + ".cn", ".cn", int(label.size()), on};
        };
        QVERIFY(store->replaceDays("cnnic", {cn("aaa", day), cn("bbb", day)}, day, first, &error));
        QVERIFY(store->replaceDays("other", {cn("aaa", day)}, day, first, &error, true));
        QVERIFY(store->replaceDays("cnnic", {cn("bbb", day), cn("ccc", day)}, day, later, &error));
        // The next day: a late row for a day gone by is taken only while that day is not held.
        const QDate before = day.addDays(-1);
        QVERIFY(store->replaceDays("cnnic", {cn("ddd", day), cn("eee", next), cn("fff", before)},
                                   next, later, &error));
        QVERIFY(store->replaceDays("cnnic", {cn("ggg", before), cn("eee", next)}, next, later, &error));
        QCOMPARE(store->findName("aaa.cn"), (QList<sites::ListedDay>{{day, true}})); // still the other list's
        QCOMPARE(store->findName("ccc.cn"), QList<sites::ListedDay>{{day}});
        QCOMPARE(store->findName("ddd.cn"), QList<sites::ListedDay>{});
        QCOMPARE(store->findName("eee.cn"), QList<sites::ListedDay>{{next}});
        QCOMPARE(store->findName("fff.cn"), QList<sites::ListedDay>{{before}});
        QCOMPARE(store->findName("ggg.cn"), QList<sites::ListedDay>{});
        QStringList held;
        for (const sites::StoredDay& d : store->storedDays())
            held << QStringLiteral("%1 %2 %3 %4").arg(d.list, d.day.toString(Qt::ISODate)).arg(d.names).arg(d.approximate);
        QCOMPARE(held, QStringList({"cnnic 2026-12-06 1 0", "cnnic 2026-12-07 2 0",
                                    "other 2026-12-07 1 1", "cnnic 2026-12-08 1 0"}));
        QCOMPARE(store->count(day, ".cn", 3), 3); // aaa, bbb, ccc
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "peek");
        db.setDatabaseName(dir.filePath("lumo.sqlite"));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("SELECT name, source, first_seen, last_seen, approximate FROM names "
                           "ORDER BY name, source"));
        QStringList rows;
        while (query.next())
            rows << QStringList{query.value(0).toString(), query.value(1).toString(),
                                query.value(2).toString().left(16), query.value(3).toString().left(16),
                                query.value(4).toString()}
                        .join(' ');
        db.close();
        QCOMPARE(rows, QStringList({"aaa.cn other 2026-12-07T01:00 2026-12-07T01:00 1",
                                    "bbb.cn cnnic 2026-12-07T01:00 2026-12-07T07:00 0",
                                    "ccc.cn cnnic 2026-12-07T07:00 2026-12-07T07:00 0",
                                    "eee.cn cnnic 2026-12-07T07:00 2026-12-07T07:00 0",
                                    "fff.cn cnnic 2026-12-07T07:00 2026-12-07T07:00 0"}));
    }

    void registryDay_data() {
        QTest::addColumn<QByteArray>("zone"); // the machine's
        QTest::addColumn<QString>("clock");   // its local time
        QTest::addColumn<int>("format");
        QTest::addColumn<QDate>("day");
        const int cnnic = int(sites::store::ListFormat::Cnnic), top = int(sites::store::ListFormat::Top),
                  se = int(sites::store::ListFormat::Swedish);
        QTest::newRow("New York evening") << QByteArray("America/New_York") << "2026-12-08T21:00"
                                          << cnnic << QDate(2026, 12, 9);
        QTest::newRow("New York before noon") << QByteArray("America/New_York") << "2026-12-08T11:30"
                                              << top << QDate(2026, 12, 9);
        QTest::newRow("New York morning") << QByteArray("America/New_York") << "2026-12-08T10:30"
                                          << cnnic << QDate(2026, 12, 8);
        QTest::newRow("Beijing just past midnight") << QByteArray("Asia/Shanghai") << "2026-12-09T00:10"
                                                    << cnnic << QDate(2026, 12, 9);
        QTest::newRow("Sweden: its own day") << QByteArray("UTC") << "2026-12-08T23:30" << se
                                             << QDate(2026, 12, 9);
    }
    // A registry's today follows its own clock, whatever the machine's zone says.
    void registryDay() {
        QFETCH(QByteArray, zone);
        QFETCH(QString, clock);
        QFETCH(int, format);
        QFETCH(QDate, day);
        const QByteArray was = qgetenv("TZ");
        qputenv("TZ", zone);
        const auto restore = qScopeGuard([&] { was.isNull() ? qunsetenv("TZ") : qputenv("TZ", was); });
        const QDateTime now = QDateTime::fromString(clock, Qt::ISODate);
        // The machine's clock is in that zone: the row means what it says.
        QCOMPARE(now.offsetFromUtc(), QDateTime(now.date(), now.time(), QTimeZone(zone)).offsetFromUtc());
        QCOMPARE(sites::store::registryToday(sites::store::ListFormat(format), now), day);
    }

    void oneCellPerName_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("zone"); // a zone's estimate, else a CNNIC list
        for (const char* label : {"中国", "xn--fiqs8s", "XN--FIQS8S"}) {
            QTest::addRow("%s, list", label) << QString::fromUtf8(label) << false;
            QTest::addRow("%s, zone", label) << QString::fromUtf8(label) << true;
        }
    }
    // An IDN is one name in one cell, whichever form it came in: the U-label, 2 characters long.
    void oneCellPerName() {
        QFETCH(QString, label);
        QFETCH(bool, zone);
        QTemporaryDir dir;
        QString error;
        const auto store = sites::store::Store::open(dir.path(), &error);
        QVERIFY2(store, qPrintable(error));
        const QDate day(2027, 1, 11);
        const QString suffix = zone ? ".com" : ".cn";
        if (zone) {
            QFile pending(dir.filePath("pending.tsv"));
            QVERIFY(pending.open(QIODevice::WriteOnly));
            pending.write(label.toUtf8() + "\t2027-01-11\n");
            pending.close();
            sites::zones::StoreSink zones(*store);
            QVERIFY2(zones.replaceZone("com", pending.fileName(), &error), qPrintable(error));
        } else {
            const auto list = sites::sources::parseCnnic((label + suffix).toUtf8(), day);
            QVERIFY(store->replaceDays("cnnic", list.names, day, QDateTime::currentDateTimeUtc(),
                                       &error));
        }
        QCOMPARE(store->counts(day), (QMap<QString, QMap<int, qint64>>{{suffix, {{2, 1}}}}));
        QCOMPARE(store->names(day, suffix, 2, 0, 10), QStringList{"中国" + suffix});
    }

    // The pages' per-day records follow names written by another connection, and only them:
    // an RDAP answer or a fetch record kept elsewhere leaves them be.
    void dayRecordsFollowNameWrites() {
        QTemporaryDir dir;
        QString error;
        const auto serving = sites::store::Store::open(dir.path(), &error);
        const auto other = sites::store::Store::open(dir.path(), &error);
        QVERIFY2(serving && other, qPrintable(error));
        const QDate day(2026, 12, 7);
        const QDateTime now(day, QTime(1, 0), Qt::UTC);
        auto cn = [&](const QString& label) {
            return sites::ListedName{label + ".cn", ".cn", int(label.size()), day};
        };
        QVERIFY(other->replaceDays("cnnic", {cn("aaa"), cn("bbb")}, day, now, &error));
        QCOMPARE(serving->count(day, ".cn", 3), 2);
        QCOMPARE(serving->names(day, ".cn", 3, 0, 1), QStringList({"aaa.cn"}));
        QCOMPARE(serving->names(day, ".cn", 3, 1, 1), QStringList({"bbb.cn"}));
        QCOMPARE(serving->approximateSuffixes(day), QStringList());
        const qint64 before = serving->generation();
        other->keep("abc.com", {200, "{}", now});
        other->declare({{"cnnic-today", "cnnic", "http://127.0.0.1:9/1"}});
        other->recordFetch("cnnic-today", now, "ok", 2, {});
        QCOMPARE(serving->generation(), before);
        QVERIFY(other->replaceDays("czds-cn", {cn("aab")}, day, now, &error, true));
        QVERIFY(serving->generation() != before);
        QCOMPARE(serving->count(day, ".cn", 3), 3);
        QCOMPARE(serving->names(day, ".cn", 3, 1, 1), QStringList({"aab.cn"}));
        QCOMPARE(serving->approximateSuffixes(day), QStringList({".cn"}));
    }

    // A cell's pages are read in runs of names: a page across two runs, or past the end, still
    // gives exactly the names in name order.
    void pagesAcrossRuns_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("limit");
        QTest::newRow("first page") << 0 << 100;
        QTest::newRow("across a run") << 950 << 100;
        QTest::newRow("across two runs") << 990 << 1020;
        QTest::newRow("the last names") << 2450 << 100;
        QTest::newRow("past the end") << 2600 << 100;
    }
    void pagesAcrossRuns() {
        QFETCH(int, offset);
        QFETCH(int, limit);
        QTemporaryDir dir;
        QString error;
        const auto store = sites::store::Store::open(dir.path(), &error);
        QVERIFY2(store, qPrintable(error));
        const QDate day(2026, 12, 7);
        QList<sites::ListedName> names;
        QStringList all;
        for (int i = 0; i < 2500; ++i) {
            const QString label = QStringLiteral("n%1").arg(i, 4, 10, QLatin1Char('0'));
            names.append({label + ".cn", ".cn", 5, day});
            all.append(label + ".cn");
        }
        QVERIFY(store->replaceDays("cnnic", names, day, QDateTime(day, QTime(1, 0), Qt::UTC), &error));
        QCOMPARE(store->names(day, ".cn", 5, offset, limit), all.mid(offset, limit));
        // Asked again, from the runs already read.
        QCOMPARE(store->names(day, ".cn", 5, offset, limit), all.mid(offset, limit));
    }

    // An answer kept while another connection holds the write lock: the caller goes on at once
    // and finds it, and the store has it once the lock is let go.
    void keptAnswerWaitsOffTheCaller() {
        QTemporaryDir dir;
        QString error;
        const auto serving = sites::store::Store::open(dir.path(), &error);
        QVERIFY2(serving, qPrintable(error));
        sites::store::Writer writer(*serving, dir.path(), {}, {}, 0);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "holder");
            db.setDatabaseName(dir.filePath("lumo.sqlite"));
            QVERIFY(db.open());
            QSqlQuery hold(db);
            QVERIFY(hold.exec("BEGIN IMMEDIATE"));
            writer.keep("held.com", {200, "{\"ldhName\":\"held.com\"}", now});
            QVERIFY(writer.find("held.com", now.addSecs(-60)).has_value());
            QVERIFY(!serving->find("held.com", now.addSecs(-60)).has_value());
            QVERIFY(hold.exec("COMMIT"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(serving->find("held.com", now.addSecs(-60)).has_value(), 20000);
        QSqlDatabase::removeDatabase("holder");
    }

    // Two days of a zone: the names gone between them are served as the .com deletions of
    // their estimated day, and the zone is a row of the sources table.
    void zoneRowsServed() {
        const QString data = registries_.dir.filePath("zones");
        auto import = [&](const QStringList& labels, const QString& day) {
            QFile zone(registries_.dir.filePath("com.zone"));
            if (!zone.open(QIODevice::WriteOnly))
                return -1;
            zone.write("$ORIGIN com.\n@ 900 IN SOA a.gtld. nstld. 1 2 3 4 5\n");
            for (const QString& label : labels)
                zone.write(label.toLatin1() + " NS ns1.host.net.\n");
            zone.close();
            QProcess process;
            process.start(SitesProcess::program(), {"--import-zone", zone.fileName(), "--zone", "com",
                                                    "--day", day, "--data-dir", data});
            process.waitForFinished(60000);
            return process.exitCode();
        };
        QCOMPARE(import({"gone", "kept", "left", "stay"}, "2026-12-06"), 0);
        QCOMPARE(import({"here", "kept", "stay"}, "2026-12-07"), 0);
        QCOMPARE(daysOf(data, "gone.com"), QList<QDate>{QDate(2027, 1, 11)});

        SitesProcess sites({"--data-dir", data, "--config", registries_.config(), "--today",
                            "2027-01-11"});
        QVERIFY2(sites.start(), qPrintable(sites.errorString()));
        const QString base = sites.origin() + "/";
        const QJsonObject counts = QJsonDocument::fromJson(
            Module1::GetPageUtf8(base + "lumo/counts.json?date=2027-01-11").toUtf8()).object();
        QCOMPARE(counts["counts"][".com"]["4"].toInt(), 2);
        QVERIFY(counts["counts"][".net"].isNull()); // no zone imported
        QCOMPARE(counts["approximate"].toArray(), QJsonArray({".com"}));
        const QString page = Module1::GetPageUtf8(
            base + "deleteddomain.php?date=2027-01-11&t=inter&page=1&tld=.com&length=4");
        QCOMPARE(listing::namesOnPage(page, "href=" + base + "whois.php?domain=", 1000),
                 QStringList({"gone.com", "left.com"}));
        QVERIFY(page.contains("<p class=\"approximate\">"));
        const QJsonArray sources =
            QJsonDocument::fromJson(Module1::GetPageUtf8(base + "lumo/sources.json").toUtf8()).array();
        QCOMPARE(sources.size(), 7);
        QCOMPARE(sources[6]["source"].toString(), "czds-com");
        QCOMPARE(sources[6]["url"].toString(), "zone com of 2026-12-07");
        QCOMPARE(sources[6]["names"].toInt(), 3);
        QVERIFY(sources[6]["status"] == "ok" && sources[6]["error"].isNull());
    }

    // Nothing stored and no list to be had: the terminal is told, and the window gets the
    // generated names rather than an empty grid.
    void offlineNewcomer() {
        QTemporaryDir dir;
        const QString config = SitesProcess::offlineConfig(dir.path(), "offline.conf");
        QVERIFY(!config.isEmpty());
        SitesProcess sites({"--data-dir", dir.filePath("data"), "--config", config});
        QVERIFY2(sites.start(), qPrintable(sites.errorString()));
        const QString today = sites::formatDate(sites::siteToday(QDate::currentDate()));
        const auto summary = listing::parseDaySummary(
            Module1::GetPageUtf8(sites.origin() + "/deleteddate.php?date=" + today));
        QVERIFY(summary.count(3, 1).value_or("-").toInt() > 0);
        QString said;
        QTRY_VERIFY_WITH_TIMEOUT((said += sites.process().readAllStandardError())
                                     .contains("none is stored: serving generated names"), 20000);
        QVERIFY2(said.contains("cnnic-today: failed: "), qPrintable(said));
        auto json = [&](const QString& path) {
            return QJsonDocument::fromJson(Module1::GetPageUtf8(sites.origin() + path).toUtf8());
        };
        QCOMPARE(json("/lumo/counts.json?date=" + today)["generated"], QJsonValue(true));
        const QJsonArray rows = json("/lumo/sources.json").array();
        QCOMPARE(rows.size(), 7); // the generated names first, then the lists as they went
        QVERIFY(rows[0]["generated"] == true && rows[1]["generated"] == false &&
                rows[1]["status"] == "failed");
        // Another process fills the store: the next page takes it.
        QString error;
        const auto store = sites::store::Store::open(dir.filePath("data"), &error);
        QVERIFY2(store, qPrintable(error));
        const QDate day = QDate::currentDate();
        QVERIFY(store->replaceDays("se", {{"abcd.se", ".se", 4, day}}, day,
                                   QDateTime::currentDateTimeUtc(), &error));
        const QJsonObject counts = json("/lumo/counts.json?date=" + today).object();
        QVERIFY(counts["generated"] == false && counts["counts"][".se"]["4"] == 1);
        QVERIFY(Module1::GetPageUtf8(sites.origin() + "/deleteddate.php?date=" + today)
                    .contains("data-generated=\"0\""));
    }

    // A day gone by stays as it was stored; a day to come takes the latest list's word; the
    // pages serve both, the window's 2011 dates mapped onto the real days.
    void historyAcrossDays() {
        const QString data = registries_.dir.filePath("history");
        QCOMPARE(refresh(data, registries_.config(), "2026-12-07").exitCode, 0);
        // The next day, CNNIC's files not replaced yet: the same bytes are not the new days'.
        const Run stale = refresh(data, registries_.config(), "2026-12-08");
        QCOMPARE(stale.lines.mid(0, 3),
                 QStringList({"cnnic-today: unchanged, 120 names (still the list of 2026-12-07)",
                              "cnnic-tomorrow: unchanged, 120 names (still the list of 2026-12-08)",
                              "cnnic-dayafter: unchanged, 120 names (still the list of 2026-12-09)"}));
        QCOMPARE(daysOf(data, "t001x.cn"), QList<QDate>{QDate(2026, 12, 7)});
        QCOMPARE(daysOf(data, "m001x.cn"), QList<QDate>{QDate(2026, 12, 8)}); // yesterday's tomorrow
        registries_.serveDay("u", "v", "w");
        const auto restore = qScopeGuard([&] { registries_.serveDay("t", "m", "d"); });
        QCOMPARE(refresh(data, registries_.config(), "2026-12-08").exitCode, 0);
        QCOMPARE(daysOf(data, "t001x.cn"), QList<QDate>{QDate(2026, 12, 7)});
        QCOMPARE(daysOf(data, "m001x.cn"), QList<QDate>{}); // 12-08 now has today's list
        QCOMPARE(daysOf(data, "u001x.cn"), QList<QDate>{QDate(2026, 12, 8)});
        QCOMPARE(daysOf(data, "v001x.cn"), QList<QDate>{QDate(2026, 12, 9)});

        SitesProcess sites({"--data-dir", data, "--config", registries_.config(), "--today",
                            "2026-12-08"});
        QVERIFY2(sites.start(), qPrintable(sites.errorString()));
        const QString base = sites.origin() + "/";
        // 一天前 on the window: 2011-12-07 is 2026-12-07.
        const auto summary =
            listing::parseDaySummary(Module1::GetPageUtf8(base + "deleteddate.php?date=2011-12-07"));
        QCOMPARE(summary.printedDate.value_or(""), "2011-12-07");
        QCOMPARE(summary.count(5, 6).value_or(""), "120");
        QCOMPARE(summary.count(5, 7).value_or(""), "0");
        QCOMPARE(summary.count(3, 1).value_or(""), "-"); // no list for .com
        QCOMPARE(summary.count(7, 5).value_or(""), "-");
        const QString marker = "href=" + base + "whois.php?domain=";
        QStringList names;
        for (const char* page : {"1", "2"})
            names += listing::namesOnPage(
                Module1::GetPageUtf8(base + "deleteddomain.php?date=2011-12-07&t=cn&page=" +
                                     page + "&tld=.cn&length=5"),
                marker, 1000);
        QCOMPARE(names.size(), 120);
        QCOMPARE(names.first(), "t001x.cn");
        QCOMPARE(names.last(), "t120x.cn");
        // Real dates and any stored suffix, under either kind.
        QCOMPARE(listing::namesOnPage(
                     Module1::GetPageUtf8(base + "deleteddomain.php?date=2026-12-09&t=inter&page=2"
                                                 "&tld=.nu&length=4"),
                     marker, 1000)
                     .size(),
                 20);
        QVERIFY(Module1::GetPageUtf8(base + "DomainDel/?wd=T001X.cn")
                    .contains("删除时间：</td><td class=\"deltd1\">2026-12-07<"));

        const QJsonObject counts =
            QJsonDocument::fromJson(Module1::GetPageUtf8(base + "lumo/counts.json?date=2011-12-09").toUtf8())
                .object();
        QCOMPARE(counts["date"].toString(), "2026-12-09");
        QCOMPARE(counts["counts"][".cn"]["5"].toInt(), 120); // v..., not the day after's of 12-07
        QVERIFY(counts["counts"][".com.cn"].toObject().isEmpty());
        QCOMPARE(counts["counts"][".nu"]["4"].toInt(), 120);
        QVERIFY(counts["counts"][".biz"].isNull() && counts["counts"][".cn"].isObject());
        QCOMPARE(counts["nodata"].toArray(), QJsonArray({".se"})); // its list names 12-08 only
        QCOMPARE(counts["generated"], QJsonValue(false));
        const QJsonArray days =
            QJsonDocument::fromJson(Module1::GetPageUtf8(base + "lumo/days.json").toUtf8()).array();
        QCOMPARE(days.size(), 6);
        QCOMPARE(days[0].toObject(), (QJsonObject{{"key", "-2"}, {"site", "2011-12-06"}, {"date", "2026-12-06"}}));
        QCOMPARE(days[5].toObject(), (QJsonObject{{"key", "+3"}, {"site", "2011-12-11"}, {"date", "2026-12-11"}}));
        const QJsonArray stored =
            QJsonDocument::fromJson(Module1::GetPageUtf8(base + "lumo/stored.json").toUtf8()).array();
        QCOMPARE(stored.first().toObject(), (QJsonObject{{"list", "cnnic"}, {"day", "2026-12-07"},
                                                         {"names", 120}, {"approximate", false}}));
        QCOMPARE(stored.size(), 7); // cnnic 07-10, se 08, nu 09, top 09
        const QJsonArray sources =
            QJsonDocument::fromJson(Module1::GetPageUtf8(base + "lumo/sources.json").toUtf8()).array();
        QCOMPARE(sources.size(), 6);
        QCOMPARE(sources[3]["source"].toString(), "se");
        QCOMPARE(sources[3]["url"].toString(), registries_.server.origin() + "/se.json");
        QVERIFY(sources[3]["lastSuccess"].toString().endsWith(u'Z') && sources[3]["error"].isNull());
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
