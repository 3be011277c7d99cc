// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Page retrieval: every page the program reads comes through here.
namespace Module1 {

// The body of one GET for `url`, decoded as UTF-8, or the empty text when the request or
// the decoding failed. The HTTP status is never looked at. The caller's window keeps
// handling its events while this waits; fetches started meanwhile nest and return first.
QString GetPageUtf8(const QString& url);
// The same, decoded as GB2312 (read as code page 936, GBK, like the services write it).
QString GetPageGb2312(const QString& url);
// `bytes` decoded in `charset` ("UTF-8" or "gb2312"); invalid sequences become U+FFFD.
// An unknown charset gives the empty text.
QString BytesToText(const QByteArray& bytes, const QString& charset);

// Where a request gives up. Each limit reached ends the fetch with the empty text.
struct FetchLimits {
    int idleTimeoutMs = 30'000;       // no data from the server for this long
    int totalTimeoutMs = 120'000;     // the whole exchange, for servers that drip bytes
    qint64 maxBodyBytes = 32ll << 20; // larger bodies are abandoned
    int maxRedirects = 10;
};
// Tests shorten the limits; the program keeps the defaults.
void setFetchLimits(const FetchLimits& limits);

} // namespace Module1
