// SPDX-License-Identifier: GPL-3.0-or-later
#include "namefiles.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <queue>

namespace sites::zones {

LineReader::LineReader(const QString& path, std::size_t bufferBytes)
    : file_(std::fopen(QFile::encodeName(path).constData(), "rb")), buffer_(bufferBytes) {}

LineReader::~LineReader() {
    if (file_)
        std::fclose(file_);
}

bool LineReader::next(std::string_view& line) {
    if (!file_)
        return false;
    for (;;) {
        const char* start = buffer_.data() + begin_;
        if (const void* nl = std::memchr(start, '\n', end_ - begin_)) {
            const std::size_t n = std::size_t(static_cast<const char*>(nl) - start);
            line = std::string_view(start, n);
            begin_ += n + 1;
            return true;
        }
        if (eof_) {
            if (begin_ == end_)
                return false;
            line = std::string_view(start, end_ - begin_); // a last line without its newline
            begin_ = end_;
            return true;
        }
        // Keep the unfinished line, grow only for a line longer than the buffer.
        std::memmove(buffer_.data(), start, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        if (end_ == buffer_.size())
            buffer_.resize(buffer_.size() * 2);
        const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
        end_ += got;
        if (got == 0) {
            eof_ = true;
            failed_ = std::ferror(file_) != 0;
        }
    }
}

LineWriter::LineWriter(const QString& path) : path_(path), temp_(path + QStringLiteral(".tmp")) {
    file_ = std::fopen(QFile::encodeName(temp_).constData(), "wb");
    if (file_)
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

LineWriter::~LineWriter() {
    if (file_) {
        std::fclose(file_);
        QFile::remove(temp_);
    }
}

void LineWriter::write(std::string_view line) {
    if (!file_) { // never opened (its folder gone): commit() reports it
        failed_ = true;
        return;
    }
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fputc('\n', file_) == EOF)
        failed_ = true;
}

void LineWriter::write(std::string_view a, char separator, std::string_view b) {
    if (!file_) {
        failed_ = true;
        return;
    }
    if (std::fwrite(a.data(), 1, a.size(), file_) != a.size() || std::fputc(separator, file_) == EOF)
        failed_ = true;
    write(b);
}

bool LineWriter::commit(QString* error) {
    if (!file_) {
        *error = QStringLiteral("cannot write %1").arg(temp_);
        return false;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (failed_ || !closed) {
        QFile::remove(temp_);
        *error = QStringLiteral("cannot write %1 (disk full?)").arg(temp_);
        return false;
    }
    QFile::remove(path_);
    if (!QFile::rename(temp_, path_)) {
        QFile::remove(temp_);
        *error = QStringLiteral("cannot rename %1 to %2").arg(temp_, path_);
        return false;
    }
    return true;
}

NameSorter::NameSorter(QString tempDir, std::size_t runBytes)
    : tempDir_(std::move(tempDir)), runBytes_(std::max<std::size_t>(runBytes, 8192)) {
    arena_.reserve(runBytes_ / 4);
    entries_.reserve(runBytes_ / 4 / sizeof(Entry));
}

NameSorter::~NameSorter() {
    waitForSpill();
    for (const QString& run : runs_)
        QFile::remove(run);
}

void NameSorter::add(std::string_view name) {
    if (name.empty() || name.size() > 0xFFFF)
        return;
    if (arena_.size() + name.size() > arena_.capacity() || entries_.size() == entries_.capacity())
        spill();
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < name.size() ? std::uint8_t(name[i]) : 0);
    entries_.push_back({prefix, std::uint32_t(arena_.size()), std::uint32_t(name.size())});
    arena_.insert(arena_.end(), name.begin(), name.end());
}

void NameSorter::sortRun(std::vector<Entry>& entries, const char* base) {
    std::sort(entries.begin(), entries.end(), [base](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        if (a.size <= 8 || b.size <= 8)
            return a.size < b.size;
        const int c = std::memcmp(base + a.offset + 8, base + b.offset + 8, std::min(a.size, b.size) - 8);
        return c != 0 ? c < 0 : a.size < b.size;
    });
}

bool NameSorter::waitForSpill() {
    if (spiller_.joinable())
        spiller_.join();
    return error_.isEmpty();
}

bool NameSorter::spill() {
    if (entries_.empty())
        return true;
    if (!waitForSpill())
        return false;
    std::swap(arena_, spareArena_);
    std::swap(entries_, spareEntries_);
    arena_.clear();
    entries_.clear();
    arena_.reserve(spareArena_.capacity());
    entries_.reserve(spareEntries_.capacity());
    const QString path = QStringLiteral("%1/run-%2.tmp").arg(tempDir_).arg(runs_.size());
    runs_.push_back(path);
    spiller_ = std::thread([this, path] {
        LineWriter out(path);
        writeRun(spareEntries_, spareArena_, out);
        QString error;
        if (!out.commit(&error))
            error_ = error;
    });
    return true;
}

std::uint64_t NameSorter::writeRun(std::vector<Entry>& entries, const std::vector<char>& arena,
                                   LineWriter& out) {
    sortRun(entries, arena.data());
    std::uint64_t count = 0;
    std::string_view last;
    for (const Entry& e : entries) {
        const std::string_view name(arena.data() + e.offset, e.size);
        if (name != last)
            out.write(name), ++count;
        last = name;
    }
    return count;
}

bool NameSorter::finish(const QString& path, std::uint64_t* count, QString* error) {
    *count = 0;
    if (!waitForSpill()) {
        *error = error_;
        return false;
    }
    LineWriter out(path);
    if (!out.opened()) {
        *error = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    if (runs_.empty()) { // everything fitted in one run: no merge
        *count = writeRun(entries_, arena_, out);
        entries_.clear();
        arena_.clear();
        return out.commit(error);
    }
    if (!spill() || !waitForSpill()) {
        *error = error_;
        return false;
    }
    for (auto* buffer : {&arena_, &spareArena_})
        std::vector<char>().swap(*buffer);
    for (auto* buffer : {&entries_, &spareEntries_})
        std::vector<Entry>().swap(*buffer);
    return mergeRuns(out, count, error) && out.commit(error);
}

bool NameSorter::mergeRuns(LineWriter& out, std::uint64_t* count, QString* error) {
    std::vector<std::unique_ptr<LineReader>> readers;
    std::vector<std::string_view> heads(runs_.size());
    auto later = [&heads](std::size_t a, std::size_t b) { return heads[a] > heads[b]; };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> queue(later);
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        readers.push_back(std::make_unique<LineReader>(runs_[i], 256 << 10));
        if (readers[i]->next(heads[i]))
            queue.push(i);
    }
    std::string last;
    bool any = false;
    while (!queue.empty()) {
        const std::size_t i = queue.top();
        queue.pop();
        if (!any || heads[i] != last) {
            out.write(heads[i]);
            last.assign(heads[i]);
            any = true;
            ++*count;
        }
        if (readers[i]->next(heads[i]))
            queue.push(i);
    }
    const bool readAll = std::none_of(readers.begin(), readers.end(), [](const auto& r) { return r->failed(); });
    readers.clear();
    for (const QString& run : std::exchange(runs_, {}))
        QFile::remove(run);
    if (!readAll)
        *error = QStringLiteral("cannot read a sort run in %1").arg(tempDir_);
    return readAll;
}

bool diffSorted(const QString& before, const QString& after,
                const std::function<void(std::string_view)>& removed,
                const std::function<void(std::string_view)>& added, DiffCount* count,
                QString* error) {
    *count = {};
    LineReader a(before), b(after);
    if (!a.opened() || !b.opened()) {
        *error = QStringLiteral("cannot read %1").arg(a.opened() ? after : before);
        return false;
    }
    std::string_view x, y;
    bool hasX = a.next(x), hasY = b.next(y);
    while (hasX || hasY) {
        const int c = !hasX ? 1 : !hasY ? -1 : x.compare(y);
        if (c < 0) {
            ++count->removed;
            if (removed)
                removed(x);
            hasX = a.next(x);
        } else if (c > 0) {
            ++count->added;
            if (added)
                added(y);
            hasY = b.next(y);
        } else {
            ++count->kept;
            hasX = a.next(x);
            hasY = b.next(y);
        }
    }
    if (a.failed() || b.failed()) {
        *error = QStringLiteral("cannot read %1").arg(a.failed() ? before : after);
        return false;
    }
    return true;
}

} // namespace sites::zones
