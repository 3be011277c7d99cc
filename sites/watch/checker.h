// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/lookupservice.h"
#include "sitescore/namesource.h"
#include "watch/watchrule.h"

#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace sites::watch {

class WatchList;

// Checks watched names one at a time, as the lookup page looks them up (the stored lists' day
// first, RDAP otherwise), so the registries' pace holds and a user's own lookup never waits
// behind a queue. One check run at a time across processes: a lock file in the data directory,
// held while names wait.
class Checker : public QObject {
    Q_OBJECT
public:
    using ListedDays = std::function<QList<ListedDay>(const QString&)>;
    Checker(WatchList& list, rdap::LookupService& lookups, ListedDays listedDays,
            const QString& lockFile, QObject* parent = nullptr);

    // Queues `names` (`now`: at the front, past the daily rule and the hour's cache); the names
    // queued. Those queued already are moved, not repeated.
    QStringList queue(const QStringList& names, bool now);
    // Queues the names due under the daily and weekly rule.
    QStringList queueDue();
    int pending() const { return int(queue_.size()) + (busy_ ? 1 : 0); }
    // Takes the lock now, for a run that must not wait for it: false when another process holds it.
    bool tryLock();

signals:
    void recorded(const QString& name, const sites::watch::WatchEvent& event);
    void idle();

private:
    void next();
    void checked(const QString& name, const rdap::Result& result);

    struct Item {
        QString name;
        bool now = false;
    };
    WatchList& list_;
    rdap::LookupService& lookups_;
    ListedDays listedDays_;
    QLockFile lock_;
    QList<Item> queue_;
    bool busy_ = false;
    bool waiting_ = false; // for the lock
};

} // namespace sites::watch
