// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/httpreader.h"

#include <zlib.h>

namespace Module1 {
namespace {

// Longer heads, lines and chunk-size lines than these are not an answer we read.
constexpr qsizetype maxHead = 64 * 1024;
constexpr qsizetype maxLine = 8 * 1024;

bool sameName(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "1*DIGIT", as a length; nothing for anything else or an absurd size.
std::optional<qint64> decimal(QByteArrayView text) {
    if (text.isEmpty() || text.size() > 15)
        return std::nullopt;
    qint64 n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

} // namespace

bool HttpReader::takeLine(QByteArray* line) {
    const qsizetype end = pending_.indexOf('\n', read_ + searched_);
    searched_ = end < 0 ? unread() : 0;
    if (end < 0)
        return false;
    const qsizetype size = end - read_ - (end > read_ && pending_.at(end - 1) == '\r');
    *line = pending_.mid(read_, size);
    read_ = end + 1;
    return true;
}

// The status line and the header fields, and from them how the body is framed. False while
// the head is not all in, or when it cannot be read (state_ says which).
bool HttpReader::readHead() {
    // The head ends at its first empty line, whether lines end in CR LF or in LF alone.
    // A head dripping in a byte at a time is not searched from its start each time.
    const qsizetype from = read_ + qMax<qsizetype>(0, searched_ - 2);
    const qsizetype crlf = pending_.indexOf("\n\r\n", from);
    const qsizetype lf = pending_.indexOf("\n\n", from);
    const qsizetype end = crlf >= 0 && (lf < 0 || crlf < lf) ? crlf + 3 : lf >= 0 ? lf + 2 : -1;
    searched_ = end < 0 ? unread() : 0;
    if (end < 0) {
        if (unread() > maxHead)
            state_ = State::Malformed;
        return false;
    }
    QList<QByteArray> lines = pending_.mid(read_, end - read_).split('\n');
    read_ = end;
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    const QByteArray statusLine = lines.takeFirst();
    const std::optional<qint64> code = decimal(statusLine.mid(9, 3));
    if (!(statusLine.startsWith("HTTP/1.1 ") || statusLine.startsWith("HTTP/1.0 ")) || !code ||
        statusLine.mid(9, 3).size() != 3 || (statusLine.size() > 12 && statusLine[12] != ' ')) {
        state_ = State::Malformed;
        return false;
    }
    status_ = int(*code);
    http11_ = statusLine.startsWith("HTTP/1.1 ");
    headers_.clear();
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.at(0) == ' ' || line.at(0) == '\t') {
            state_ = State::Malformed;
            return false;
        }
        headers_.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (status_ >= 100 && status_ < 200) {
        if (status_ == 101) { // nobody asked to switch protocols
            state_ = State::Malformed;
            return false;
        }
        return true; // an interim answer: the real one follows
    }

    const QByteArray coding = header("Transfer-Encoding").toLower();
    QByteArrayList lengths;
    for (const auto& [name, value] : headers_)
        if (sameName(name, "Content-Length"))
            for (const QByteArray& part : value.split(','))
                lengths << part.trimmed();
    stage_ = Stage::Body;
    if (status_ == 204 || status_ == 304) {
        setDone();
    } else if (!coding.isEmpty()) {
        // Only a last coding of "chunked" frames the body; anything else runs to the close.
        framing_ = coding.split(',').constLast().trimmed() == "chunked" ? Framing::Chunked
                                                                        : Framing::UntilClose;
        if (framing_ == Framing::Chunked)
            stage_ = Stage::ChunkSize;
    } else if (!lengths.isEmpty()) {
        const std::optional<qint64> length = decimal(lengths.constFirst());
        if (!length || lengths.count(lengths.constFirst()) != lengths.size()) {
            state_ = State::Malformed;
            return false;
        }
        framing_ = Framing::Length;
        left_ = *length;
        if (left_ == 0)
            setDone();
    } else {
        framing_ = Framing::UntilClose;
    }
    return true;
}

bool HttpReader::takeDue() {
    const qsizetype n = qsizetype(qMin<qint64>(left_, unread()));
    body_.append(QByteArrayView(pending_).sliced(read_, n));
    read_ += n;
    left_ -= n;
    return left_ == 0;
}

void HttpReader::readBody() {
    QByteArray line;
    while (state_ == State::Reading) {
        switch (stage_) {
        case Stage::Head:
            if (!readHead())
                return;
            break;
        case Stage::Body:
            if (framing_ == Framing::UntilClose) {
                body_.append(QByteArrayView(pending_).sliced(read_));
                read_ = pending_.size();
                return;
            }
            if (!takeDue())
                return;
            setDone();
            break;
        case Stage::ChunkSize: {
            if (!takeLine(&line)) {
                if (unread() > maxLine)
                    state_ = State::Malformed;
                return;
            }
            const qsizetype extension = line.indexOf(';');
            const QByteArray digits = (extension < 0 ? line : line.left(extension)).trimmed();
            bool ok = !digits.isEmpty() && digits.size() <= 15;
            for (char c : digits)
                ok = ok && std::isxdigit(static_cast<unsigned char>(c));
            if (!ok) {
                state_ = State::Malformed;
                return;
            }
            left_ = digits.toLongLong(nullptr, 16);
            stage_ = left_ == 0 ? Stage::Trailers : Stage::ChunkData;
            break;
        }
        case Stage::ChunkData:
            if (!takeDue())
                return;
            stage_ = Stage::ChunkEnd;
            break;
        case Stage::ChunkEnd:
            if (!takeLine(&line)) {
                if (unread() > 2)
                    state_ = State::Malformed;
                return;
            }
            if (!line.isEmpty()) {
                state_ = State::Malformed;
                return;
            }
            stage_ = Stage::ChunkSize;
            break;
        case Stage::Trailers:
            if (!takeLine(&line)) {
                if (unread() > maxHead)
                    state_ = State::Malformed;
                return;
            }
            if (line.isEmpty())
                setDone();
            break;
        case Stage::Done:
            return;
        }
    }
}

HttpReader::State HttpReader::feed(QByteArrayView bytes) {
    if (state_ != State::Reading) {
        extra_ = extra_ || !bytes.isEmpty();
        return state_;
    }
    pending_.append(bytes);
    readBody();
    if (state_ != State::Reading) {
        extra_ = unread() > 0;
        pending_.clear();
        read_ = 0;
    } else {
        pending_.remove(0, read_);
        read_ = 0;
    }
    return state_;
}

bool HttpReader::reusable() const {
    if (state_ != State::Complete || !http11_ || extra_ || framing_ == Framing::UntilClose)
        return false;
    for (const auto& [name, value] : headers_)
        if (sameName(name, "Connection"))
            for (const QByteArray& token : value.split(','))
                if (sameName(token.trimmed(), "close"))
                    return false;
    return true;
}

HttpReader::State HttpReader::close() {
    if (state_ == State::Reading)
        state_ = stage_ == Stage::Body && framing_ == Framing::UntilClose ? State::Complete
                                                                          : State::CutShort;
    return state_;
}

QByteArray HttpReader::header(QByteArrayView name) const {
    for (auto it = headers_.crbegin(); it != headers_.crend(); ++it)
        if (sameName(it->first, name))
            return it->second;
    return {};
}

std::optional<QByteArray> decodeContent(const QByteArray& body, QByteArrayView coding,
                                        qint64 maxBytes, bool* tooLarge) {
    if (tooLarge)
        *tooLarge = false;
    const QByteArray name = coding.trimmed().toByteArray().toLower();
    if (name.isEmpty() || name == "identity") {
        if (body.size() <= maxBytes)
            return body;
        if (tooLarge)
            *tooLarge = true;
        return std::nullopt;
    }
    if (name != "gzip" && name != "x-gzip" && name != "deflate")
        return std::nullopt;
    // gzip has its own header; "deflate" is meant to be zlib, but some servers send it raw.
    for (const int windowBits : name == "deflate" ? QList<int>{15, -15} : QList<int>{16 + 15}) {
        z_stream stream = {};
        if (inflateInit2(&stream, windowBits) != Z_OK)
            return std::nullopt;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.constData()));
        stream.avail_in = uInt(body.size());
        QByteArray out;
        int result = Z_OK;
        while (result == Z_OK) {
            const qsizetype before = out.size();
            out.resize(before + 64 * 1024);
            stream.next_out = reinterpret_cast<Bytef*>(out.data() + before);
            stream.avail_out = 64 * 1024;
            result = inflate(&stream, Z_NO_FLUSH);
            out.resize(out.size() - stream.avail_out);
            if (out.size() > maxBytes) {
                inflateEnd(&stream);
                if (tooLarge)
                    *tooLarge = true;
                return std::nullopt;
            }
            if (result == Z_BUF_ERROR && stream.avail_out > 0)
                break; // the input ended before the stream did
        }
        inflateEnd(&stream);
        // Whole, and nothing after it.
        if (result == Z_STREAM_END && stream.avail_in == 0)
            return out;
    }
    return std::nullopt;
}

} // namespace Module1
