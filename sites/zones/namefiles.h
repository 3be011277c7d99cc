// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A day of a zone on disk: its labels, sorted by byte and unique, one a line. Built by an
// external merge sort in bounded runs, so a zone of any size sorts in a fixed amount of memory,
// and compared with another day by one streaming merge.
namespace sites::zones {

// Reads a file of lines through a fixed buffer.
class LineReader {
public:
    explicit LineReader(const QString& path, std::size_t bufferBytes = 1 << 20);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool opened() const { return file_ != nullptr; }
    // The next line without its newline; false at the end. The view lives until the next call.
    bool next(std::string_view& line);
    bool failed() const { return failed_; }

private:
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    std::size_t begin_ = 0, end_ = 0;
    bool eof_ = false, failed_ = false;
};

// Writes lines through a buffer; commit() renames the file into place only when all went well.
class LineWriter {
public:
    explicit LineWriter(const QString& path);
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    bool opened() const { return file_ != nullptr; }
    void write(std::string_view line);
    void write(std::string_view a, char separator, std::string_view b);
    bool commit(QString* error);

private:
    QString path_, temp_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

class NameSorter {
public:
    // Names fill one buffer while the other, full, is sorted and spilled to `tempDir` on a
    // thread of its own; both together hold at most `runBytes` of names and their index.
    explicit NameSorter(QString tempDir, std::size_t runBytes = 128u << 20);
    ~NameSorter();
    NameSorter(const NameSorter&) = delete;
    NameSorter& operator=(const NameSorter&) = delete;

    void add(std::string_view name);
    // Merges everything into `path` (sorted, unique). Returns false with `error` set on a
    // disk fault; `count` is how many names the file holds.
    bool finish(const QString& path, std::uint64_t* count, QString* error);

private:
    struct Entry {
        std::uint64_t prefix; // the first 8 bytes, big-endian, zero padded
        std::uint32_t offset;
        std::uint32_t size;
    };
    bool spill();
    bool waitForSpill();
    static void sortRun(std::vector<Entry>& entries, const char* base);
    // Sorts a run and writes each of its names once; returns how many it wrote.
    static std::uint64_t writeRun(std::vector<Entry>& entries, const std::vector<char>& arena,
                                  LineWriter& out);
    bool mergeRuns(LineWriter& out, std::uint64_t* count, QString* error);

    QString tempDir_;
    std::size_t runBytes_;
    std::vector<char> arena_;
    std::vector<Entry> entries_;
    std::vector<char> spareArena_; // the buffer being spilled
    std::vector<Entry> spareEntries_;
    std::thread spiller_;
    std::vector<QString> runs_;
    QString error_; // set by the spilling thread; read after joining it
};

struct DiffCount {
    std::uint64_t removed = 0;
    std::uint64_t added = 0;
    std::uint64_t kept = 0;
};

// One pass over two sorted files: what left (in `before` only) and what came (in `after` only).
// Either callback may be empty.
bool diffSorted(const QString& before, const QString& after,
                const std::function<void(std::string_view)>& removed,
                const std::function<void(std::string_view)>& added, DiffCount* count,
                QString* error);

} // namespace sites::zones
