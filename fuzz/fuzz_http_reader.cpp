// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/httpreader.h"

// An answer read in two parts cut at the first byte's value, then closed: the body is never
// longer than what came, a finished answer stays as it is, reading it in one part comes to
// the same, and decoding stays inside its cap.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut =
        bytes.isEmpty() ? 0 : qsizetype(uint8_t(bytes.at(0))) % (bytes.size() + 1);
    Module1::HttpReader reader;
    reader.feed(QByteArrayView(bytes).first(cut));
    const Module1::HttpReader::State fed = reader.feed(QByteArrayView(bytes).sliced(cut));
    const Module1::HttpReader::State closed = reader.close();
    if (reader.body().size() > bytes.size())
        __builtin_trap();
    if (fed != Module1::HttpReader::State::Reading && closed != fed)
        __builtin_trap();
    if (closed == Module1::HttpReader::State::Complete && !reader.headRead())
        __builtin_trap();
    if (reader.reusable() && closed != Module1::HttpReader::State::Complete)
        __builtin_trap();
    // Under the shortest of the reader's size limits, where it cuts is all that differs: read
    // whole or a byte at a time, it comes to the same.
    if (bytes.size() < 8 * 1024) {
        Module1::HttpReader whole, drip;
        whole.feed(bytes);
        for (const char byte : bytes)
            drip.feed(QByteArrayView(&byte, 1));
        for (Module1::HttpReader* other : {&whole, &drip})
            if (other->close() != closed || other->body() != reader.body() ||
                other->reusable() != reader.reusable())
                __builtin_trap();
    }
    bool tooLarge = false;
    const auto decoded =
        Module1::decodeContent(reader.body(), reader.header("Content-Encoding"), 4096, &tooLarge);
    if ((decoded && decoded->size() > 4096) || (decoded && tooLarge))
        __builtin_trap();
    return 0;
}
