// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/bundledsites.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpSocket>
#include <algorithm>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr int HttpPort = 80;

bool sameOrigin(const QUrl& address, const QUrl& origin) {
    return address.isValid() &&
           address.scheme().compare(origin.scheme(), Qt::CaseInsensitive) == 0 &&
           address.host() == origin.host() && address.port(HttpPort) == origin.port(HttpPort);
}

} // namespace

QString BundledSites::locate(const QString& programDir) {
    const QString name = QStringLiteral("lumo-sites");
    const QDir dir(programDir);
    for (const QString& candidate :
         {dir.filePath(name), dir.filePath(QStringLiteral("../sites/") + name),
          dir.filePath(QStringLiteral("../../sites/") + name)}) { // lumo, lumo-cli in a build
        const QFileInfo file(candidate);
        if (file.isFile() && file.isExecutable())
            return file.canonicalFilePath();
    }
    return QStandardPaths::findExecutable(name);
}

BundledSites::BundledSites() {
    // Nobody reads what it prints once it listens, but a full pipe would stall it.
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_, [this] {
        if (listening_)
            process_.readAllStandardOutput();
    });
}

BundledSites::~BundledSites() {
    stop();
}

bool BundledSites::answers(const QUrl& origin, int timeoutMs) {
    QTcpSocket probe;
    probe.connectToHost(origin.host(), quint16(origin.port(HttpPort)));
    const bool connected = probe.waitForConnected(timeoutMs);
    probe.abort();
    return connected;
}

bool BundledSites::startFor(const QStringList& addresses) {
    return startFor(addresses, defaultOrigin(), locate(QCoreApplication::applicationDirPath()));
}

bool BundledSites::startFor(const QStringList& addresses, const QUrl& origin,
                            const QString& program, int timeoutMs) {
    stop();
    const bool wanted = std::any_of(addresses.begin(), addresses.end(),
                                    [&](const QString& a) { return sameOrigin(QUrl(a), origin); });
    if (!wanted || answers(origin))
        return false;
    if (program.isEmpty()) {
        qWarning("lumo: lumo-sites was not found");
        return false;
    }

    const pid_t parent = getpid();
    process_.setChildProcessModifier([parent] {
        // The window may leave with _exit() or be killed; the kernel then ends the sites too.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // Ctrl+C in the terminal is for the program, which ends the sites in its own time.
        setpgid(0, 0);
        if (getppid() != parent)
            _exit(1);
    });
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, {QStringLiteral("--port"), QString::number(origin.port(HttpPort))});

    const QDeadlineTimer deadline(timeoutMs);
    if (process_.waitForStarted(timeoutMs)) {
        while (!deadline.hasExpired() && process_.state() == QProcess::Running) {
            while (process_.canReadLine()) {
                if (process_.readLine().startsWith("listening on ")) {
                    listening_ = true;
                    process_.readAllStandardOutput();
                    return true;
                }
            }
            process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }
    stop();
    // Another window may have started its own in the meantime.
    if (!answers(origin))
        qWarning("lumo: %s did not start listening at %s", qPrintable(program),
                 qPrintable(origin.toString()));
    return false;
}

void BundledSites::stop() {
    listening_ = false;
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}
