// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// The one scraping primitive: every scraper is a chain of these two steps.
namespace scrape {

// Piece `index` (from 0) of `text` split at every exact, case-sensitive occurrence of
// `marker`. Empty pieces count like any other; an empty text has no pieces at all, so
// every index gives nullopt. The view points into `text`: nothing is copied.
std::optional<QStringView> piece(QStringView text, QStringView marker, qsizetype index);

// `text` with every non-overlapping occurrence of `what`, found left to right, removed.
QString removeAll(QStringView text, QStringView what);

} // namespace scrape

namespace scrape {

// The pieces of one split, taken in order: piece 0, 1, 2, ... Taking them one after the
// other this way reads the text once, where asking piece() for each number would not.
class Pieces {
public:
    Pieces(QStringView text, QStringView marker) : text_(text), marker_(marker) {}
    // The next piece, or nullopt once the pieces have run out.
    std::optional<QStringView> next();

private:
    QStringView text_;
    QStringView marker_;
    qsizetype start_ = 0;
    bool done_ = false;
};

} // namespace scrape
