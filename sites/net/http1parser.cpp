// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/http1parser.h"

#include <cctype>
#include <cstring>

namespace sites::net {

bool Http1Parser::fail(const QString& why) {
    state_ = State::Failed;
    error_ = why;
    return false;
}

QByteArray Http1Parser::header(QByteArrayView name) const {
    for (const auto& [key, value] : headers_)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool Http1Parser::takeHead() {
    QList<QByteArray> lines = line_.split('\n');
    line_.clear();
    const QByteArray statusLine = lines.value(0).trimmed();
    // "HTTP/1.1 200 OK": the version, three digits, and any reason.
    if (!statusLine.startsWith("HTTP/1.") || statusLine.size() < 12 || statusLine[8] != ' ')
        return fail(QStringLiteral("not an HTTP/1 answer"));
    bool ok = false;
    const int status = statusLine.mid(9, 3).toInt(&ok);
    if (!ok || status < 100 || status > 999 || (statusLine.size() > 12 && statusLine[12] != ' '))
        return fail(QStringLiteral("a status line without a status"));
    Headers headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return fail(QStringLiteral("a header line without a name"));
        headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (status < 200) {
        state_ = State::Head; // an interim answer: the real one follows
        return true;
    }
    status_ = status;
    headers_ = std::move(headers);
    headDone_ = true;

    const QByteArray transfer = header("Transfer-Encoding").toLower();
    const QByteArray length = header("Content-Length");
    if (noBody_ || status == 204 || status == 304) {
        state_ = State::Done;
    } else if (!transfer.isEmpty()) {
        if (transfer != "chunked")
            return fail(QStringLiteral("a transfer encoding other than chunked"));
        state_ = State::ChunkSize;
    } else if (!length.isEmpty()) {
        bool number = false;
        length_ = length.size() <= 18 ? length.toLongLong(&number) : -1;
        if (!number || length_ < 0)
            return fail(QStringLiteral("a Content-Length that is not a number"));
        left_ = length_;
        state_ = length_ == 0 ? State::Done : State::Length;
    } else {
        state_ = State::UntilClose;
    }
    return true;
}

bool Http1Parser::feed(QByteArrayView in, QByteArray& body) {
    const char* p = in.data();
    const char* const end = p + in.size();
    // The rest of a line (including its LF), or all there is.
    auto takeLine = [&](qsizetype limit) {
        const void* nl = p < end ? std::memchr(p, '\n', size_t(end - p)) : nullptr;
        const char* stop = nl ? static_cast<const char*>(nl) + 1 : end;
        line_.append(p, stop - p);
        p = stop;
        return line_.size() <= limit;
    };
    while (p < end && state_ != State::Done && state_ != State::Failed) {
        switch (state_) {
        case State::Head:
            if (!takeLine(MaxHeadBytes))
                return fail(QStringLiteral("a head larger than %1 bytes").arg(MaxHeadBytes));
            if ((line_.endsWith("\r\n\r\n") || line_.endsWith("\n\n")) && !takeHead())
                return false;
            break;
        case State::Length:
        case State::ChunkData: {
            const qsizetype take = qsizetype(qMin<qint64>(left_, end - p));
            body.append(p, take);
            p += take;
            left_ -= take;
            if (left_ == 0)
                state_ = state_ == State::Length ? State::Done : State::ChunkEnd;
            break;
        }
        case State::UntilClose:
            body.append(p, end - p);
            p = end;
            break;
        case State::ChunkEnd:
            // The line end after a chunk's data.
            if (*p == '\r' && line_.isEmpty()) {
                line_ = "\r";
            } else if (*p == '\n') {
                line_.clear();
                state_ = State::ChunkSize;
            } else {
                return fail(QStringLiteral("a chunk longer than its size"));
            }
            ++p;
            break;
        case State::ChunkSize:
        case State::Trailer: {
            if (!takeLine(4096))
                return fail(QStringLiteral("a chunk line longer than 4096 bytes"));
            if (!line_.endsWith('\n'))
                break;
            const QByteArray line = line_.trimmed();
            line_.clear();
            if (state_ == State::Trailer) {
                if (line.isEmpty())
                    state_ = State::Done;
                break;
            }
            const qsizetype semicolon = line.indexOf(';');
            const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
            bool ok = !digits.isEmpty() && digits.size() <= 15;
            for (char c : digits)
                ok = ok && std::isxdigit(static_cast<unsigned char>(c));
            const qint64 chunk = ok ? digits.toLongLong(&ok, 16) : 0;
            if (!ok)
                return fail(QStringLiteral("a chunk size that is not a number"));
            left_ = chunk;
            state_ = chunk == 0 ? State::Trailer : State::ChunkData;
            break;
        }
        case State::Done:
        case State::Failed:
            break;
        }
    }
    return state_ != State::Failed;
}

void Http1Parser::closed() {
    if (state_ == State::UntilClose)
        state_ = State::Done;
    else if (state_ != State::Done && state_ != State::Failed)
        fail(headDone_ ? QStringLiteral("cut short") : QStringLiteral("no answer"));
}

} // namespace sites::net
