// SPDX-License-Identifier: GPL-3.0-or-later
#include "scrape/split.h"

namespace scrape {

std::optional<QStringView> piece(QStringView text, QStringView marker, qsizetype index) {
    if (text.isEmpty() || index < 0)
        return std::nullopt;
    if (marker.isEmpty()) // nothing to split at: the text is its only piece
        return index == 0 ? std::optional<QStringView>(text) : std::nullopt;

    qsizetype start = 0;
    for (qsizetype i = 0; i < index; ++i) {
        const qsizetype hit = text.indexOf(marker, start);
        if (hit < 0)
            return std::nullopt;
        start = hit + marker.size();
    }
    const qsizetype end = text.indexOf(marker, start);
    return text.sliced(start, (end < 0 ? text.size() : end) - start);
}

QString removeAll(QStringView text, QStringView what) {
    if (what.isEmpty())
        return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype start = 0;
    for (qsizetype hit; (hit = text.indexOf(what, start)) >= 0; start = hit + what.size())
        out.append(text.sliced(start, hit - start));
    out.append(text.sliced(start));
    return out;
}

} // namespace scrape

namespace scrape {

std::optional<QStringView> Pieces::next() {
    if (done_ || text_.isEmpty())
        return std::nullopt;
    const qsizetype hit = marker_.isEmpty() ? -1 : text_.indexOf(marker_, start_);
    if (hit < 0) {
        done_ = true;
        return text_.sliced(start_);
    }
    const QStringView out = text_.sliced(start_, hit - start_);
    start_ = hit + marker_.size();
    return out;
}

} // namespace scrape
