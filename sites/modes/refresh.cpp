// SPDX-License-Identifier: GPL-3.0-or-later
// `lumo-sites --refresh`, as the timer runs it: the lists, the zones, the watched names.
#include "modes/modes.h"

#include "net/httpclient.h"
#include "settings/settingsfile.h"
#include "store/config.h"
#include "store/refresher.h"
#include "store/store.h"
#include "watch/service.h"
#include "zones/czds.h"
#include "zones/zonecommands.h"
#include "zones/zonestore.h"

#include <QCoreApplication>
#include <cstdio>

namespace sites::modes {

namespace {

// Every list once, a line each; 1 when any failed.
int refreshLists(QCoreApplication& app, store::Store& store, const settings::SettingsFile& file,
                 QDate today) {
    store::Refresher refresher(store, store::readSources(file), today);
    refresher.setFetchInterval(store::fetchIntervalMs(file));
    int status = 0;
    QObject::connect(&refresher, &store::Refresher::finished, &app,
                     [&](const QList<store::RefreshResult>& results) {
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
    return status;
}

} // namespace

int refresh(QCoreApplication& app, const Paths& paths, QDate today) {
    const std::unique_ptr<store::Store> owned = openStore(paths);
    if (!owned)
        return BadUse;
    store::Store* stored = owned.get();
    const settings::SettingsFile file(paths.configFile);
    int status = refreshLists(app, *stored, file, today);
    // The zones follow the lists when CZDS is set up; they print their own lines.
    if (zones::readCzdsSettings(file).configured()) {
        net::HttpClient http;
        zones::StoreSink sink(*stored);
        if (zones::runFetchZones(http, paths.dataDir, paths.configFile, &sink) != 0)
            status = 1;
    }
    // The watched names last, so that their checks never hold the lists up.
    if (watch::runChecks(
            stored->directory(), paths.configFile,
            [stored](const QString& name) { return stored->findName(name); }, stored) != 0)
        status = 1;
    return status;
}

} // namespace sites::modes
