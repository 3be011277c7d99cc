// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The built lumo-sites as a child process on 127.0.0.1, a port of the system's choosing:
//     SitesProcess sites({"--today", "2024-03-05"});
//     QVERIFY2(sites.start(), qPrintable(sites.errorString()));
//     Form1 form(Addresses{sites.origin() + "/", sites.origin(), sites.origin()});
// It serves generated names (--demo) unless the arguments name a --data-dir.
// The process is stopped when the object goes.
class SitesProcess {
public:
    explicit SitesProcess(QStringList extraArguments = {});
    ~SitesProcess();
    SitesProcess(const SitesProcess&) = delete;
    SitesProcess& operator=(const SitesProcess&) = delete;

    // Starts the server and waits for its "listening on" line. False, with errorString(),
    // when it does not come up.
    bool start(int timeoutMs = 15000);
    void stop();

    quint16 port() const { return port_; }
    // "http://127.0.0.1:PORT", with no slash after it.
    QString origin() const;
    QString errorString() const { return error_; }
    QProcess& process() { return process_; }

    // Where the build put lumo-sites; empty when it was not built.
    static QString program();
    // Writes FILE in `dir`: settings sending every list to a port nothing listens on (lines 1
    // to 11), then `more`. Returns its path, empty when it could not be written.
    static QString offlineConfig(const QString& dir, const QString& file, const QString& more = {});

private:
    QStringList arguments_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};
