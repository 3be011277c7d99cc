// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites: the listing service, the lookup service and the maker site on one loopback port.
#include "handedsocket.h"
#include "server.h"

#include "net/httpclient.h"
#include "sitescore/calendar.h"
#include "zones/zonecommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <cstdio>
#include <optional>

namespace {

constexpr int BadUse = 2;

int fail(const QString& message) {
    std::fprintf(stderr, "lumo-sites: %s\n", qPrintable(message));
    return BadUse;
}

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
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("Where the store and the zones' days are kept (default $XDG_DATA_HOME/lumo)."),
        QStringLiteral("DIR"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("The settings file (default $XDG_CONFIG_HOME/lumo/lumo-sites.conf)."),
        QStringLiteral("FILE"));
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
    parser.addOptions({dataDir, config, importZone, zoneName, zoneDay, fetchZones});

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
        static const QRegularExpression zoneShape(QStringLiteral("^[a-z0-9-]{1,63}$"));
        if (!zoneShape.match(zone).hasMatch())
            return fail(QStringLiteral("--import-zone wants --zone, a top-level domain such as com"));
        const QDate day = QDate::fromString(parser.value(zoneDay), Qt::ISODate);
        if (!day.isValid())
            return fail(QStringLiteral("--import-zone wants --day YYYY-MM-DD, not '%1'")
                            .arg(parser.value(zoneDay)));
        return sites::zones::runImportZone(dataPath, parser.value(importZone), zone, day, nullptr);
    }
    if (parser.isSet(fetchZones)) {
        sites::net::HttpClient http;
        return sites::zones::runFetchZones(
            http, dataPath,
            parser.isSet(config) ? parser.value(config) : sites::zones::defaultConfigFile(), nullptr);
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

    auto* tcp = new QTcpServer(&app);
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

    std::printf("listening on http://127.0.0.1:%u/\n", unsigned(tcp->serverPort()));
    std::fflush(stdout);
    return app.exec();
}
