// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace listing {

// The paging assumes the listing service puts this many names on a full page.
inline constexpr qsizetype namesPerPage = 100;

// A count cell's caption as a whole number: an optional sign and decimal digits, blanks
// around them allowed. Anything else ("...", "1,234", "12 个") is not a number.
std::optional<qint64> countValue(QStringView caption);

// Pages to request for a cell: its count divided by the page size, rounded up, at least 1.
// A caption that is not a number gives 1, and so does a count too large for 16-bit paging.
int pageCount(QStringView caption);

// When a cell's list holds what the cell promises. The length-3 row compares the running
// count's text with the caption's; the other rows compare numbers, and a caption that is
// not a number never ends the list early.
class EndTest {
public:
    EndTest(int length, QString caption);
    bool met(qsizetype entries) const;
    // How many of `offered` further names a list of `entries` takes: all of them, or up to
    // the first one after which the test holds, as if it were checked name by name.
    qsizetype take(qsizetype entries, qsizetype offered) const;

private:
    bool textual_;
    QString caption_;
    std::optional<qint64> value_;
};

// The names on one list page: for each of the first `maxPieces` link markers, the text after
// it up to the next ">" (the text up to the next marker when it has none), unchanged. A
// marker directly followed by another, or ending the page, gives no name.
QStringList namesOnPage(QStringView page, QStringView marker, qsizetype maxPieces = namesPerPage);

} // namespace listing
