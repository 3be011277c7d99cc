// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/http1parser.h"

using sites::net::Http1Parser;

namespace {

struct Read {
    QByteArray body;
    bool complete = false;
    bool failed = false;
    int status = 0;
};

Read parse(QByteArrayView bytes, qsizetype cut, bool close) {
    Http1Parser parser;
    Read r;
    if (parser.feed(bytes.first(cut), r.body))
        parser.feed(bytes.sliced(cut), r.body);
    if (close)
        parser.closed();
    r.complete = parser.complete();
    r.failed = parser.failed();
    r.status = parser.status();
    if (r.complete && r.failed)
        __builtin_trap();
    return r;
}

} // namespace

// The answer read in one piece or in two must come out the same, cut wherever it is cut.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const bool close = data[0] & 1;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const qsizetype cut = qsizetype(data[0]) * bytes.size() / 255;
    const Read whole = parse(bytes, bytes.size(), close);
    const Read split = parse(bytes, cut, close);
    if (whole.body != split.body || whole.complete != split.complete ||
        whole.failed != split.failed || whole.status != split.status)
        __builtin_trap();
    return 0;
}
