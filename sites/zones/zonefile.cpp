// SPDX-License-Identifier: GPL-3.0-or-later
#include "zonefile.h"

#include <QFile>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include <zlib.h>

namespace sites::zones {

namespace {

constexpr std::size_t pieceBytes = 1 << 20;

// Inflates `next` input pieces into output pieces; knows a cut-off stream from a whole one.
class Inflater {
public:
    Inflater() { inflateInit2(&stream_, 16 + MAX_WBITS); }
    ~Inflater() { inflateEnd(&stream_); }

    // Returns false on damaged data. `out` is called for each full or last output piece.
    template <typename Out>
    bool take(const unsigned char* data, std::size_t size, Out&& out) {
        stream_.next_in = const_cast<unsigned char*>(data);
        stream_.avail_in = uInt(size);
        while (stream_.avail_in > 0) {
            if (ended_) { // another gzip member follows, as zcat allows
                inflateReset(&stream_);
                ended_ = false;
            }
            buffer_.resize(pieceBytes);
            stream_.next_out = reinterpret_cast<unsigned char*>(buffer_.data());
            stream_.avail_out = uInt(buffer_.size());
            const int rc = inflate(&stream_, Z_NO_FLUSH);
            const std::size_t produced = buffer_.size() - stream_.avail_out;
            if (rc == Z_STREAM_END)
                ended_ = true;
            else if (rc != Z_OK && rc != Z_BUF_ERROR) {
                error_ = stream_.msg ? stream_.msg : "inflate failed";
                return false;
            }
            if (produced > 0) {
                buffer_.resize(produced);
                out(buffer_);
            } else if (rc == Z_BUF_ERROR) {
                break;
            }
        }
        return true;
    }
    bool ended() const { return ended_; }
    const std::string& error() const { return error_; }

private:
    z_stream stream_{};
    std::vector<char> buffer_;
    bool ended_ = false;
    std::string error_;
};

bool isGzip(const unsigned char* data, std::size_t size) {
    return size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
}

QString damaged(const Inflater& inflater) {
    return QStringLiteral("the gzip data is damaged (%1)")
        .arg(QString::fromStdString(inflater.error()));
}

QString cutShort() {
    return QStringLiteral("the gzip file is cut short");
}

// The pieces of text between the thread that reads and inflates and the one that parses.
class PieceQueue {
public:
    struct Piece {
        std::vector<char> text;
        std::uint64_t readSoFar = 0;
    };

    // Waits while the queue is full.
    void put(std::vector<char>& text, std::uint64_t readSoFar) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_.size() < mostWaiting; });
        waiting_.push_back({std::move(text), readSoFar});
        changed_.notify_all();
    }
    // No more pieces come.
    void close() {
        std::lock_guard lock(mutex_);
        done_ = true;
        changed_.notify_all();
    }
    // Waits for the next piece; false once the queue is closed and empty.
    bool take(Piece& next) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !waiting_.empty() || done_; });
        if (waiting_.empty())
            return false;
        next = std::move(waiting_.front());
        waiting_.pop_front();
        changed_.notify_all();
        return true;
    }

private:
    static constexpr std::size_t mostWaiting = 16; // MiB of text
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> waiting_;
    bool done_ = false;
};

// Reads the whole file, inflating it when it is gzip'ed, into `queue`.
ZoneFileRead produce(std::FILE* file, const QString& path, PieceQueue& queue) {
    ZoneFileRead result;
    std::vector<unsigned char> input(pieceBytes);
    Inflater inflater;
    bool gzip = false;
    auto hand = [&](std::vector<char>& text) { queue.put(text, result.fileBytes); };
    for (;;) {
        const std::size_t got = std::fread(input.data(), 1, input.size(), file);
        if (got == 0) {
            if (std::ferror(file))
                result.error = QStringLiteral("cannot read %1").arg(path);
            break;
        }
        if (result.fileBytes == 0)
            gzip = isGzip(input.data(), got);
        result.fileBytes += got;
        if (!gzip) {
            std::vector<char> text(input.begin(), input.begin() + std::ptrdiff_t(got));
            hand(text);
        } else if (!inflater.take(input.data(), got, hand)) {
            result.error = damaged(inflater);
            break;
        }
    }
    if (result.error.isEmpty() && gzip && !inflater.ended())
        result.error = cutShort();
    result.ok = result.error.isEmpty();
    return result;
}

} // namespace

ZoneFileRead readZoneFile(const QString& path,
                          const std::function<void(const char*, std::size_t, std::uint64_t)>& piece) {
    ZoneFileRead result;
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file) {
        result.error = QStringLiteral("cannot open %1").arg(path);
        return result;
    }
    // Inflating runs on a thread of its own while this one hands the text on.
    PieceQueue queue;
    std::thread producer([&] {
        result = produce(file, path, queue);
        queue.close();
    });
    std::uint64_t textBytes = 0;
    for (PieceQueue::Piece next; queue.take(next);) {
        textBytes += next.text.size();
        piece(next.text.data(), next.text.size(), next.readSoFar);
    }
    producer.join();
    std::fclose(file);
    result.textBytes = textBytes;
    return result;
}

ZoneFileRead readZoneBytes(const char* data, std::size_t size,
                           const std::function<void(const char*, std::size_t)>& piece) {
    ZoneFileRead result;
    result.fileBytes = size;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (!isGzip(bytes, size)) {
        piece(data, size);
        result.textBytes = size;
        result.ok = true;
        return result;
    }
    Inflater inflater;
    const bool ok = inflater.take(bytes, size, [&](std::vector<char>& text) {
        result.textBytes += text.size();
        piece(text.data(), text.size());
    });
    if (!ok)
        result.error = damaged(inflater);
    else if (!inflater.ended())
        result.error = cutShort();
    result.ok = result.error.isEmpty();
    return result;
}

} // namespace sites::zones
