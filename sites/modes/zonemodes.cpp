// SPDX-License-Identifier: GPL-3.0-or-later
// The zone modes: one zone file the user has, or the day's zones from CZDS.
#include "modes/modes.h"

#include "net/httpclient.h"
#include "store/store.h"
#include "zones/zonecommands.h"
#include "zones/zonestore.h"

#include <memory>

namespace sites::modes {

int importZone(const Paths& paths, const QString& file, const QString& zone, QDate day) {
    const std::unique_ptr<store::Store> store = openStore(paths);
    if (!store)
        return BadUse;
    zones::StoreSink sink(*store);
    return zones::runImportZone(paths.dataDir, file, zone, day, &sink);
}

int fetchZones(const Paths& paths) {
    const std::unique_ptr<store::Store> store = openStore(paths);
    if (!store)
        return BadUse;
    net::HttpClient http;
    zones::StoreSink sink(*store);
    return zones::runFetchZones(http, paths.dataDir, paths.configFile, &sink);
}

} // namespace sites::modes
