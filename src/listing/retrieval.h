// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/module1.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace listing {

// One cell of one day, as the grid shows it.
struct Cell {
    QString base; // the listing service's base URL, ending in "/"
    QString date; // the day as its summary printed it
    int suffixIndex = 1;
    int length = 3;
    QString caption; // the cell's count, as shown
    // A suffix outside the grid (".se", ".net.cn" ...), which then stands for suffixIndex.
    QString suffix = {};
};

// One page of a retrieval, handed over in page order.
struct ListedPage {
    int page = 0;  // from 1
    int pages = 0; // the most the retrieval asks for
    QString url;
    Module1::Page fetched; // what came back: the text, or why there is none
    QStringList names;     // the names to append: the page's own, cut where the end test holds
    qsizetype listed = 0;  // names handed over so far, these included
};

struct RetrievalOptions {
    // Pages in flight at once, 1 to 8. Later pages are asked for early; they are handed over
    // in order all the same, and the end test and the page count decide as with one.
    int jobs = 1;
    // The lane the page waited for goes on, so that a newer retrieval (or an interrupt)
    // aborts it; the pages asked for ahead go when the retrieval returns.
    Module1::Lane* lane = nullptr;
};

// How a retrieval ended. Only Complete and Stopped lists may be shown as finished; the
// others hold fewer names than the cell's count, or than its pages would have given.
struct Retrieval {
    enum class End {
        Complete, // the end test held, or the pages ran out of a cell whose count is unknown
        Stopped,  // the caller ended it (onPage said no, or stopRequested)
        Failed,   // a page brought no page, or an error page: `page` and `url` name it
        Short,    // the pages ran out before the cell's count: `url` is the last page asked
    };
    End end = End::Complete;
    int page = 0;
    QString url;
    Module1::Page fetched;       // what the failed page brought
    qsizetype listed = 0;        // names handed over
    std::optional<qint64> count; // what the cell promised, when its caption is a number
    bool complete() const { return end == End::Complete || end == End::Stopped; }
};

// Lists a cell's names page by page: pageCount(caption) pages at most, until the names
// handed over meet the cell's EndTest. After each page that came whole, `onPage` gets it,
// and may end the retrieval at once by returning false; then `stopRequested`, when given,
// may end it after that page. A page that fails ends the retrieval, and counts as stopped
// when `stopRequested` says so. Requests still in flight at the end are aborted.
Retrieval retrieveNames(const Cell& cell, const std::function<bool(const ListedPage&)>& onPage,
                        const std::function<bool()>& stopRequested = {},
                        const RetrievalOptions& options = {});

} // namespace listing
