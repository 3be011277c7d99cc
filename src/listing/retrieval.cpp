// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/retrieval.h"

#include "listing/domainlist.h"
#include "listing/urls.h"

#include <deque>
#include <memory>

namespace listing {

void retrieveNames(const Cell& cell, const std::function<bool(const ListedPage&)>& onPage,
                   const std::function<bool()>& stopRequested, const RetrievalOptions& options) {
    const EndTest end(cell.length, cell.caption);
    const int pages = pageCount(cell.caption);
    const int jobs = qBound(1, options.jobs, 8);
    const QString marker = linkMarker(cell.base);
    const QString tld = cell.suffix.isEmpty() ? suffix(cell.suffixIndex) : cell.suffix;
    const auto urlOf = [&](int page) {
        return listPageUrl(cell.base, cell.date, tld, cell.length, page);
    };

    std::deque<std::unique_ptr<Module1::Request>> ahead; // pages asked for, in page order
    int asked = 0;
    qsizetype listed = 0;
    for (int page = 1; page <= pages; ++page) {
        if (end.met(listed))
            break; // nothing more to ask for
        while (asked < pages && asked < page - 1 + jobs)
            ahead.push_back(std::make_unique<Module1::Request>(urlOf(++asked), "UTF-8"));
        const std::unique_ptr<Module1::Request> request = std::move(ahead.front());
        ahead.pop_front();
        if (options.lane)
            options.lane->take(request.get());

        ListedPage out;
        out.page = page;
        out.pages = pages;
        out.url = urlOf(page);
        out.fetched = Module1::waitFor(*request);
        out.names = namesOnPage(out.fetched.text, marker);
        out.names.resize(end.take(listed, out.names.size()));
        listed += out.names.size();
        out.listed = listed;
        if (!onPage(out) || (stopRequested && stopRequested()))
            return;
    }
}

} // namespace listing
