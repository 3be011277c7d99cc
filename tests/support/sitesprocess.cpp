// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitesprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

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
    error_.clear();
    if (program().isEmpty()) {
        error_ = QStringLiteral("lumo-sites was not built");
        return false;
    }
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(program(),
                   QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments_);
    if (!process_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(program(), process_.errorString());
        return false;
    }
    static const QRegularExpression listening(
        QStringLiteral("^listening on http://127\\.0\\.0\\.1:(\\d+)/$"));
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (process_.canReadLine()) {
            const QString line = QString::fromUtf8(process_.readLine()).trimmed();
            const QRegularExpressionMatch m = listening.match(line);
            if (m.hasMatch()) {
                port_ = quint16(m.captured(1).toUInt());
                return true;
            }
        }
        if (process_.state() == QProcess::NotRunning)
            break;
        process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    error_ = QStringLiteral("lumo-sites did not come up: %1")
                 .arg(QString::fromLocal8Bit(process_.readAllStandardError()).trimmed());
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
