// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <optional>
#include <utility>

namespace Module1 {

// One HTTP/1.1 answer to a GET, read from its bytes as they come. An answer is whole only
// when its own framing says it ended: a chunked body at its last, empty chunk and the blank
// line after the trailers, a body with a Content-Length at that many bytes, a body with
// neither when the server closes. A close anywhere before that cuts the answer short.
class HttpReader {
public:
    enum class State {
        Reading,   // more to come
        Complete,  // ended where its framing says
        CutShort,  // the connection ended before the answer did
        Malformed, // not HTTP, or a framing that cannot be read
    };

    // The next bytes from the server; bytes after a complete answer are ignored.
    State feed(QByteArrayView bytes);
    // The server has closed the connection.
    State close();

    State state() const { return state_; }
    bool headRead() const { return stage_ > Stage::Head; }
    // Complete, and the connection may carry the next request: an HTTP/1.1 answer framed by
    // its own length or chunks, no "Connection: close", and nothing sent after it.
    bool reusable() const;
    int status() const { return status_; }
    // The last value of a header field (its name in any case), trimmed; empty when absent.
    QByteArray header(QByteArrayView name) const;
    // The body without its transfer framing; a content coding (gzip) is still on it.
    const QByteArray& body() const { return body_; }
    // The body read since the last call, handed over: for bodies too large to hold.
    QByteArray takeBody() { return std::exchange(body_, {}); }

private:
    enum class Stage { Head, Body, ChunkSize, ChunkData, ChunkEnd, Trailers, Done };
    enum class Framing { None, Length, Chunked, UntilClose };

    bool readHead();
    void readBody();
    // Moves the bytes still due (left_) from pending_ to the body; true once all have come.
    bool takeDue();
    // A line ended by LF (CR before it dropped) from the front of pending_, if one is whole.
    bool takeLine(QByteArray* line);
    qsizetype unread() const { return pending_.size() - read_; }
    void setDone() { stage_ = Stage::Done, state_ = State::Complete; }

    State state_ = State::Reading;
    Stage stage_ = Stage::Head;
    Framing framing_ = Framing::None;
    int status_ = 0;
    QList<QPair<QByteArray, QByteArray>> headers_;
    QByteArray pending_; // received; taken apart up to read_, dropped once per feed
    qsizetype read_ = 0; // so that a buffer of many chunks is not moved once per chunk
    qsizetype searched_ = 0; // unread bytes that hold no end of the head or line looked for
    bool http11_ = false;
    bool extra_ = false; // bytes came after the answer
    QByteArray body_;
    qint64 left_ = 0; // bytes still due: of the body (Length) or of the chunk (ChunkData)
};

// A body in the content coding a server named: "gzip", "x-gzip" and "deflate" (zlib or raw)
// are inflated, no coding or "identity" is taken as it is. Nothing when it cannot be decoded
// or would pass `maxBytes`; `tooLarge` then says which.
std::optional<QByteArray> decodeContent(const QByteArray& body, QByteArrayView coding,
                                        qint64 maxBytes, bool* tooLarge = nullptr);

} // namespace Module1
