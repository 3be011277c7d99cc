// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitesprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>

SitesProcess::SitesProcess(QStringList extraArguments) : arguments_(std::move(extraArguments)) {}

SitesProcess::~SitesProcess() {
    stop();
}

QString SitesProcess::program() {
#ifdef LUMO_SITES_PROGRAM
    return QStringLiteral(LUMO_SITES_PROGRAM);
#else
    return {};
#endif
}

QString SitesProcess::origin() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

bool SitesProcess::start(int timeoutMs) {
    stop();
    error_ = program().isEmpty() ? QStringLiteral("lumo-sites was not built") : QString();
    if (!error_.isEmpty())
        return false;
    process_.start(program(),
                   QStringList{QStringLiteral("--port"), QStringLiteral("0")} +
                       // Generated names unless the test brings a store of its own.
                       (arguments_.contains(QStringLiteral("--data-dir"))
                            ? QStringList()
                            : QStringList{QStringLiteral("--demo")}) +
                       arguments_);
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray prefix = "listening on http://127.0.0.1:";
    while (process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))) ||
           (process_.state() != QProcess::NotRunning && !deadline.hasExpired())) {
        while (process_.canReadLine()) {
            const QByteArray line = process_.readLine().trimmed();
            if (line.startsWith(prefix) && line.endsWith('/')) {
                port_ = quint16(line.mid(prefix.size()).chopped(1).toUInt());
                return true;
            }
        }
    }
    error_ =
        QStringLiteral("lumo-sites did not come up: %1 %2")
            .arg(process_.errorString(), QString::fromLocal8Bit(process_.readAllStandardError()));
    stop();
    return false;
}

void SitesProcess::stop() {
    port_ = 0;
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

QString SitesProcess::offlineConfig(const QString& dir, const QString& file, const QString& more) {
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost))
        return {};
    const QString nowhere = QStringLiteral("http://127.0.0.1:%1").arg(closed.serverPort());
    closed.close();
    QFile ini(QDir(dir).filePath(file));
    if (!ini.open(QIODevice::WriteOnly))
        return {};
    const QString lists =
        QStringLiteral("[cnnic]\ntoday=%1/1\ntomorrow=%1/2\ndayafter=%1/3\n[se]\nse=%1/4\n"
                       "nu=%1/5\n[top]\nlist=%1/6\n[fetch]\ninterval_ms=0\n")
            .arg(nowhere);
    return ini.write((lists + more).toUtf8()) > 0 ? ini.fileName() : QString();
}
