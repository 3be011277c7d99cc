// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/httpreader.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QTcpSocket;
class QTimer;

// Page retrieval: every page the program reads comes through here.
namespace Module1 {

// Why a request brought no page, or not the page asked for.
enum class Failure {
    None,
    BadAddress,   // not an http or https address with a host
    Refused,      // nothing listens there
    HostNotFound, // the name does not resolve
    Silent,       // no data for the idle limit
    TooSlow,      // still not complete at the total limit
    TooLarge,     // the body passed the size limit
    Broken,       // reset, garbled, too many redirects, TLS ...
    Aborted,      // the caller gave up on it
    ErrorStatus,  // an answer, but not 2xx: its body is still decoded, for callers that read it
    CutShort,     // the connection ended before the body did
    Undecodable,  // a content coding (gzip ...) that the body does not hold
};

// What one request brought: the decoded body, or the empty text and why there is none.
struct Page {
    QString text;
    Failure failure = Failure::None;
    QString detail; // the network layer's own words for a Broken request
    int status = 0; // the HTTP status of the last answer, 0 without one
};

// One line for people saying what went wrong; empty for Failure::None.
QString describe(const Page& page);

// One GET, under way from its construction on, on a connection of its own while it is in
// flight (one its origin's last answer left open, or a new one): no queue to wait in, so its
// limits run from the moment it starts. A kept connection that turns out closed before any
// byte of the answer came is given up for a new one, once. `finished` comes once: from the event
// loop, or from inside abort(). After it the page no longer changes, and no limit applies any
// more however long the owner takes to read it.
class Request : public QObject {
    Q_OBJECT
public:
    Request(const QString& url, const QString& charset, QObject* parent = nullptr);
    ~Request() override;

    bool isFinished() const { return finished_; }
    const Page& page() const { return page_; }
    // Ends a request in flight with Failure::Aborted; nothing once it has finished.
    void abort();

signals:
    void finished();

private:
    void send(const QUrl& url, bool fresh = false);
    void onBytes();
    void onClosed();
    bool retried();
    // Hands the connection, its answer whole and its framing its own, to the origin's pool.
    void keepConnection();
    void answered();
    void fail(Failure why, const QString& detail = {});
    void finish();

    QString charset_;
    QUrl url_;
    int redirects_ = 0;
    QTcpSocket* socket_ = nullptr;
    QString origin_;
    bool reused_ = false;       // socket_ carried an earlier answer
    bool heard_ = false;        // a byte of this answer has come
    bool retriedFresh_ = false;
    HttpReader reader_;
    QTimer* idle_ = nullptr;
    QTimer* deadline_ = nullptr;
    bool finished_ = false;
    Page page_;
};

// Requests that overtake each other: a fetch on a lane aborts the one before it still in
// flight there, so that an overtaken request does not hold a connection.
class Lane {
public:
    // Aborts the lane's request still in flight, if any.
    void abort();
    // Aborts the one before, and makes `request` the lane's.
    void take(Request* request);

private:
    QPointer<Request> current_;
};

// Waits for `request` to finish while the caller's window keeps handling its events; waits
// started meanwhile nest and return first.
const Page& waitFor(Request& request);

// The body of one GET for `url`, decoded in `charset`. The caller's window keeps handling its
// events while this waits; fetches started meanwhile nest and return first.
Page Fetch(const QString& url, const QString& charset, Lane* lane = nullptr);

// The body decoded as UTF-8, or the empty text when the request or the decoding failed. An
// error status still gives the body's text.
QString GetPageUtf8(const QString& url, Lane* lane = nullptr);
// The same, decoded as GB2312 (read as code page 936, GBK, like the services write it).
QString GetPageGb2312(const QString& url, Lane* lane = nullptr);
// `bytes` decoded in `charset` ("UTF-8" or "gb2312"); invalid sequences become U+FFFD.
// An unknown charset gives the empty text.
QString BytesToText(const QByteArray& bytes, const QString& charset);

// Where a request gives up, while it is in flight. Each limit reached ends the fetch with the
// empty text.
struct FetchLimits {
    int idleTimeoutMs = 30'000;       // no data from the server for this long
    int totalTimeoutMs = 120'000;     // the whole exchange, for servers that drip bytes
    qint64 maxBodyBytes = 32ll << 20; // larger bodies are abandoned
    int maxRedirects = 10;
};
// Tests shorten the limits; the program keeps the defaults.
void setFetchLimits(const FetchLimits& limits);
FetchLimits fetchLimits();

} // namespace Module1
