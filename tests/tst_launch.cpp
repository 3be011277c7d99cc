// SPDX-License-Identifier: GPL-3.0-or-later
// How the bundled sites come up without a terminal: lumo-sites shared by the user's programs,
// and lumo-sites on a socket that a service manager hands over.
#include "fixtureserver.h"
#include "launch/bundledsites.h"
#include "net/module1.h"
#include "sitesprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>

using Outcome = BundledSites::Outcome;
using Listener = BundledSites::Listener;
Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(Listener::Kind)

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

// Ends a lumo-sites that is no child of ours, and waits until its port is free.
bool endSites(qint64 pid, const QUrl& origin) {
    if (pid <= 0 || ::kill(pid_t(pid), SIGTERM) != 0)
        return false;
    QDeadlineTimer deadline(5000);
    while (BundledSites::answers(origin, 200) && !deadline.hasExpired())
        QThread::msleep(50);
    return !BundledSites::answers(origin, 200);
}

bool writeScript(const QString& path, const QByteArray& text) {
    QFile script(path);
    return QDir().mkpath(QFileInfo(path).path()) && script.open(QIODevice::WriteOnly) &&
           script.write(text) == text.size() &&
           script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class TstLaunch : public QObject {
    Q_OBJECT

private slots:
    void startFor_data();
    void startFor();
    void locate_data();
    void locate();
    void listenerIn_data();
    void listenerIn();
    void sharedByTwoPrograms();
    void endsWhenIdle();
    void servesHandedSocket_data();
    void servesHandedSocket();
};

void TstLaunch::startFor_data() {
    QTest::addColumn<bool>("occupied");
    QTest::addColumn<QString>("address"); // %1 is the bundled port
    QTest::addColumn<Outcome>("outcome");
    QTest::newRow("nothing answers") << false << "http://127.0.0.1:%1/" << Outcome::Started;
    QTest::newRow("the user's own answers") << true << "http://127.0.0.1:%1/" << Outcome::Shared;
    QTest::newRow("another port") << false << "http://127.0.0.1:1/" << Outcome::NotWanted;
    QTest::newRow("another host's port") << false << "http://192.0.2.1:%1" << Outcome::NotWanted;
}

void TstLaunch::startFor() {
    QFETCH(bool, occupied);
    QFETCH(QString, address);
    QFETCH(Outcome, outcome);
    FixtureServer occupant;
    QVERIFY(occupant.listen());
    const QUrl origin = loopback(occupant.port());
    if (!occupied)
        occupant.close();
    // Where nothing may start, a stand-in notes that it ran.
    QTemporaryDir dir;
    const QString standIn = dir.filePath(QStringLiteral("sites")), ran = standIn + ".ran";
    QVERIFY(writeScript(standIn, "#!/bin/sh\ntouch \"$0.ran\"\n"));

    BundledSites sites;
    const bool starts = outcome == Outcome::Started;
    QCOMPARE(sites.startFor({QString(address).replace("%1", QString::number(origin.port()))},
                            origin,
                            starts ? SitesProcess::program() : standIn),
             outcome);
    QVERIFY(!QFile::exists(ran));
    QCOMPARE(sites.processId() > 0, starts);
    QCOMPARE(sites.holds(), starts || outcome == Outcome::Shared);
    if (starts) {
        QVERIFY(servesSites(origin));
        sites.release();
        QVERIFY(endSites(sites.processId(), origin));
    }
    QCOMPARE(BundledSites::answers(origin), occupied);
}

void TstLaunch::locate_data() {
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QStringList>("present"); // lumo-sites files under the temporary folder
    QTest::addColumn<QString>("found");       // "" when none may be taken
    QTest::newRow("beside the program") << "bin" << QStringList{"bin", "install", "sites"} << "bin";
    QTest::newRow("install directory") << "bin" << QStringList{"install", "sites"} << "install";
    QTest::newRow("planted beside a copy") << "x/bin" << QStringList{"x/sites"} << "";
    QTest::newRow("in its build tree") << "build/src" << QStringList{"build/sites"}
                                       << "build/sites";
    QTest::newRow("outside its build tree") << "bin" << QStringList{"build/sites", "sites"} << "";
}

// The build tree is "build", its lumo-sites "build/sites/lumo-sites"; the install directory
// "install".
void TstLaunch::locate() {
    QFETCH(QString, programDir);
    QFETCH(QStringList, present);
    QFETCH(QString, found);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(programDir)));
    QVERIFY(QDir().mkpath(dir.filePath("build")));
    for (const QString& folder : present)
        QVERIFY(writeScript(dir.filePath(folder + "/lumo-sites"), "#!/bin/sh\n"));
    const QString expected =
        found.isEmpty() ? QString()
                        : QFileInfo(dir.filePath(found + "/lumo-sites")).canonicalFilePath();
    QCOMPARE(BundledSites::locate(dir.filePath(programDir), dir.filePath("install"),
                                  dir.filePath("build"), dir.filePath("build/sites/lumo-sites")),
             expected);
}

void TstLaunch::listenerIn_data() {
    QTest::addColumn<QByteArray>("tables");
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("uid");
    const QByteArray header = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                              "retrnsmt   uid  timeout inode\n";
    // Port 8613 is 21A5; 127.0.0.1 is printed 0100007F on this little-endian machine.
    const auto row = [](const char* local, const char* state, int uid) {
        return QByteArray("   0: ") + local + " 00000000:0000 " + state +
               " 00000000:00000000 00:00000000 00000000  " + QByteArray::number(uid) +
               "        0 4242 1 0000000000000000 100 0 0 10 0\n";
    };
    const QByteArray v6Any = "00000000000000000000000000000000:21A5";
    const QByteArray v6Mapped = "0000000000000000FFFF00000100007F:21A5";
    QTest::newRow("mine") << header + row("0100007F:21A5", "0A", 1000) << int(Listener::Me) << 0u;
    QTest::newRow("another user's") << header + row("0100007F:21A5", "0A", 1001)
                                    << int(Listener::Other) << 1001u;
    QTest::newRow("another user's on every address")
        << header + row("00000000:21A5", "0A", 0) << int(Listener::Other) << 0u;
    QTest::newRow("IPv6 any") << row(v6Any, "0A", 1002) << int(Listener::Other) << 1002u;
    QTest::newRow("IPv4-mapped") << row(v6Mapped, "0A", 1003) << int(Listener::Other) << 1003u;
    QTest::newRow("mine beside another user's")
        << header + row("0100007F:21A5", "0A", 1000) + row("00000000:21A5", "0A", 1004)
        << int(Listener::Other) << 1004u;
    QTest::newRow("another loopback address")
        << header + row("0200007F:21A5", "0A", 1001) << int(Listener::Nobody) << 0u;
    QTest::newRow("a connection, no listener")
        << header + row("0100007F:21A5", "01", 1001) << int(Listener::Nobody) << 0u;
}

void TstLaunch::listenerIn() {
    QFETCH(QByteArray, tables);
    QFETCH(int, kind);
    QFETCH(uint, uid);
    if (QSysInfo::ByteOrder != QSysInfo::LittleEndian)
        QSKIP("the rows are written as a little-endian kernel prints them");
    const Listener listener = BundledSites::listenerIn(tables, 8613, 1000);
    QCOMPARE(int(listener.kind), kind);
    if (kind == Listener::Other)
        QCOMPARE(listener.uid, uid);
}

// Two programs come up at once: one lumo-sites serves both, and the second goes on using it
// after the one that started it has ended.
void TstLaunch::sharedByTwoPrograms() {
    const QUrl origin = loopback(freePort());
    QProcess programs[2];
    for (QProcess& program : programs) {
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--share-sites"), origin.toString(), SitesProcess::program()});
    }
    qint64 sitesPid = 0;
    int starter = -1;
    for (int i = 0; i < 2; ++i) {
        QVERIFY(programs[i].waitForReadyRead(15000));
        const QList<QByteArray> line = programs[i].readLine().trimmed().split(' ');
        QCOMPARE(line.size(), 2);
        const auto outcome = Outcome(line.at(0).toInt());
        QVERIFY2(outcome == Outcome::Started || outcome == Outcome::Shared, line.at(0));
        if (outcome == Outcome::Started) {
            QCOMPARE(starter, -1); // one server only
            starter = i;
            sitesPid = line.at(1).toLongLong();
        }
    }
    QVERIFY(starter >= 0 && sitesPid > 0);
    const auto leftover = qScopeGuard([&] { endSites(sitesPid, origin); });
    QCOMPARE(BundledSites::listenerAt(origin.port()).kind, Listener::Me);

    programs[starter].kill();
    QVERIFY(programs[starter].waitForFinished(5000));
    QProcess& other = programs[1 - starter];
    other.write("fetch\n");
    QVERIFY(other.waitForReadyRead(15000));
    QCOMPARE(other.readLine().trimmed(), QByteArray("8.8"));
    other.closeWriteChannel();
    QVERIFY(other.waitForFinished(5000));
    // Nobody holds it now; it waits out its idle time.
    QVERIFY(servesSites(origin));
}

// Held open, even without a request, a connection keeps the sites up; without one they end.
void TstLaunch::endsWhenIdle() {
    SitesProcess sites({QStringLiteral("--idle-exit"), QStringLiteral("0.02")}); // 1.2 s
    QVERIFY2(sites.start(), qPrintable(sites.errorString()));
    QTcpSocket held;
    held.connectToHost(QHostAddress::LocalHost, sites.port());
    QVERIFY(held.waitForConnected(5000));
    QTest::qWait(2500);
    QCOMPARE(sites.process().state(), QProcess::Running);
    held.disconnectFromHost();
    QVERIFY(sites.process().waitForFinished(10000));
    QCOMPARE(sites.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(sites.process().exitCode(), 0);
}

void TstLaunch::servesHandedSocket_data() {
    QTest::addColumn<QString>("listenPid"); // shell words for LISTEN_PID
    QTest::addColumn<bool>("taken");
    QTest::newRow("LISTEN_PID is lumo-sites") << "$$" << true;
    QTest::newRow("LISTEN_PID is another process") << "$PPID" << false;
}

// The socket arrives as a service manager passes it: at descriptor 3, with LISTEN_FDS=1 and
// LISTEN_PID naming the process (the shell keeps its pid through exec).
void TstLaunch::servesHandedSocket() {
    QFETCH(QString, listenPid);
    QFETCH(bool, taken);
    QTcpServer handed;
    QVERIFY(handed.listen(QHostAddress::LocalHost));
    handed.pauseAccepting(); // the connections are the child's to take
    const int fd = int(handed.socketDescriptor());
    QProcess sites;
    sites.setEnvironment(QProcess::systemEnvironment() << QStringLiteral("LISTEN_FDS=1"));
    sites.setChildProcessModifier([fd] { fd == 3 ? fcntl(fd, F_SETFD, 0) : dup2(fd, 3); });
    // --port 0 shows as another port when the handed socket is left alone.
    sites.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("export LISTEN_PID=%1; exec \"$0\" --port 0").arg(listenPid),
                 SitesProcess::program()});
    QVERIFY(sites.waitForStarted(5000));
    const QUrl origin = loopback(handed.serverPort());
    handed.close();
    QVERIFY(sites.waitForReadyRead(15000));
    const QByteArray line = sites.readLine().trimmed();
    QCOMPARE(line == "listening on " + origin.toString().toUtf8() + "/", taken);
    QVERIFY2(line.startsWith("listening on http://127.0.0.1:"), line);
    QVERIFY(servesSites(QUrl(QString::fromUtf8(line.mid(13)).chopped(1))));
    sites.terminate();
    QVERIFY(sites.waitForFinished(5000));
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Every lumo-sites started here, by the window's code or directly, serves generated names.
    qputenv("LUMO_SITES_DEMO", "1");
    // One of the programs sharing the sites: says how it found them, then fetches the version
    // file for each line it reads, until its input ends.
    if (argc == 4 && qstrcmp(argv[1], "--share-sites") == 0) {
        const QUrl origin(QString::fromLocal8Bit(argv[2]));
        BundledSites sites;
        const Outcome outcome = sites.startFor({origin.toString() + QStringLiteral("/")}, origin,
                                               QString::fromLocal8Bit(argv[3]));
        std::printf("%d %lld\n", int(outcome), sites.processId());
        std::fflush(stdout);
        for (std::string line; std::getline(std::cin, line);) {
            const QString version =
                Module1::GetPageUtf8(origin.toString() + QStringLiteral("/lumo/rideve.txt"));
            std::printf("%s\n", qPrintable(version.section(u'\r', 0, 0).trimmed()));
            std::fflush(stdout);
        }
        return 0;
    }
    TstLaunch test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launch.moc"
