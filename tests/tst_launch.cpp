// SPDX-License-Identifier: GPL-3.0-or-later
// How the bundled sites come up without a terminal: the window's own lumo-sites, and
// lumo-sites on a socket that a service manager hands over.
#include "fixtureserver.h"
#include "launch/bundledsites.h"
#include "net/module1.h"
#include "sitesprocess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

QUrl loopback(quint16 port) {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

// A port that nothing listens on: one the system hands out, let go at once.
quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// The bundled sites' version file answers at `origin`.
bool servesSites(const QUrl& origin) {
    return Module1::GetPageUtf8(origin.toString() + QStringLiteral("/lumo/rideve.txt"))
        .startsWith(QStringLiteral("8.8"));
}

} // namespace

class TstLaunch : public QObject {
    Q_OBJECT

private slots:
    void startFor_data();
    void startFor();
    void endsWithKilledParent();
    void servesHandedSocket();
};

void TstLaunch::startFor_data() {
    QTest::addColumn<bool>("occupied");
    QTest::addColumn<bool>("atBundledOrigin");
    QTest::addColumn<bool>("starts");
    QTest::newRow("nothing answers") << false << true << true;
    QTest::newRow("something answers") << true << true << false;
    QTest::newRow("another address") << false << false << false;
}

void TstLaunch::startFor() {
    QFETCH(bool, occupied);
    QFETCH(bool, atBundledOrigin);
    QFETCH(bool, starts);
    FixtureServer occupant;
    QVERIFY(occupant.listen());
    const QUrl origin = loopback(occupant.port());
    if (!occupied)
        occupant.close();
    const QUrl bundled = atBundledOrigin ? origin : loopback(freePort());
    // Where nothing may start, a stand-in notes that it ran.
    QTemporaryDir dir;
    const QString standIn = dir.filePath(QStringLiteral("sites")), ran = standIn + ".ran";
    QFile script(standIn);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\ntouch \"$0.ran\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    BundledSites sites;
    QCOMPARE(sites.startFor({origin.toString() + QStringLiteral("/")}, bundled,
                            starts ? SitesProcess::program() : standIn),
             starts);
    QVERIFY(!QFile::exists(ran));
    QCOMPARE(sites.running(), starts);
    if (starts) {
        QVERIFY(servesSites(origin));
        sites.stop();
    }
    QCOMPARE(BundledSites::answers(origin), occupied);
}

// The window may leave by _exit() or be killed; its lumo-sites must not stay behind.
void TstLaunch::endsWithKilledParent() {
    const QUrl origin = loopback(freePort());
    QProcess parent;
    parent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    parent.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--hold-sites"), origin.toString(), SitesProcess::program()});
    QVERIFY(parent.waitForReadyRead(15000));
    const pid_t sitesPid = pid_t(parent.readLine().trimmed().toLongLong());
    QVERIFY(sitesPid > 0);
    const auto orphan = qScopeGuard([&] {
        if (BundledSites::answers(origin))
            ::kill(sitesPid, SIGKILL);
    });
    QVERIFY(servesSites(origin));
    parent.kill();
    QVERIFY(parent.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(!BundledSites::answers(origin), 5000);
}

// The socket arrives as a service manager passes it: at descriptor 3, with LISTEN_FDS=1 and
// LISTEN_PID naming the process (the shell keeps its pid through exec).
void TstLaunch::servesHandedSocket() {
    QTcpServer handed;
    QVERIFY(handed.listen(QHostAddress::LocalHost));
    handed.pauseAccepting(); // the connections are the child's to take
    const int fd = int(handed.socketDescriptor());
    QProcess sites;
    sites.setEnvironment(QProcess::systemEnvironment() << QStringLiteral("LISTEN_FDS=1"));
    sites.setChildProcessModifier([fd] { fd == 3 ? fcntl(fd, F_SETFD, 0) : dup2(fd, 3); });
    // --port 0 would show as another port, should the handed socket be ignored.
    sites.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("export LISTEN_PID=$$; exec \"$0\" --port 0"),
                 SitesProcess::program()});
    QVERIFY(sites.waitForStarted(5000));
    const QUrl origin = loopback(handed.serverPort());
    handed.close();
    QVERIFY(sites.waitForReadyRead(15000));
    QCOMPARE(sites.readLine().trimmed(), "listening on " + origin.toString().toUtf8() + "/");
    QVERIFY(servesSites(origin));
    sites.terminate();
    QVERIFY(sites.waitForFinished(5000));
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Every lumo-sites started here, by the window's code or directly, serves generated names.
    qputenv("LUMO_SITES_DEMO", "1");
    if (argc == 4 && qstrcmp(argv[1], "--hold-sites") == 0) { // the window's stand-in
        const QUrl origin(QString::fromLocal8Bit(argv[2]));
        BundledSites sites;
        if (!sites.startFor({origin.toString() + QStringLiteral("/")}, origin,
                            QString::fromLocal8Bit(argv[3])))
            return 1;
        std::printf("%lld\n", sites.processId());
        std::fflush(stdout);
        return app.exec();
    }
    TstLaunch test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launch.moc"
