// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/checker.h"

#include "rdap/lookuppage.h"
#include "watch/watchstore.h"

#include <QTimer>

namespace sites::watch {

Checker::Checker(WatchList& list, rdap::LookupService& lookups, ListedDays listedDays,
                 const QString& lockFile, QObject* parent)
    : QObject(parent), list_(list), lookups_(lookups), listedDays_(std::move(listedDays)),
      lock_(lockFile) {
    // Held as long as a run lasts: only a lock whose process has ended is taken over.
    lock_.setStaleLockTime(0);
}

QStringList Checker::queue(const QStringList& names, bool now) {
    for (const QString& name : names)
        queue_.removeIf([&](const Item& item) { return item.name == name; });
    QList<Item> items;
    for (const QString& name : names)
        items.append({name, now});
    if (now)
        queue_ = items + queue_;
    else
        queue_ += items;
    QTimer::singleShot(0, this, &Checker::next);
    return names;
}

QStringList Checker::queueDue() {
    QStringList due = list_.due(QDateTime::currentDateTimeUtc());
    due.removeIf([this](const QString& name) {
        return std::any_of(queue_.cbegin(), queue_.cend(),
                           [&](const Item& item) { return item.name == name; });
    });
    return queue(due, false);
}

bool Checker::tryLock() {
    return lock_.isLocked() || lock_.tryLock(0);
}

void Checker::next() {
    if (busy_ || waiting_)
        return;
    if (queue_.isEmpty()) {
        if (lock_.isLocked())
            lock_.unlock();
        emit idle();
        return;
    }
    if (!tryLock()) { // another process checks: this queue waits its turn
        waiting_ = true;
        QTimer::singleShot(5000, this, [this] {
            waiting_ = false;
            next();
        });
        return;
    }
    const Item item = queue_.takeFirst();
    if (!list_.contains(item.name)) {
        QTimer::singleShot(0, this, &Checker::next);
        return;
    }
    busy_ = true;
    lookups_.lookup(
        item.name,
        [this, name = item.name](const rdap::Result& result) {
            checked(name, result);
            busy_ = false;
            QTimer::singleShot(0, this, &Checker::next);
        },
        item.now);
}

void Checker::checked(const QString& name, const rdap::Result& result) {
    using Kind = rdap::Result::Kind;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // The day the lookup page picks a listed day by: the user's, as the window shows it.
    const QDate today = now.toLocalTime().date();
    const std::optional<ListedDay> listed =
        listedDays_ ? shownDay(listedDays_(name), today) : std::nullopt;
    const LookupFacts facts = rdap::factsOf(result, listed, today);
    Looked looked;
    looked.transient = result.kind == Kind::Failed || result.kind == Kind::RateLimited ||
                       result.kind == Kind::NoDirectory;
    looked.failed = looked.transient || facts.status.startsWith(u"无法查询");
    // A zone's estimate never stands in for a registry that did not answer.
    looked.status = looked.transient ? rdap::factsOf(result, std::nullopt, today).status : facts.status;
    looked.registered = facts.registered;
    looked.expires = facts.expires;
    looked.deleted = facts.deleted;
    looked.approximate = facts.deletedApproximate;
    if (listed && !listed->approximate)
        looked.listed = listed->day;
    looked.releaseTime = looked.listed ? list_.releaseTime(name, *looked.listed) : QString();
    const QList<WatchEvent> events = list_.record(
        name, [&](const WatchResult& before) { return afterLookup(before, looked, now); }, now);
    for (const WatchEvent& event : events)
        emit recorded(name, event);
}

} // namespace sites::watch
