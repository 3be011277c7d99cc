// lumo-sites: the listing service, the lookup service and the maker site on one loopback port.
#include "server.h"

#include "sitescore/calendar.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <cstdio>

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
    parser.addOption(help);
    parser.addOption(port);
    parser.addOption(versionLine);
    parser.addOption(today);

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

    auto* tcp = new QTcpServer(&app);
    if (!tcp->listen(QHostAddress::LocalHost, quint16(portNumber)))
        return fail(QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                        .arg(portNumber)
                        .arg(tcp->errorString()));

    SitesServer server(parser.value(versionLine), fixedToday);
    server.bind(tcp);

    std::printf("listening on http://127.0.0.1:%u/\n", unsigned(tcp->serverPort()));
    std::fflush(stdout);
    return app.exec();
}
