// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/retrieval.h"

#include "listing/domainlist.h"
#include "listing/urls.h"

#include <deque>
#include <memory>

namespace listing {

Retrieval retrieveNames(const Cell& cell, const std::function<bool(const ListedPage&)>& onPage,
                        const std::function<bool()>& stopRequested,
                        const RetrievalOptions& options) {
    const EndTest end(cell.length, cell.caption);
    const int pages = pageCount(cell.caption);
    const int jobs = qBound(1, options.jobs, 8);
    const QString marker = linkMarker(cell.base);
    Retrieval result;
    result.count = countValue(cell.caption);
    const QString tld = cell.suffix.isEmpty() ? suffix(cell.suffixIndex) : cell.suffix;
    const auto urlOf = [&](int page) {
        return listPageUrl(cell.base, cell.date, tld, cell.length, page);
    };

    std::deque<std::unique_ptr<Module1::Request>> ahead; // pages asked for, in page order
    int asked = 0;
    qsizetype& listed = result.listed;
    const auto stopped = [&] {
        result.end = Retrieval::End::Stopped;
        return result;
    };
    for (int page = 1; page <= pages; ++page) {
        if (end.met(listed))
            return result; // nothing more to ask for
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
        if (out.fetched.failure != Module1::Failure::None) {
            if (stopRequested && stopRequested())
                return stopped(); // the page the user cut short
            result.end = Retrieval::End::Failed;
            result.page = page;
            result.url = out.url;
            result.fetched = out.fetched;
            return result;
        }
        out.names = namesOnPage(out.fetched.text, marker);
        out.names.resize(end.take(listed, out.names.size()));
        listed += out.names.size();
        out.listed = listed;
        if (!onPage(out) || (stopRequested && stopRequested()))
            return stopped();
        result.url = out.url;
    }
    // The pages ran out: short of a count the cell promised, the list is not whole.
    if (!end.met(listed) && result.count && *result.count > listed)
        result.end = Retrieval::End::Short;
    return result;
}

} // namespace listing
