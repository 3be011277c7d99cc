// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/answercache.h"
#include "store/config.h"
#include "store/refresher.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QThread>
#include <functional>
#include <memory>

namespace sites::store {

class Store;

// The writes of a serving lumo-sites, on a thread and an SQLite connection of their own: the
// lists' fetching, parsing and storing, the fetch records and the RDAP answers kept. Pages
// wait for none of them, nor for another process's transaction that they wait on.
class Writer : public QObject, public sites::rdap::AnswerCache {
    Q_OBJECT
public:
    // `reader` is the serving thread's store: lookups read their answers from it.
    Writer(Store& reader, QString dir, QList<ListSource> sources, QDate fixedToday,
           int fetchIntervalMs, QObject* parent = nullptr);
    // Waits for the write under way, if any.
    ~Writer() override;

    // Starts a fetch of every list, unless one runs; refreshed() tells how it ended.
    void refresh();
    // Runs `write` on the writing thread's store after the writes posted before it.
    void post(std::function<void(Store&)> write);

    // AnswerCache: an answer is found at once, even before the store has it.
    std::optional<sites::rdap::StoredAnswer> find(const QString& aceName,
                                                  const QDateTime& notBefore) override;
    void keep(const QString& aceName, const sites::rdap::StoredAnswer& answer) override;

    // Another process may hold the write lock through a whole zone import.
    static constexpr int BusyTimeoutMs = 5 * 60 * 1000;

signals:
    void refreshed(const QList<sites::store::RefreshResult>& results);

private:
    Store& reader_;
    std::unique_ptr<sites::rdap::AnswerCache> recent_; // in memory, the latest 2,000
    QThread thread_;
    QObject* worker_; // lives on thread_, like everything below
    std::unique_ptr<Store> store_;
    Refresher* refresher_ = nullptr;
};

} // namespace sites::store
