// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>

namespace sites::net {
class HttpClient;
}

// lumo-sites' zone commands: import a zone file the user has, or fetch the day's zones from
// CZDS and import them. Each prints one line per zone and shows progress on a terminal.
namespace sites::zones {

class DeletionSink;

// 0 when the zone became the day, 1 when it failed or was refused.
int runImportZone(const QString& dataDir, const QString& file, const QString& zone, QDate day,
                  DeletionSink* sink);
// 0 when every configured zone was imported or is not due yet, 1 when any failed; 2 when
// [czds] is not set up.
int runFetchZones(sites::net::HttpClient& http, const QString& dataDir, const QString& configFile,
                  DeletionSink* sink);

} // namespace sites::zones
