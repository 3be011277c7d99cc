// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QUrl>

// The bundled sites for the window and lumo-cli, on machines where no socket unit serves them.
// They are shared by every program of the user: the first that finds nothing listening at the
// bundled origin starts lumo-sites in a session of its own, so that it outlives its starter;
// each program holds a connection to it while it runs, and lumo-sites ends itself once no
// connection has been open for IdleMinutes. A listener that belongs to another user is never
// used.
class BundledSites {
public:
    // Where the bundled sites listen unless the build points the window elsewhere.
    static QUrl defaultOrigin() { return QUrl(QStringLiteral("http://127.0.0.1:8613")); }
    // How long lumo-sites started here stays up once nobody holds a connection to it.
    static constexpr int IdleMinutes = 10;

    // lumo-sites beside the program, else in the install directory; the build tree's own
    // only for a program inside that build tree. Empty when there is none.
    static QString locate(const QString& programDir);
    // The same with the compiled-in places given.
    static QString locate(const QString& programDir, const QString& installDir,
                          const QString& buildTree, const QString& buildProgram);

    enum class Outcome {
        NotWanted, // no address at the origin
        Shared,    // the user's own sites were up already
        Started,   // started here, and shared from now on
        Foreign,   // something of another user listens there: problem() says so
        Failed,    // none listens, and none could be started
    };

    BundledSites() = default;
    ~BundledSites();
    BundledSites(const BundledSites&) = delete;
    BundledSites& operator=(const BundledSites&) = delete;

    // Makes sure the user's own lumo-sites serves `origin` when one of `addresses` is there, and
    // holds a connection to it. `program` is started when nothing listens, `timeoutMs` at most
    // for it to listen. Should the sites go away under a held connection, they are started
    // again.
    Outcome startFor(const QStringList& addresses, const QUrl& origin, const QString& program,
                     int timeoutMs = 5000);
    // The same for the bundled origin and the lumo-sites that goes with this program.
    Outcome startFor(const QStringList& addresses);
    // Lets go of the held connection; the sites stay up until idle.
    void release();

    bool holds() const { return held_.state() == QAbstractSocket::ConnectedState; }
    // The lumo-sites process started by the last startFor(); 0 when it started none.
    qint64 processId() const { return started_; }
    // One line saying why the sites at the origin are not used (Foreign and Failed).
    QString problem() const { return problem_; }

    // Whether `address` is at `origin`: the same scheme, host and port.
    static bool atOrigin(const QString& address, const QUrl& origin);
    // True when something accepts a TCP connection at the origin's host and port.
    static bool answers(const QUrl& origin, int timeoutMs = 1000);

    // Who listens on 127.0.0.1 at a port: from the kernel's socket tables (/proc/net/tcp and
    // tcp6), which name the owner's uid.
    struct Listener {
        enum Kind { Nobody, Me, Other, Unknown } kind = Nobody;
        uint uid = 0; // the other user, for Other
    };
    static Listener listenerAt(quint16 port);
    // The same from the tables' text, for the user `me`; lines that are no socket are skipped.
    static Listener listenerIn(const QByteArray& tables, quint16 port, uint me);

private:
    bool hold(const QUrl& origin);
    Outcome useListener(const Listener& listener, const QUrl& origin);

    QTcpSocket held_;
    QMetaObject::Connection restart_;
    QStringList addresses_;
    QUrl origin_;
    QString program_;
    qint64 started_ = 0;
    QString problem_;
};
