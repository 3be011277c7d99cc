// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/watchlist.h"

// lumo-sites' answers about the followed names, and the name rule the clients apply to what
// the user types: one target, as they share the reading of days and times.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView json(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto list = watch::parseWatchList(json)) {
        if (list->pending < 0)
            __builtin_trap();
        for (const watch::Watched& w : list->names) {
            if ((w.deleted && w.deleted->size() != 10) || w.failures < 0 ||
                (w.event && w.event->name != w.name))
                __builtin_trap();
            if (w.deleted && !watch::deletedText(w).contains(*w.deleted))
                __builtin_trap();
        }
        watch::csv(list->names);
    }
    if (const auto events = watch::parseEvents(json))
        for (const watch::Event& e : *events)
            if (e.kind.isEmpty() || e.at.isEmpty())
                __builtin_trap();
    if (const auto answer = watch::parseChangeAnswer(json, u"added", u"already"))
        for (const QString& name : answer->done + answer->left + answer->invalid)
            watch::isDomainName(name);
    // A name the rule takes has a form the service can keep.
    const QString typed = QString::fromUtf8(json.first(qMin<qsizetype>(json.size(), 300)));
    if (watch::isDomainName(typed) && watch::normalized(typed).isEmpty())
        __builtin_trap();
    return 0;
}
