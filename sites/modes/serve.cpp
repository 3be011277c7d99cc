// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites serving: the pages from the store (or generated names), the lookups, the watch
// list, and the lists fetched again every six hours.
#include "modes/modes.h"

#include "handedsocket.h"
#include "idleexit.h"
#include "server.h"

#include "rdap/lookuppage.h"
#include "rdap/lookupservice.h"
#include "rdap/memorycache.h"
#include "settings/settingsfile.h"
#include "store/config.h"
#include "store/refresher.h"
#include "store/store.h"
#include "store/writer.h"
#include "watch/service.h"
#include "zones/zonestore.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QTimer>
#include <cstdio>
#include <optional>

namespace sites::modes {

namespace {

// The lists are fetched again this often while the sites run.
constexpr int RefreshEveryMs = 6 * 60 * 60 * 1000;

// The socket a service manager handed over, or 127.0.0.1:port; null after a line saying why.
IdleServer* listenOn(QCoreApplication& app, quint16 port) {
    auto* tcp = new IdleServer(&app);
    // Under socket activation the service manager holds the port; --port does not apply.
    if (const int handed = takeHandedSocket(); handed >= 0) {
        if (!tcp->setSocketDescriptor(handed)) {
            say(QStringLiteral("cannot take the handed socket: %1").arg(tcp->errorString()));
            return nullptr;
        }
    } else if (!tcp->listen(QHostAddress::LocalHost, port)) {
        say(QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(tcp->errorString()));
        return nullptr;
    }
    return tcp;
}

// The watch list's pages, when the watch list can be had.
void serveWatch(QCoreApplication& app, SitesServer& server, const rdap::Settings& settings,
                rdap::LookupService& lookups, const watch::Checker::ListedDays& listedDays,
                store::Store& stored) {
    QString error;
    auto* watch = watch::WatchService::start(
        settings.dataDir, lookups, listedDays, [&stored] { return stored.generation(); },
        settings.interval, &app, &error);
    if (!watch) {
        say(QStringLiteral("the watch list is not served: %1").arg(error));
        return;
    }
    server.setWatch([watch](const QHttpServerRequest& request, quint16 port) {
        return watch->answer(request, port);
    });
}

// Lookups from the registries' RDAP servers; the window gives up on a page silent for 30 s,
// so one still waiting after 25 s is answered with the reason.
void serveLookups(QCoreApplication& app, SitesServer& server, const rdap::Settings& settings,
                  rdap::AnswerCache* cache, store::Store* stored) {
    auto* lookups = new rdap::LookupService(settings, cache, &app);
    // A name on a stored list takes that list's day, marked when only a zone estimates it.
    std::function<QList<ListedDay>(const QString&)> listedDays;
    if (stored)
        listedDays = [stored](const QString& name) { return stored->findName(name); };
    server.setLookup([lookups, listedDays](const QString& name, const QDateTime& now, auto reply) {
        rdap::answerLookup(*lookups, listedDays, name, now, 25'000, std::move(reply));
    });
    if (stored)
        serveWatch(app, server, settings, *lookups, listedDays, *stored);
}

// The stored lists served, fetched now and every six hours; generated names, marked so, while
// the store holds nothing.
void serveStore(QCoreApplication& app, SitesServer& server, store::Store& stored,
                store::Writer& writer) {
    // The pages ask the store on every request, so a fetch by this process or another
    // switches them to the lists.
    stored.setFiledElsewhere(zones::importedZones(stored.directory()));
    server.setSource(&stored);
    QObject::connect(&writer, &store::Writer::refreshed, &app,
                     [&stored](const QList<store::RefreshResult>& results) {
                         for (const auto& result : results)
                             if (result.status == u"failed")
                                 say(store::Refresher::line(result));
                         if (!stored.holdsAnything())
                             say(QStringLiteral("no deletion list could be fetched and none is "
                                                "stored: serving generated names, marked so, "
                                                "until a fetch succeeds"));
                     });
    auto* every = new QTimer(&app);
    QObject::connect(every, &QTimer::timeout, &writer, &store::Writer::refresh);
    every->start(RefreshEveryMs);
    writer.refresh();
}

void setUp(SitesServer& server, IdleServer& tcp, const ServeOptions& options) {
    server.setCellSize(options.cellSize);
    server.setDelay(options.delayMs);
    if (options.staticBytes > 0)
        server.setStaticPage(options.staticBytes);
    server.bind(&tcp);
    if (options.idleMinutes > 0)
        tcp.quitWhenIdle(std::chrono::milliseconds(qint64(options.idleMinutes * 60'000)));
}

} // namespace

int serve(QCoreApplication& app, const ServeOptions& options, const Paths& paths) {
    QList<store::ListSource> sources;
    int fetchIntervalMs = 1000;
    std::optional<rdap::Settings> lookupSettings;
    std::unique_ptr<store::Store> stored;
    if (!options.demo) {
        const settings::SettingsFile file(paths.configFile);
        sources = store::readSources(file);
        fetchIntervalMs = store::fetchIntervalMs(file);
        lookupSettings = rdap::readSettings(file, paths.dataDir);
        QString error;
        stored = store::Store::open(paths.dataDir, &error);
        if (!stored)
            say(QStringLiteral("cannot open the store in %1 (%2): serving demo names")
                    .arg(paths.dataDir, error));
    }
    IdleServer* tcp = listenOn(app, options.port);
    if (!tcp)
        return BadUse;
    SitesServer server(options.versionLine, options.today);
    setUp(server, *tcp, options);
    // Fetching, parsing and storing, and the RDAP answers kept, go to a thread of their own:
    // no page waits for a write, nor for another process's.
    std::unique_ptr<store::Writer> writer;
    if (stored)
        writer = std::make_unique<store::Writer>(*stored, stored->directory(), sources,
                                                 options.today, fetchIntervalMs);
    rdap::MemoryAnswerCache answers;
    if (lookupSettings)
        serveLookups(app, server, *lookupSettings,
                     writer ? static_cast<rdap::AnswerCache*>(writer.get()) : &answers,
                     stored.get());
    std::printf("listening on http://127.0.0.1:%u/\n", unsigned(tcp->serverPort()));
    std::fflush(stdout);
    if (stored)
        serveStore(app, server, *stored, *writer);
    return app.exec();
}

} // namespace sites::modes
