// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

// lumo-sites as a companion of the window, for machines where no socket unit serves the
// bundled sites. It is started only when one of the window's addresses is at the bundled
// origin and nothing accepts connections there yet, and it ends with the window, also when
// the window ends the process with _exit() or the process is killed.
class BundledSites {
public:
    // Where the bundled sites listen unless the build points the window elsewhere.
    static QUrl defaultOrigin() { return QUrl(QStringLiteral("http://127.0.0.1:8613")); }
    // lumo-sites beside the program, else in the build tree's sites folder (seen from src/ or
    // src/cli/), else on PATH;
    // empty when there is none.
    static QString locate(const QString& programDir);

    BundledSites();
    ~BundledSites();
    BundledSites(const BundledSites&) = delete;
    BundledSites& operator=(const BundledSites&) = delete;

    // Starts `program` for `origin` when one of `addresses` is there and nothing answers
    // there, and waits until it listens, `timeoutMs` at most. True when it started one.
    bool startFor(const QStringList& addresses, const QUrl& origin, const QString& program,
                  int timeoutMs = 5000);
    // The same for the bundled origin and the lumo-sites that goes with this program.
    bool startFor(const QStringList& addresses);
    void stop();

    bool running() const { return process_.state() != QProcess::NotRunning; }
    qint64 processId() const { return process_.processId(); }

    // True when something accepts a TCP connection at the origin's host and port.
    static bool answers(const QUrl& origin, int timeoutMs = 1000);

private:
    QProcess process_;
    bool listening_ = false;
};
