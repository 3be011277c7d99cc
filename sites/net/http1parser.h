// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <utility>

// Reads one HTTP/1.1 answer from the bytes of a connection as they come: the status, the
// headers and the body, whatever its framing (Content-Length, chunked, or until the close).
// Pure: bytes in, parts out. It exists so that a body cut short is always told from a whole
// one, which Qt's own client does not do for a chunked body cut between two chunks.
namespace sites::net {

class Http1Parser {
public:
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    // `noBody`: the answer to a HEAD request, whose framing headers describe no bytes.
    explicit Http1Parser(bool noBody = false) : noBody_(noBody) {}

    // Takes the next bytes of the connection and appends the body bytes among them to `body`.
    // Returns false once the answer is broken (error() says why). Bytes after a whole answer
    // are ignored.
    bool feed(QByteArrayView in, QByteArray& body);
    // The connection has closed: an answer read until the close ends whole here; any other
    // answer not yet complete is cut short.
    void closed();

    bool headDone() const { return headDone_; }
    bool complete() const { return state_ == State::Done; }
    bool failed() const { return state_ == State::Failed; }
    const QString& error() const { return error_; }
    int status() const { return status_; }
    const Headers& headers() const { return headers_; }
    // The value of the first header of that name (any case), trimmed; empty when none.
    QByteArray header(QByteArrayView name) const;
    // What the head says of the body's length: -1 when it does not say.
    qint64 contentLength() const { return length_; }

    static constexpr qsizetype MaxHeadBytes = 64 * 1024;

private:
    enum class State { Head, Length, ChunkSize, ChunkData, ChunkEnd, Trailer, UntilClose, Done,
                       Failed };
    bool fail(const QString& why);
    bool takeHead();

    bool noBody_;
    State state_ = State::Head;
    QByteArray line_; // the head, or a chunk-size or trailer line, so far
    qint64 left_ = 0; // bytes of the body or chunk still to come
    qint64 length_ = -1;
    int status_ = 0;
    bool headDone_ = false;
    Headers headers_;
    QString error_;
};

} // namespace sites::net
