// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>

#include <memory>

class QCoreApplication;

namespace sites::store {
class Store;
}

// lumo-sites' four modes, each given what it takes from the command line, checked. Each
// returns the exit status.
namespace sites::modes {

// Bad use: a line on standard error, nothing done.
constexpr int BadUse = 2;

// Where the store and the settings are: the options', or the default ones.
struct Paths {
    QString dataDir;
    QString configFile;
};

struct ServeOptions {
    quint16 port = 8613;
    QString versionLine;
    QDate today;            // invalid: the clock's
    int cellSize = -1;      // -1: each cell its own names
    int staticBytes = -1;   // -1: no /static.html
    int delayMs = -1;       // -1: no delay
    double idleMinutes = 0; // 0: never ends by itself
    bool demo = false;      // generated names: no network, no store
};

// The listing service, the lookup service and the maker site, until quit.
int serve(QCoreApplication& app, const ServeOptions& options, const Paths& paths);
// `--refresh`: every list, then the zones when CZDS is set up, then the watched names.
int refresh(QCoreApplication& app, const Paths& paths, QDate today);
// `--import-zone FILE --zone NAME --day DATE`
int importZone(const Paths& paths, const QString& file, const QString& zone, QDate day);
// `--fetch-zones`
int fetchZones(const Paths& paths);

// "lumo-sites: " and the message on standard error; `fail` gives BadUse.
void say(const QString& message);
int fail(const QString& message);
// The store of the data directory; null, after a line saying why, when it cannot be opened.
std::unique_ptr<store::Store> openStore(const Paths& paths);

} // namespace sites::modes
