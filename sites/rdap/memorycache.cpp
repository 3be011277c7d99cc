// SPDX-License-Identifier: GPL-3.0-or-later
#include "rdap/memorycache.h"

namespace sites::rdap {

std::optional<StoredAnswer> MemoryAnswerCache::find(const QString& aceName,
                                                    const QDateTime& notBefore) {
    const auto found = answers_.constFind(aceName);
    if (found == answers_.constEnd() || found->fetched < notBefore)
        return std::nullopt;
    return *found;
}

void MemoryAnswerCache::keep(const QString& aceName, const StoredAnswer& answer) {
    if (const auto old = answers_.constFind(aceName); old != answers_.constEnd()) {
        auto [first, last] = byAge_.equal_range(old->fetched);
        for (auto it = first; it != last; ++it)
            if (it->second == aceName) {
                byAge_.erase(it);
                break;
            }
    }
    answers_.insert(aceName, answer);
    byAge_.emplace(answer.fetched, aceName);
    while (answers_.size() > capacity_ && !byAge_.empty()) {
        answers_.remove(byAge_.begin()->second);
        byAge_.erase(byAge_.begin());
    }
}

} // namespace sites::rdap
