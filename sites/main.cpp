// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sites: the listing service, the lookup service and the maker site on one loopback port.
#include "handedsocket.h"
#include "idleexit.h"
#include "server.h"

#include "rdap/lookupservice.h"
#include "sitescore/calendar.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QStandardPaths>
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
    const QCommandLineOption idleExit(
        QStringLiteral("idle-exit"),
        QStringLiteral("End after MINUTES (0.01 to 1440) with no connection open; a program "
                       "that holds one open keeps the sites up."),
        QStringLiteral("MINUTES"));
    parser.addOption(idleExit);
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Serve made-up names and lookups; touch no network and keep no data."));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("Settings file (INI; default $XDG_CONFIG_HOME/lumo/lumo-sites.conf)."),
        QStringLiteral("FILE"));
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"), QStringLiteral("Where data is kept (default $XDG_DATA_HOME/lumo)."),
        QStringLiteral("DIR"));
    parser.addOption(demo);
    parser.addOption(config);
    parser.addOption(dataDir);

    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

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

    std::optional<sites::rdap::Settings> rdap;
    if (!parser.isSet(demo)) {
        const QString configFile =
            parser.isSet(config) ? parser.value(config)
                                 : QStandardPaths::writableLocation(
                                       QStandardPaths::GenericConfigLocation) +
                                       QStringLiteral("/lumo/lumo-sites.conf");
        const QString dataDirectory =
            parser.isSet(dataDir)
                ? parser.value(dataDir)
                : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                      QStringLiteral("/lumo");
        QString error;
        rdap = sites::rdap::readSettings(configFile, dataDirectory, &error);
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

    // Lookups from the registries' RDAP servers; the window gives up on a page silent for
    // 30 s, so one still waiting after 25 s is answered with the reason.
    sites::rdap::MemoryAnswerCache answers;
    if (rdap) {
        auto* lookups = new sites::rdap::LookupService(*rdap, &answers, &app);
        server.setLookup([lookups](const QString& name, const QDateTime& now, auto reply) {
            sites::rdap::answerLookup(*lookups, {}, name, now, 25'000, std::move(reply));
        });
    }

    std::printf("listening on http://127.0.0.1:%u/\n", unsigned(tcp->serverPort()));
    std::fflush(stdout);
    return app.exec();
}
