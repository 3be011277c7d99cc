// SPDX-License-Identifier: GPL-3.0-or-later
#include "fixtureserver.h"
#include "net/httpclient.h"
#include "settings/settingsfile.h"
#include "zones/czds.h"
#include "zones/namefiles.h"
#include "zones/zonecommands.h"
#include "zones/zonefile.h"
#include "zones/zoneimport.h"
#include "zones/zoneparser.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <zlib.h>

namespace {

QByteArray gzip(const QByteArray& text) {
    QByteArray out(int(compressBound(uLong(text.size()))) + 64, '\0');
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    s.avail_in = uInt(text.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(qsizetype(s.total_out));
    deflateEnd(&s);
    return out;
}

// A small .com zone: its SOA, then two NS records for each name.
QByteArray zoneOf(const QStringList& labels, const QByteArray& serial = "1") {
    QByteArray text = "$ORIGIN com.\n@ 900 IN SOA a.gtld. nstld. " + serial + " 2 3 4 5\n";
    for (const QString& label : labels)
        text += label.toLatin1() + " NS ns1.host.net.\n" + label.toLatin1() + " NS ns2.host.net.\n";
    return text;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList linesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<missing>")};
    return QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// A loopback CZDS: sign-in, the links and one zone file.
struct CzdsFixture {
    FixtureServer server;
    QByteArray zoneFile, lastModified;
    bool redirectSignIn = false, foreignLink = false;
    int downloads = 0; // zone files sent whole
    const QByteArray password = "pa55-w0rd", token = "tok-Zq81";

    CzdsFixture() {
        server.listen();
        server.respond = [this](const FixtureServer::Request& r) { return std::optional(answer(r)); };
    }
    QString origin() const { return server.origin(); }
    QList<FixtureServer::Request> requests() const { return server.requests(); }

private:
    FixtureServer::Reply answer(const FixtureServer::Request& r) {
        const QByteArray refusal = R"({"message":"Authentication failed"})";
        const bool bearer = r.headers.value("authorization") == "Bearer " + token;
        const QString home = foreignLink ? QString(origin()).replace("127.0.0.1", "localhost") : origin();
        const bool zone = r.target == "/czds/downloads/com.zone" && bearer;
        if (r.target == "/api/authenticate" && redirectSignIn)
            return FixtureServer::answer(refusal, 307).with("Location", home.toUtf8().replace("127.0.0.1", "localhost") + "/api/authenticate");
        if (r.target == "/api/authenticate" && QJsonDocument::fromJson(r.body)["password"].toString().toUtf8() == password)
            return FixtureServer::answer(R"({"accessToken":")" + token + R"(","message":"ok"})");
        if (r.target == "/czds/downloads/links" && bearer)
            return FixtureServer::answer(QJsonDocument(QJsonArray{home + "/czds/downloads/com.zone",
                                                                  origin() + "/czds/downloads/xyz.zone"}).toJson());
        if (zone && !lastModified.isEmpty() && r.headers.value("if-modified-since") == lastModified)
            return FixtureServer::answer({}, 304);
        if (!zone)
            return FixtureServer::answer(refusal, 401);
        ++downloads;
        return lastModified.isEmpty() ? FixtureServer::answer(zoneFile)
                                      : FixtureServer::answer(zoneFile).with("Last-Modified", lastModified);
    }
};

// A data directory with the account set up against `czds`; returns the configuration file.
QString setUpAccount(const QTemporaryDir& dir, const CzdsFixture& czds, const QByteArray& extra = {}) {
    writeFile(dir.filePath("pw"), czds.password + "\n");
    QFile::setPermissions(dir.filePath("pw"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    writeFile(dir.filePath("conf"), "[czds]\nusername=me@example.org\npassword_file=" + dir.filePath("pw").toUtf8() +
              "\nauth_url=" + czds.origin().toUtf8() + "/api/authenticate\nlinks_url=" + czds.origin().toUtf8() +
              "/czds/downloads/links\nzones=com\n" + extra);
    return dir.filePath("conf");
}

} // namespace

class ZonesTest : public QObject {
    Q_OBJECT
private slots:
    void parser_data();
    void parser();
    void pieceBoundaries();
    void sortsInRuns();
    void gzipGates_data();
    void gzipGates();
    void daysAndEstimates();
    void refusedDaysListNothing_data();
    void refusedDaysListNothing();
    void czdsSignInAndDownload_data();
    void czdsSignInAndDownload();
    void fetchDecides_data();
    void fetchDecides();
    void oneImportAtATime();
    void secretsStayHome_data();
    void secretsStayHome();
    void wrongSettingsFallBack_data();
    void wrongSettingsFallBack();
};

void ZonesTest::parser_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<bool>("soa");

    const QByteArray soa = "com. 900 IN SOA a.gtld-servers.net. nstld.verisign-grs.com. 1 2 3 4 5\n";
    QTest::newRow("relative and absolute owners")
        << soa + "example NS ns1.example\nOTHER.com. 172800 IN NS ns.other.net.\n"
        << QStringList{"example", "other"} << true;
    QTest::newRow("owner inherited from the record before")
        << soa + "shop 3600 NS a.shop.net.\n\tNS b.shop.net.\n  IN DS 1 2 3 ABCD\nnext NS a.\n"
        << QStringList{"shop", "next"} << true;
    QTest::newRow("a blank-led line's TTL or class is not its owner")
        << soa + "glued A 192.0.2.1\n 3600 NS x.\n\tIN NS y.\n" << QStringList{"glued"} << true;
    QTest::newRow("glue, DS owners and NS hosts do not count")
        << soa + "ns1.example.com. A 192.0.2.1\nexample.com. DS 1 8 2 AB\nlone.com. A 192.0.2.9\n"
                 "withns.com. NS ns1.example.com.\n"
        << QStringList{"withns"} << true;
    QTest::newRow("$ORIGIN switches, relative and absolute")
        << QByteArray("$ORIGIN net.\n@ SOA a. b. 1 2 3 4 5\nwrong NS a.\n$ORIGIN com.\n@ SOA a. b. 1 2 3 4 5\n"
           "right NS a.\n$ORIGIN sub.com.\ndeep NS a.\n$ORIGIN com.\nback NS a.\n")
        << QStringList{"right", "back"} << true;
    QTest::newRow("$TTL, TTL with units, class before or after it")
        << "$TTL 86400\n" + soa + "a 1h30m IN NS x.\nb IN 2D NS x.\nc in ns x.\nd CLASS1 TYPE2 x.\n"
        << QStringList{"a", "b", "c", "d"} << true;
    QTest::newRow("SOA over several lines in parentheses, comments inside")
        << QByteArray("@ IN SOA a.gtld. nstld. (\n 1 ; serial\n 2 ; refresh ( not one\n 3 4\n 5 )\nafter NS x.\n")
        << QStringList{"after"} << true;
    QTest::newRow("comments, quoted strings, blank lines, CRLF")
        << soa + "; a comment NS line.com.\n\r\ntxt.com. TXT \"a ; b\" \"c (\"\r\nq NS x. ; trailing\r\n"
        << QStringList{"q"} << true;
    QTest::newRow("mixed case comes out lowercased, no repeats back to back")
        << soa + "MiXeD NS A.\nmixed NS B.\nMIXED.COM. NS C.\n"
        << QStringList{"mixed"} << true;
    QTest::newRow("names outside the zone and the apex's own NS")
        << soa + "com. NS a.gtld.\nexample.net. NS x.\nfoocom. NS x.\n@ NS b.gtld.\n"
        << QStringList{} << true;
    QTest::newRow("no SOA at the apex")
        << QByteArray("sub.com. SOA a. b. 1 2 3 4 5\nname NS x.\n") << QStringList{"name"} << false;
    QTest::newRow("escapes and odd characters are skipped")
        << soa + "we\\.ird NS x.\nsp\\032ace NS x.\nok-1_ NS x.\n" << QStringList{"ok-1_"} << true;
    QTest::newRow("last line without its newline") << soa + "end NS x." << QStringList{"end"} << true;
}

void ZonesTest::parser() {
    QFETCH(QByteArray, zone);
    QFETCH(QStringList, labels);
    QFETCH(bool, soa);
    QStringList seen;
    sites::zones::ZoneParser parser("COM.", [&](std::string_view label) {
        seen << QString::fromLatin1(label.data(), qsizetype(label.size()));
    });
    parser.feed(zone.constData(), std::size_t(zone.size()));
    parser.finish();
    QCOMPARE(seen, labels);
    QCOMPARE(parser.sawSoa(), soa);
    QVERIFY(parser.error().empty());
}

// The same zone cut at every byte, and gzip'ed, gives the same names.
void ZonesTest::pieceBoundaries() {
    const QByteArray zone = zoneOf({"alpha", "beta", "gamma"}) + "multi IN NS (\n x. )\n";
    for (qsizetype cut = 0; cut <= zone.size(); ++cut) {
        QStringList seen;
        sites::zones::ZoneParser parser("com", [&](std::string_view l) { seen << QString::fromLatin1(l.data(), qsizetype(l.size())); });
        parser.feed(zone.constData(), std::size_t(cut));
        parser.feed(zone.constData() + cut, std::size_t(zone.size() - cut));
        parser.finish();
        QCOMPARE(seen, (QStringList{"alpha", "beta", "gamma", "multi"}));
    }
    const QByteArray packed = gzip(zone);
    QByteArray text;
    const auto read = sites::zones::readZoneBytes(packed.constData(), std::size_t(packed.size()),
                                                  [&](const char* d, std::size_t n) { text.append(d, qsizetype(n)); });
    QVERIFY(read.ok);
    QCOMPARE(text, zone);
}

// Runs far smaller than the names force many spills; the merge still gives one sorted set.
void ZonesTest::sortsInRuns() {
    QTemporaryDir dir;
    sites::zones::NameSorter sorter(dir.path(), 4096);
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        const QString name = QString::number((i * 7919) % 1000, 36) + (i % 3 ? "x" : "");
        sorter.add(name.toStdString());
        expected << name;
    }
    expected.removeDuplicates();
    std::sort(expected.begin(), expected.end());
    std::uint64_t count = 0;
    QString error;
    QVERIFY2(sorter.finish(dir.filePath("out"), &count, &error), qPrintable(error));
    QCOMPARE(linesOf(dir.filePath("out")), expected);
    QCOMPARE(qsizetype(count), expected.size());
    QCOMPARE(QDir(dir.path()).entryList({"run-*"}).size(), 0);
}

void ZonesTest::gzipGates_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const QByteArray packed = gzip(zoneOf({"one", "two"}));
    QTest::newRow("whole") << packed << QString();
    QTest::newRow("two members, as zcat reads them") << packed + gzip("three NS x.\n") << QString();
    QTest::newRow("cut short") << packed.left(packed.size() - 6) << "the gzip file is cut short";
    QByteArray damaged = packed;
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);
    damaged[12] = char(0xff);
    QTest::newRow("damaged") << damaged << "the gzip data is damaged";
}

void ZonesTest::gzipGates() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QTemporaryDir dir;
    writeFile(dir.filePath("z.gz"), bytes);
    const auto fromFile = sites::zones::readZoneFile(dir.filePath("z.gz"), [](const char*, std::size_t, std::uint64_t) {});
    const auto fromBytes = sites::zones::readZoneBytes(bytes.constData(), std::size_t(bytes.size()), [](const char*, std::size_t) {});
    QCOMPARE(fromFile.ok, error.isEmpty());
    QCOMPARE(fromBytes.ok, error.isEmpty());
    QVERIFY2(fromFile.error.startsWith(error), qPrintable(fromFile.error));
    QCOMPARE(fromFile.fileBytes, std::uint64_t(bytes.size()));
}

// Three days: names leave, arrive and come back; the estimate follows.
void ZonesTest::daysAndEstimates() {
    QTemporaryDir dir;
    struct Sink : sites::zones::DeletionSink {
        QStringList rows;
        bool replaceZone(const QString& zone, const QString& file, QString*) override {
            rows.clear();
            sites::zones::readPending(file, [&](std::string_view label, QDate day) {
                rows << zone + ":" + QString::fromLatin1(label.data(), qsizetype(label.size())) + "@" + day.toString(Qt::ISODate);
            });
            return true;
        }
    } sink;
    auto import = [&](const QStringList& labels, QDate day) {
        writeFile(dir.filePath("in.zone.gz"), gzip(zoneOf(labels)));
        return sites::zones::importZone({dir.path(), "com", day, dir.filePath("in.zone.gz"), 1 << 12, {}, &sink});
    };
    const QDate d1(2026, 12, 1);
    auto r = import({"a", "b", "c", "d", "e"}, d1);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(sink.rows, QStringList());
    r = import({"a", "c", "e", "f", "new"}, d1.addDays(1));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.left, 2u);
    QCOMPARE(r.came, 2u);
    QCOMPARE(sink.rows, (QStringList{"com:b@2027-01-06", "com:d@2027-01-06"}));
    r = import({"a", "b", "c", "e", "f"}, d1.addDays(2)); // b comes back, new leaves
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.cameBack, 1u);
    QCOMPARE(sink.rows, (QStringList{"com:d@2027-01-06", "com:new@2027-01-07"}));
    // Only the two days a diff needs are kept; the status tells the sources table.
    const QString zoneDir = sites::zones::zoneDir(dir.path(), "com");
    QCOMPARE(QDir(zoneDir).entryList({"*.names"}), (QStringList{"2026-12-02.names", "2026-12-03.names"}));
    const auto status = sites::zones::readZoneStatus(dir.path(), "com");
    QCOMPARE(status.day, d1.addDays(2));
    QCOMPARE(status.names, 5);
    QVERIFY(status.error.isEmpty());
    // An older day than the last one cannot be diffed against it.
    r = import({"a"}, d1);
    QVERIFY(!r.ok);
    QVERIFY(r.error.contains("older"));
}

void ZonesTest::refusedDaysListNothing_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("error");
    const QByteArray whole = gzip(zoneOf({"a", "b", "c", "d", "e", "f", "g"}));
    QTest::newRow("cut short") << whole.left(whole.size() - 4) << "cut short";
    QTest::newRow("no SOA") << gzip("a.com. NS x.\nb.com. NS x.\nc.com. NS x.\nd.com. NS x.\n") << "no SOA";
    QTest::newRow("under half of yesterday") << gzip(zoneOf({"a", "b", "c"})) << "under half of the 8";
    QTest::newRow("no names") << gzip(zoneOf({})) << "no delegated names";
    QTest::newRow("not a zone") << QByteArray(2 << 20, 'x') << "not a zone file";
}

void ZonesTest::refusedDaysListNothing() {
    QFETCH(QByteArray, file);
    QFETCH(QString, error);
    QTemporaryDir dir;
    struct Sink : sites::zones::DeletionSink {
        int calls = 0;
        bool replaceZone(const QString&, const QString&, QString*) override { return ++calls; }
    } sink;
    const QDate day(2026, 12, 1);
    writeFile(dir.filePath("z"), gzip(zoneOf({"a", "b", "c", "d", "e", "f", "g", "h"})));
    QVERIFY(sites::zones::importZone({dir.path(), "com", day, dir.filePath("z"), 1 << 20, {}, &sink}).ok);
    writeFile(dir.filePath("z"), file);
    const auto r = sites::zones::importZone({dir.path(), "com", day.addDays(1), dir.filePath("z"), 1 << 20, {}, &sink});
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(error), qPrintable(r.error));
    QCOMPARE(sink.calls, 0);
    const auto status = sites::zones::readZoneStatus(dir.path(), "com");
    QCOMPARE(status.error, r.error);
    QCOMPARE(status.day, day);
    QCOMPARE(status.names, 8);
    const QString zoneDir = sites::zones::zoneDir(dir.path(), "com");
    QCOMPARE(QDir(zoneDir).entryList({"*.names"}), QStringList{"2026-12-01.names"});
    QVERIFY(!QFile::exists(zoneDir + "/pending.tsv"));
}

void ZonesTest::czdsSignInAndDownload_data() {
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("error");
    QTest::newRow("signed in, listed, downloaded") << QByteArray("pa55-w0rd") << 0600 << QString();
    QTest::newRow("wrong password") << QByteArray("guess") << 0600 << "CZDS refused the user name or password (HTTP 401)";
    QTest::newRow("password file readable by others") << QByteArray("pa55-w0rd") << 0640 << "may be read by others (mode 0640)";
}

void ZonesTest::czdsSignInAndDownload() {
    QFETCH(QByteArray, password);
    QFETCH(int, mode);
    QFETCH(QString, error);
    QTemporaryDir dir;
    CzdsFixture czds;
    czds.zoneFile = gzip(zoneOf({"a", "b"}));
    writeFile(dir.filePath("pw"), password + "\n");
    QFile::setPermissions(dir.filePath("pw"), QFileDevice::Permissions(
        (mode & 0600 ? QFileDevice::ReadOwner | QFileDevice::WriteOwner : QFileDevice::Permissions()) |
        (mode & 040 ? QFileDevice::ReadGroup : QFileDevice::Permissions())));
    writeFile(dir.filePath("conf"), "[czds]\nusername=me@example.org\npassword_file=" + dir.filePath("pw").toUtf8() +
              "\nauth_url=" + czds.origin().toUtf8() + "/api/authenticate\nlinks_url=" + czds.origin().toUtf8() +
              "/czds/downloads/links\nzones=com, net\n");
    const sites::zones::CzdsSettings settings =
        sites::zones::readCzdsSettings(sites::settings::SettingsFile(dir.filePath("conf")));
    QCOMPARE(settings.zones, (QStringList{"com", "net"}));
    sites::net::HttpClient http;
    http.setMinInterval(std::chrono::milliseconds(0));
    sites::zones::CzdsClient client(http, settings, dir.filePath("data"));

    QString why;
    const auto links = client.links(&why);
    QCOMPARE(why.contains(error), true);
    QVERIFY2(!why.contains(czds.password) && !why.contains(czds.token), qPrintable(why));
    if (!error.isEmpty()) {
        QVERIFY(!links);
        QVERIFY(!QFile::exists(client.tokenFile()));
        QCOMPARE(czds.requests().size(), mode == 0600 ? 1 : 0);
        return;
    }
    QVERIFY2(links, qPrintable(why));
    QCOMPARE(*links, QList<QUrl>{QUrl(czds.origin() + "/czds/downloads/com.zone")});
    QCOMPARE(QFile::permissions(client.tokenFile()) & 0x0077, QFileDevice::Permissions());
    const auto got = client.download(links->first(), {});
    QVERIFY2(got.error.isEmpty(), qPrintable(got.error));
    QFile file(got.file);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), czds.zoneFile);
    // Once a day: the second download is not made. A new client takes the token held.
    QVERIFY(client.download(links->first(), {}).tooSoon);
    sites::zones::CzdsClient later(http, settings, dir.filePath("data"));
    QVERIFY(later.links(&why));
    QStringList seen;
    for (const auto& r : czds.requests()) {
        seen << r.method + " " + r.target + (r.headers.value("authorization").isEmpty() ? "" : " bearer");
        QVERIFY(!r.target.contains(czds.token) && !r.target.contains(czds.password));
    }
    QCOMPARE(seen, (QStringList{"POST /api/authenticate", "GET /czds/downloads/links bearer",
                                "GET /czds/downloads/com.zone bearer", "GET /czds/downloads/links bearer"}));
}

// Each run of --fetch-zones, from what the last one left: whether it downloads, which day it
// imports, its exit code and whether the download stays for the next run.
void ZonesTest::fetchDecides_data() {
    QTest::addColumn<int>("priorDay");      // days before D of the day imported; 0: none
    QTest::addColumn<int>("stampHours");    // since the last download began; -1: none
    QTest::addColumn<bool>("sameFile");     // the last download was the file served now
    QTest::addColumn<bool>("keptFile");     // a refused import's download waits
    QTest::addColumn<QByteArray>("lastModified");
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<bool>("locked");
    QTest::addColumn<int>("downloads");
    QTest::addColumn<int>("dayAfter");      // days before D of the last day imported after; -1: none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("keptAfter");
    QTest::addColumn<QString>("statusError");

    const QStringList names{"a", "b", "c", "d", "e", "f", "g", "h"};
    const QByteArray good = gzip(zoneOf(names + QStringList{"i"}));
    const QByteArray late = "Mon, 07 Dec 2026 23:50:00 GMT"; // D, read after midnight
    QTest::newRow("first download: the file's day, not the download's")
        << 0 << -1 << false << false << late << good << false << 1 << 0 << 0 << false << QString();
    QTest::newRow("due, the next day") << 1 << 25 << false << false << late << good << false << 1 << 0 << 0 << false << QString();
    QTest::newRow("under 24 h since the last download began")
        << 1 << 23 << false << false << late << good << false << 0 << 1 << 0 << false << QString();
    QTest::newRow("unchanged since the last download")
        << 1 << 25 << true << false << late << good << false << 0 << 1 << 0 << false << QString();
    QTest::newRow("a day missed is a gap") << 2 << 25 << false << false << late << good << false << 1 << 0 << 1 << false << "no zone between 2026-12-05 and 2026-12-07";
    QTest::newRow("a refused import keeps its download")
        << 1 << 25 << false << false << late << good.left(good.size() - 5) << false << 1 << 1 << 1 << true << "cut short";
    QTest::newRow("the kept download imported again, not downloaded")
        << 1 << 2 << true << true << late << good << false << 0 << 0 << 0 << false << QString();
    QTest::newRow("no Last-Modified: the SOA serial's day")
        << 1 << -1 << false << false << QByteArray() << gzip(zoneOf(names, "2026120701")) << false << 1 << 0 << 0 << false << QString();
    QTest::newRow("no day at all: refused, kept")
        << 1 << -1 << false << false << QByteArray() << good << false << 1 << 1 << 1 << true << "names no day";
    QTest::newRow("a day already imported") << 0 << 25 << false << false << late << good << false << 1 << 0 << 0 << false << QString();
    QTest::newRow("another run holds the zone") << 1 << 25 << false << false << late << good << true << 0 << 1 << 1 << false << QString();
}

void ZonesTest::fetchDecides() {
    QFETCH(int, priorDay);
    QFETCH(int, stampHours);
    QFETCH(bool, sameFile);
    QFETCH(bool, keptFile);
    QFETCH(QByteArray, lastModified);
    QFETCH(QByteArray, served);
    QFETCH(bool, locked);
    QFETCH(int, downloads);
    QFETCH(int, dayAfter);
    QFETCH(int, exitCode);
    QFETCH(bool, keptAfter);
    QFETCH(QString, statusError);
    const QDate d(2026, 12, 7);
    QTemporaryDir dir;
    CzdsFixture czds;
    czds.zoneFile = served;
    czds.lastModified = lastModified;
    const QString conf = setUpAccount(dir, czds);
    const QString data = dir.filePath("data");
    const QString zoneDir = sites::zones::zoneDir(data, "com");
    const QStringList names{"a", "b", "c", "d", "e", "f", "g", "h"};
    if (priorDay > 0 || QTest::currentDataTag() == QByteArray("a day already imported")) {
        writeFile(dir.filePath("old.gz"), gzip(zoneOf(names)));
        QVERIFY(sites::zones::importZone({data, "com", d.addDays(-priorDay), dir.filePath("old.gz")}).ok);
    }
    if (stampHours >= 0) {
        const QJsonObject stamp{{"started", QDateTime::currentDateTimeUtc().addSecs(-3600 * stampHours).toString(Qt::ISODate)},
                                {"lastModified", QString::fromLatin1(sameFile ? lastModified : "Sun, 06 Dec 2026 06:00:00 GMT")},
                                {"day", (sameFile ? d : d.addDays(-1)).toString(Qt::ISODate)}};
        writeFile(zoneDir + "/downloaded", QJsonDocument(stamp).toJson());
    }
    if (keptFile)
        writeFile(zoneDir + "/com.zone.gz", served);
    std::optional<sites::zones::ZoneLock> other;
    if (locked)
        QVERIFY(other.emplace(data, "com").held());
    sites::net::HttpClient http;
    http.setMinInterval(std::chrono::milliseconds(0));
    QCOMPARE(sites::zones::runFetchZones(http, data, conf, nullptr), exitCode);
    QCOMPARE(czds.downloads, downloads);
    const auto status = sites::zones::readZoneStatus(data, "com");
    QCOMPARE(status.day, dayAfter < 0 ? QDate() : d.addDays(-dayAfter));
    QCOMPARE(QFile::exists(zoneDir + "/com.zone.gz"), keptAfter);
    QVERIFY2(statusError.isEmpty() ? status.error.isEmpty() : status.error.contains(statusError), qPrintable(status.error));
}

// A second import of a zone while one runs is turned away and touches nothing of the first's.
void ZonesTest::oneImportAtATime() {
    QTemporaryDir dir;
    const QDate day(2026, 12, 7);
    writeFile(dir.filePath("z.gz"), gzip(zoneOf({"a", "b", "c"})));
    writeFile(dir.filePath("y.gz"), gzip(zoneOf({"a", "b", "c", "d"})));
    QVERIFY(sites::zones::importZone({dir.path(), "com", day.addDays(-1), dir.filePath("y.gz")}).ok);
    sites::zones::ImportResult second;
    bool asked = false;
    sites::zones::ImportOptions first{dir.path(), "com", day, dir.filePath("z.gz")};
    first.progress = [&](const sites::zones::ImportProgress&) {
        if (!std::exchange(asked, true))
            second = sites::zones::importZone({dir.path(), "com", day, dir.filePath("y.gz")});
    };
    const auto r = sites::zones::importZone(first);
    QVERIFY(asked);
    QVERIFY(second.busy && !second.ok);
    QVERIFY2(second.error.contains(QStringLiteral("process %1").arg(QCoreApplication::applicationPid())), qPrintable(second.error));
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.left, 1u);
    QCOMPARE(r.pending, 1u);
    const auto status = sites::zones::readZoneStatus(dir.path(), "com");
    QCOMPARE(status.day, day);
    QCOMPARE(status.names, 3);
    QVERIFY(status.error.isEmpty());
    // The zone is free again once the first has ended.
    QVERIFY(sites::zones::ZoneLock(dir.path(), "com").held());
}

void ZonesTest::secretsStayHome_data() {
    QTest::addColumn<int>("fixture"); // 1: the sign-in redirects; 2: a link on another host
    QTest::addColumn<QString>("error");
    QTest::newRow("a redirected sign-in") << 1 << "auth_url answers with a redirect (HTTP 307)";
    QTest::newRow("a download link on another host") << 2 << "the link for com is not an https address of the links_url host";
}

void ZonesTest::secretsStayHome() {
    QFETCH(int, fixture);
    QFETCH(QString, error);
    QTemporaryDir dir;
    CzdsFixture czds;
    czds.redirectSignIn = fixture == 1;
    czds.foreignLink = fixture == 2;
    czds.zoneFile = gzip(zoneOf({"a"}));
    const QString conf = setUpAccount(dir, czds);
    sites::net::HttpClient http;
    http.setMinInterval(std::chrono::milliseconds(0));
    const QString data = dir.filePath("data/lumo");
    QCOMPARE(sites::zones::runFetchZones(http, data, conf, nullptr), 1);
    const QString text = sites::zones::readZoneStatus(data, "com").error;
    QVERIFY2(text.contains(error), qPrintable(text));
    QVERIFY(!text.contains(czds.password) && !text.contains(czds.token));
    QCOMPARE(czds.downloads, 0);
    for (const auto& r : czds.requests()) // a sign-in goes once, to auth_url, never on
        QVERIFY(r.target != "/czds/downloads/com.zone");
    QCOMPARE(czds.requests().size(), fixture == 1 ? 1 : 2);
}

// A wrong [czds] setting: a line naming it, never its value, and the built-in one in its place.
void ZonesTest::wrongSettingsFallBack_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("said"); // after the file's path
    QTest::newRow("auth_url over plain http")
        << QByteArray("auth_url=http://czds.example/api/authenticate?key=s3cret\n")
        << ":7: [czds] auth_url wants an https address (plain http only to this machine); "
           "using " + sites::zones::CzdsSettings().authUrl.toString();
    QTest::newRow("links_url over plain http")
        << QByteArray("links_url=http://s3cret@czds.example/links\n")
        << ":7: [czds] links_url wants an https address (plain http only to this machine); "
           "using " + sites::zones::CzdsSettings().linksUrl.toString();
    QTest::newRow("zones that climb out of the data directory")
        << QByteArray("zones=../x,../../s3cret\n")
        << ":7: [czds] zones wants top-level domains such as com,net; using com,net,org,info,biz";
}

void ZonesTest::wrongSettingsFallBack() {
    QFETCH(QByteArray, settings);
    QFETCH(QString, said);
    QTemporaryDir dir;
    CzdsFixture czds;
    const QString conf = setUpAccount(dir, czds, settings);
    const sites::settings::SettingsFile file(conf);
    const sites::zones::CzdsSettings got = sites::zones::readCzdsSettings(file);
    QCOMPARE(file.warnings(), QStringList{conf + said});
    const sites::zones::CzdsSettings builtIn;
    const QString key = said.section(u' ', 2, 2);
    QCOMPARE(got.authUrl, key == "auth_url" ? builtIn.authUrl : QUrl(czds.origin() + "/api/authenticate"));
    QCOMPARE(got.linksUrl, key == "links_url" ? builtIn.linksUrl : QUrl(czds.origin() + "/czds/downloads/links"));
    QCOMPARE(got.zones, key == "zones" ? builtIn.zones : QStringList{"com"});
    QVERIFY(got.configured());
}

QTEST_GUILESS_MAIN(ZonesTest)
#include "tst_zones.moc"
