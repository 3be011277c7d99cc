// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace sites::zones {

// Reads a zone file, gzip'ed (one member or several, as zcat takes them) or plain, and hands its
// text on in pieces of about 1 MiB. Inflating runs on a thread of its own so the reader of the
// pieces works meanwhile; at most a few pieces wait, whatever the file's size.
struct ZoneFileRead {
    bool ok = false;
    QString error;               // cut short, damaged, unreadable
    std::uint64_t fileBytes = 0; // read from the file (compressed)
    std::uint64_t textBytes = 0; // handed on
};

// `piece` gets the text; `readSoFar` is how much of the file has been taken so far.
ZoneFileRead readZoneFile(const QString& path,
                          const std::function<void(const char* data, std::size_t size,
                                                   std::uint64_t readSoFar)>& piece);

// The same for bytes in memory (tests and the fuzz target).
ZoneFileRead readZoneBytes(const char* data, std::size_t size,
                           const std::function<void(const char*, std::size_t)>& piece);

} // namespace sites::zones
