// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites: the listing service, the lookup service and the maker site on one loopback port.
#include "handedsocket.h"
#include "idleexit.h"
#include "server.h"

#include "rdap/lookuppage.h"
#include "rdap/lookupservice.h"
#include "rdap/memorycache.h"
#include "sitescore/calendar.h"
#include "store/config.h"
#include "store/refresher.h"
#include "store/store.h"
#include "store/writer.h"
#include "zones/zonestore.h"
#include "net/httpclient.h"
#include "zones/czds.h"
#include "zones/zonecommands.h"
#include "watch/service.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

constexpr int BadUse = 2;

int fail(const QString& message) {
    std::fprintf(stderr, "lumo-sites: %s\n", qPrintable(message));
    return BadUse;
}

void say(const QString& message) {
    std::fprintf(stderr, "lumo-sites: %s\n", qPrintable(message));
    std::fflush(stderr);
}

// The lists are fetched again this often while the sites run.
constexpr int RefreshEveryMs = 6 * 60 * 60 * 1000;

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumo-sites"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves the listing service, the lookup service and the maker site on "
                       "http://127.0.0.1:PORT/."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Port to listen on; 0 picks a free one (default 8613)."),
        QStringLiteral("N"), QStringLiteral("8613"));
    const QCommandLineOption versionLine(
        QStringLiteral("version-line"),
        QStringLiteral("First line of the version file /lumo/rideve.txt (default 8.8)."),
        QStringLiteral("TEXT"), QStringLiteral("8.8"));
    const QCommandLineOption today(
        QStringLiteral("today"),
        QStringLiteral("Pretend the local date is DATE (yyyy-MM-dd; carried into 2011 as usual)."),
        QStringLiteral("DATE"));
    // Benchmarks only: a list big enough to time, and a page that costs nothing to build.
    const QCommandLineOption cellSize(
        QStringLiteral("cell-size"),
        QStringLiteral("For benchmarks: every cell holds N names (0 to 1000000); past a day's "
                       "own names the lists repeat other days' names."),
        QStringLiteral("N"));
    const QCommandLineOption staticPage(
        QStringLiteral("static-page"),
        QStringLiteral("For benchmarks: also serve a fixed page of BYTES bytes (1 to 16777216) "
                       "at /static.html."),
        QStringLiteral("BYTES"));
    parser.addOption(help);
    parser.addOption(port);
    parser.addOption(versionLine);
    parser.addOption(today);
    parser.addOption(cellSize);
    parser.addOption(staticPage);
    const QCommandLineOption delay(
        QStringLiteral("delay-ms"),
        QStringLiteral("For benchmarks: answer every request N milliseconds late (0 to 60000), "
                       "serving other connections meanwhile."),
        QStringLiteral("N"));
    parser.addOption(delay);
    const QCommandLineOption idleExit(
        QStringLiteral("idle-exit"),
        QStringLiteral("End after MINUTES (0.01 to 1440) with no connection open; a program "
                       "that holds one open keeps the sites up."),
        QStringLiteral("MINUTES"));
    parser.addOption(idleExit);
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Serve generated names: no network, no store (also when LUMO_SITES_DEMO "
                       "is set, as in tests)."));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep the store of fetched lists in DIR (default $XDG_DATA_HOME/lumo)."),
        QStringLiteral("DIR"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Read the lists' addresses from FILE (default "
                       "$XDG_CONFIG_HOME/lumo/lumo-sites.conf; missing: the built-in ones)."),
        QStringLiteral("FILE"));
    const QCommandLineOption refresh(
        QStringLiteral("refresh"),
        QStringLiteral("Fetch every list now, print one line for each and exit: 0 when all were "
                       "fetched or unchanged, 1 when any failed."));
    parser.addOption(demo);
    parser.addOption(dataDir);
    parser.addOption(config);
    parser.addOption(refresh);
    const QCommandLineOption importZone(
        QStringLiteral("import-zone"),
        QStringLiteral("Import a zone file (FILE.zone or FILE.zone.gz) as the zone's names of "
                       "--day, then exit; needs --zone and --day."),
        QStringLiteral("FILE"));
    const QCommandLineOption zoneName(QStringLiteral("zone"),
                                      QStringLiteral("The zone of --import-zone, such as com."),
                                      QStringLiteral("NAME"));
    const QCommandLineOption zoneDay(QStringLiteral("day"),
                                     QStringLiteral("The day of --import-zone (yyyy-MM-dd)."),
                                     QStringLiteral("DATE"));
    const QCommandLineOption fetchZones(
        QStringLiteral("fetch-zones"),
        QStringLiteral("Download the zones of [czds] (each at most once a day) and import "
                       "them, then exit."));
    parser.addOptions({importZone, zoneName, zoneDay, fetchZones});

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    const QString dataPath =
        parser.isSet(dataDir) ? parser.value(dataDir) : sites::zones::defaultDataDir();
    if (parser.isSet(importZone)) {
        const QString zone = parser.value(zoneName).toLower();
        if (!sites::zones::validZoneName(zone))
            return fail(QStringLiteral("--import-zone wants --zone, a top-level domain such as com"));
        const QDate day = QDate::fromString(parser.value(zoneDay), Qt::ISODate);
        if (!day.isValid())
            return fail(QStringLiteral("--import-zone wants --day YYYY-MM-DD, not '%1'")
                            .arg(parser.value(zoneDay)));
        QString error;
        const std::unique_ptr<sites::store::Store> store = sites::store::Store::open(dataPath, &error);
        if (!store)
            return fail(QStringLiteral("cannot open the store in %1: %2").arg(dataPath, error));
        sites::zones::StoreSink sink(*store);
        return sites::zones::runImportZone(dataPath, parser.value(importZone), zone, day, &sink);
    }
    const QString configPath =
        parser.isSet(config) ? parser.value(config) : sites::zones::defaultConfigFile();
    if (parser.isSet(fetchZones)) {
        QString error;
        const std::unique_ptr<sites::store::Store> store = sites::store::Store::open(dataPath, &error);
        if (!store)
            return fail(QStringLiteral("cannot open the store in %1: %2").arg(dataPath, error));
        sites::net::HttpClient http;
        sites::zones::StoreSink sink(*store);
        return sites::zones::runFetchZones(http, dataPath, configPath, &sink);
    }

    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber > 65535)
        return fail(QStringLiteral("--port wants a number from 0 to 65535, not '%1'")
                        .arg(parser.value(port)));

    QDate fixedToday;
    if (parser.isSet(today)) {
        const std::optional<QDate> day = sites::parseDate(parser.value(today));
        if (!day)
            return fail(QStringLiteral("--today wants a date like 2011-03-05, not '%1'")
                            .arg(parser.value(today)));
        fixedToday = *day;
    }

    // A whole number from `low` to `high`, or -1 when the option is not set.
    auto bounded = [&](const QCommandLineOption& option, int low, int high) -> std::optional<int> {
        if (!parser.isSet(option))
            return -1;
        bool number = false;
        const int value = parser.value(option).toInt(&number);
        if (!number || value < low || value > high)
            return std::nullopt;
        return value;
    };
    const std::optional<int> names = bounded(cellSize, 0, 1'000'000);
    if (!names)
        return fail(QStringLiteral("--cell-size wants a number from 0 to 1000000, not '%1'")
                        .arg(parser.value(cellSize)));
    const std::optional<int> staticBytes = bounded(staticPage, 1, 16 << 20);
    if (!staticBytes)
        return fail(QStringLiteral("--static-page wants a number from 1 to 16777216, not '%1'")
                        .arg(parser.value(staticPage)));

    const std::optional<int> delayMs = bounded(delay, 0, 60'000);
    if (!delayMs)
        return fail(QStringLiteral("--delay-ms wants a number from 0 to 60000, not '%1'")
                        .arg(parser.value(delay)));

    double idleMinutes = 0;
    if (parser.isSet(idleExit)) {
        idleMinutes = parser.value(idleExit).toDouble(&ok);
        if (!ok || !(idleMinutes >= 0.01 && idleMinutes <= 1440)) // NaN too
            return fail(QStringLiteral("--idle-exit wants minutes from 0.01 to 1440, not '%1'")
                            .arg(parser.value(idleExit)));
    }

    const bool demoNames = parser.isSet(demo) || qEnvironmentVariableIsSet("LUMO_SITES_DEMO");
    if (demoNames && parser.isSet(refresh))
        return fail(QStringLiteral("--refresh fetches the real lists; it does not go with --demo"));
    QList<sites::store::ListSource> sources;
    std::unique_ptr<sites::store::Store> store;
    if (!demoNames) {
        QString error;
        sources = sites::store::readSources(
            parser.isSet(config) ? parser.value(config) : sites::store::defaultConfigPath(), &error);
        if (!error.isEmpty())
            return fail(error);
        const QString dir =
            parser.isSet(dataDir) ? parser.value(dataDir) : sites::store::defaultDataDir();
        store = sites::store::Store::open(dir, &error);
        if (!store) {
            if (parser.isSet(refresh))
                return fail(QStringLiteral("cannot open the store in %1: %2").arg(dir, error));
            say(QStringLiteral("cannot open the store in %1 (%2): serving demo names")
                    .arg(dir, error));
        }
    }
    if (parser.isSet(refresh)) {
        sites::store::Refresher refresher(*store, sources, fixedToday);
        refresher.setFetchInterval(sites::store::fetchIntervalMs(configPath));
        int status = 0;
        QObject::connect(&refresher, &sites::store::Refresher::finished, &app,
                         [&](const QList<sites::store::RefreshResult>& results) {
                             for (const auto& result : results) {
                                 std::printf("%s\n", qPrintable(refresher.line(result)));
                                 if (result.status == u"failed")
                                     status = 1;
                             }
                             std::fflush(stdout);
                             app.quit();
                         });
        refresher.start();
        app.exec();
        // The zones follow the lists when CZDS is set up; they print their own lines.
        if (sites::zones::readCzdsSettings(configPath).configured()) {
            sites::net::HttpClient http;
            sites::zones::StoreSink sink(*store);
            if (sites::zones::runFetchZones(http, dataPath, configPath, &sink) != 0)
                status = 1;
        }
        // The watched names last, so that their checks never hold the lists up.
        if (sites::watch::runChecks(store->directory(), configPath,
                                    [&](const QString& name) { return store->findName(name); },
                                    store.get()) != 0)
            status = 1;
        return status;
    }

    std::optional<sites::rdap::Settings> rdap;
    if (!demoNames) {
        QString error;
        rdap = sites::rdap::readSettings(
            parser.isSet(config) ? parser.value(config) : sites::store::defaultConfigPath(),
            parser.isSet(dataDir) ? parser.value(dataDir) : sites::store::defaultDataDir(), &error);
        if (!rdap)
            return fail(error);
    }

    auto* tcp = new sites::IdleServer(&app);
    // Under socket activation the service manager holds the port; --port does not apply.
    if (const int handed = sites::takeHandedSocket(); handed >= 0) {
        if (!tcp->setSocketDescriptor(handed))
            return fail(
                QStringLiteral("cannot take the handed socket: %1").arg(tcp->errorString()));
    } else if (!tcp->listen(QHostAddress::LocalHost, quint16(portNumber))) {
        return fail(QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                        .arg(portNumber)
                        .arg(tcp->errorString()));
    }

    SitesServer server(parser.value(versionLine), fixedToday);
    server.setCellSize(*names);
    server.setDelay(*delayMs);
    if (*staticBytes > 0)
        server.setStaticPage(*staticBytes);
    server.bind(tcp);
    if (idleMinutes > 0)
        tcp->quitWhenIdle(std::chrono::milliseconds(qint64(idleMinutes * 60'000)));

    // Fetching, parsing and storing, and the RDAP answers kept, go to a thread of their own:
    // no page waits for a write, nor for another process's.
    std::unique_ptr<sites::store::Writer> writer;
    if (store)
        writer = std::make_unique<sites::store::Writer>(
            *store, store->directory(), sources, fixedToday,
            sites::store::fetchIntervalMs(configPath));

    // Lookups from the registries' RDAP servers; the window gives up on a page silent for
    // 30 s, so one still waiting after 25 s is answered with the reason.
    sites::rdap::MemoryAnswerCache answers;
    if (rdap) {
        sites::rdap::AnswerCache* cache = writer ? static_cast<sites::rdap::AnswerCache*>(writer.get())
                                                 : &answers;
        auto* lookups = new sites::rdap::LookupService(*rdap, cache, &app);
        // A name on a stored list takes that list's day, marked when only a zone estimates it.
        std::function<QList<sites::ListedDay>(const QString&)> listedDays;
        if (store)
            listedDays = [stored = store.get()](const QString& name) { return stored->findName(name); };
        server.setLookup([lookups, listedDays](const QString& name, const QDateTime& now,
                                               auto reply) {
            sites::rdap::answerLookup(*lookups, listedDays, name, now, 25'000, std::move(reply));
        });
        if (store) {
            QString error;
            sites::store::Store* stored = store.get();
            if (auto* watch = sites::watch::WatchService::start(
                    rdap->dataDir, *lookups, listedDays, [stored] { return stored->generation(); },
                    rdap->interval, &app, &error))
                server.setWatch([watch](const QHttpServerRequest& request, quint16 port) {
                    return watch->answer(request, port);
                });
            else
                say(QStringLiteral("the watch list is not served: %1").arg(error));
        }
    }

    std::printf("listening on http://127.0.0.1:%u/\n", unsigned(tcp->serverPort()));
    std::fflush(stdout);

    if (store) {
        sites::store::Store* stored = store.get();
        // Generated names, marked so, while the store holds nothing: the pages ask it on every
        // request, so a fetch by this process or another switches them to the lists.
        stored->setFiledElsewhere(sites::zones::importedZones(stored->directory()));
        server.setSource(stored);
        QObject::connect(
            writer.get(), &sites::store::Writer::refreshed, &app,
            [stored](const QList<sites::store::RefreshResult>& results) {
                for (const auto& result : results)
                    if (result.status == u"failed")
                        say(sites::store::Refresher::line(result));
                if (!stored->holdsAnything())
                    say(QStringLiteral("no deletion list could be fetched and none is stored: "
                                       "serving generated names, marked so, until a fetch "
                                       "succeeds"));
            });
        auto* every = new QTimer(&app);
        QObject::connect(every, &QTimer::timeout, writer.get(), &sites::store::Writer::refresh);
        every->start(RefreshEveryMs);
        writer->refresh();
    }
    return app.exec();
}
