// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites: the listing service, the lookup service and the maker site on one loopback port.
// The command line is read here; the modes live in modes/.
#include "modes/modes.h"

#include "settings/settingsfile.h"
#include "sitescore/calendar.h"
#include "zones/czds.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <optional>

namespace {

using sites::modes::fail;

struct Options {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Port to listen on; 0 picks a free one (default 8613)."),
                            QStringLiteral("N"), QStringLiteral("8613")};
    QCommandLineOption versionLine{
        QStringLiteral("version-line"),
        QStringLiteral("First line of the version file /lumo/rideve.txt (default 8.8)."),
        QStringLiteral("TEXT"), QStringLiteral("8.8")};
    QCommandLineOption today{
        QStringLiteral("today"),
        QStringLiteral("Pretend the local date is DATE (yyyy-MM-dd; carried into 2011 as usual)."),
        QStringLiteral("DATE")};
    // Benchmarks only: a list big enough to time, and a page that costs nothing to build.
    QCommandLineOption cellSize{
        QStringLiteral("cell-size"),
        QStringLiteral("For benchmarks: every cell of the generated names holds N names (0 to "
                       "1000000); past a day's own names the lists repeat other days' names."),
        QStringLiteral("N")};
    QCommandLineOption staticPage{
        QStringLiteral("static-page"),
        QStringLiteral("For benchmarks: also serve a fixed page of BYTES bytes (1 to 16777216) "
                       "at /static.html."),
        QStringLiteral("BYTES")};
    QCommandLineOption delay{
        QStringLiteral("delay-ms"),
        QStringLiteral("For benchmarks: answer every request N milliseconds late (0 to 60000), "
                       "serving other connections meanwhile."),
        QStringLiteral("N")};
    QCommandLineOption idleExit{
        QStringLiteral("idle-exit"),
        QStringLiteral("End after MINUTES (0.01 to 1440) with no connection open; a program "
                       "that holds one open keeps the sites up."),
        QStringLiteral("MINUTES")};
    QCommandLineOption demo{
        QStringLiteral("demo"),
        QStringLiteral("Serve generated names: no network, no store (also when LUMO_SITES_DEMO "
                       "is set, as in tests).")};
    QCommandLineOption dataDir{
        QStringLiteral("data-dir"),
        QStringLiteral("Keep the store of fetched lists in DIR (default $XDG_DATA_HOME/lumo)."),
        QStringLiteral("DIR")};
    QCommandLineOption config{
        QStringLiteral("config"),
        QStringLiteral("Read the lists' addresses from FILE (default "
                       "$XDG_CONFIG_HOME/lumo/lumo-sites.conf; missing: the built-in ones)."),
        QStringLiteral("FILE")};
    QCommandLineOption refresh{
        QStringLiteral("refresh"),
        QStringLiteral("Fetch every list now, print one line for each and exit: 0 when all were "
                       "fetched or unchanged, 1 when any failed.")};
    QCommandLineOption importZone{
        QStringLiteral("import-zone"),
        QStringLiteral("Import a zone file (FILE.zone or FILE.zone.gz) as the zone's names of "
                       "--day, then exit; needs --zone and --day."),
        QStringLiteral("FILE")};
    QCommandLineOption zoneName{QStringLiteral("zone"),
                                QStringLiteral("The zone of --import-zone, such as com."),
                                QStringLiteral("NAME")};
    QCommandLineOption zoneDay{QStringLiteral("day"),
                               QStringLiteral("The day of --import-zone (yyyy-MM-dd)."),
                               QStringLiteral("DATE")};
    QCommandLineOption fetchZones{
        QStringLiteral("fetch-zones"),
        QStringLiteral("Download the zones of [czds] (each at most once a day) and import "
                       "them, then exit.")};

    QList<QCommandLineOption> all() const {
        return {help, port,    versionLine, today,   cellSize,   staticPage, delay,   idleExit,
                demo, dataDir, config,      refresh, importZone, zoneName,   zoneDay, fetchZones};
    }
};

// A line saying what is wrong; no options.
std::nullopt_t wrong(const QString& message) {
    fail(message);
    return std::nullopt;
}

// A whole number from `low` to `high`, -1 when the option is not set, none when it is wrong.
std::optional<int> bounded(const QCommandLineParser& parser, const QCommandLineOption& option,
                           int low, int high) {
    if (!parser.isSet(option))
        return -1;
    bool number = false;
    const int value = parser.value(option).toInt(&number);
    if (!number || value < low || value > high)
        return std::nullopt;
    return value;
}

// What serving (and --refresh's --today) takes from the command line; none after a line
// saying what is wrong.
std::optional<sites::modes::ServeOptions> serveOptions(const QCommandLineParser& parser,
                                                       const Options& o) {
    sites::modes::ServeOptions options;
    bool ok = false;
    const uint port = parser.value(o.port).toUInt(&ok);
    if (!ok || port > 65535)
        return wrong(QStringLiteral("--port wants a number from 0 to 65535, not '%1'")
                         .arg(parser.value(o.port)));
    options.port = quint16(port);
    options.versionLine = parser.value(o.versionLine);
    if (parser.isSet(o.today)) {
        const std::optional<QDate> day = sites::parseDate(parser.value(o.today));
        if (!day)
            return wrong(QStringLiteral("--today wants a date like 2011-03-05, not '%1'")
                             .arg(parser.value(o.today)));
        options.today = *day;
    }
    struct Bounded {
        const QCommandLineOption& option;
        int low, high;
        int* value;
    };
    for (const Bounded& b : {Bounded{o.cellSize, 0, 1'000'000, &options.cellSize},
                             Bounded{o.staticPage, 1, 16 << 20, &options.staticBytes},
                             Bounded{o.delay, 0, 60'000, &options.delayMs}}) {
        const std::optional<int> value = bounded(parser, b.option, b.low, b.high);
        if (!value)
            return wrong(QStringLiteral("--%1 wants a number from %2 to %3, not '%4'")
                             .arg(b.option.names().first())
                             .arg(b.low)
                             .arg(b.high)
                             .arg(parser.value(b.option)));
        *b.value = *value;
    }
    if (parser.isSet(o.idleExit)) {
        options.idleMinutes = parser.value(o.idleExit).toDouble(&ok);
        if (!ok || !(options.idleMinutes >= 0.01 && options.idleMinutes <= 1440)) // NaN too
            return wrong(QStringLiteral("--idle-exit wants minutes from 0.01 to 1440, not '%1'")
                             .arg(parser.value(o.idleExit)));
    }
    options.demo = parser.isSet(o.demo) || qEnvironmentVariableIsSet("LUMO_SITES_DEMO");
    return options;
}

int importZone(const QCommandLineParser& parser, const Options& o,
               const sites::modes::Paths& paths) {
    const QString zone = parser.value(o.zoneName).toLower();
    if (!sites::zones::validZoneName(zone))
        return fail(QStringLiteral("--import-zone wants --zone, a top-level domain such as com"));
    const QDate day = QDate::fromString(parser.value(o.zoneDay), Qt::ISODate);
    if (!day.isValid())
        return fail(QStringLiteral("--import-zone wants --day YYYY-MM-DD, not '%1'")
                        .arg(parser.value(o.zoneDay)));
    return sites::modes::importZone(paths, parser.value(o.importZone), zone, day);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumo-sites"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves the listing service, the lookup service and the maker site on "
                       "http://127.0.0.1:PORT/."));
    const Options o;
    parser.addOptions(o.all());
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(o.help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    const sites::modes::Paths paths{
        parser.isSet(o.dataDir) ? parser.value(o.dataDir) : sites::settings::defaultDataDir(),
        parser.isSet(o.config) ? parser.value(o.config) : sites::settings::defaultConfigFile()};
    if (parser.isSet(o.importZone))
        return importZone(parser, o, paths);
    if (parser.isSet(o.fetchZones))
        return sites::modes::fetchZones(paths);
    const std::optional<sites::modes::ServeOptions> options = serveOptions(parser, o);
    if (!options)
        return sites::modes::BadUse;
    if (parser.isSet(o.refresh)) {
        if (options->demo)
            return fail(
                QStringLiteral("--refresh fetches the real lists; it does not go with --demo"));
        return sites::modes::refresh(app, paths, options->today);
    }
    return sites::modes::serve(app, *options, paths);
}
