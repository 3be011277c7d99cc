// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/writer.h"

#include "rdap/memorycache.h"
#include "store/store.h"

namespace sites::store {

Writer::Writer(Store& reader, QString dir, QList<ListSource> sources, QDate fixedToday,
               int fetchIntervalMs, QObject* parent)
    : QObject(parent), reader_(reader),
      recent_(std::make_unique<sites::rdap::MemoryAnswerCache>(2000)), worker_(new QObject) {
    qRegisterMetaType<QList<sites::store::RefreshResult>>();
    QList<SourceState> states;
    for (const ListSource& source : sources)
        states.append({source.id, source.list, source.url.toString()});
    reader_.declare(states, false);
    worker_->moveToThread(&thread_);
    thread_.setObjectName(QStringLiteral("lumo-store-writer"));
    thread_.start();
    // A connection serves only the thread that opened it.
    QMetaObject::invokeMethod(worker_, [this, dir, sources, fixedToday, fetchIntervalMs] {
        QString error;
        store_ = Store::open(dir, &error, BusyTimeoutMs);
        if (!store_) {
            qWarning("lumo-sites: the store's writer cannot open %s: %s", qPrintable(dir),
                     qPrintable(error));
            return;
        }
        refresher_ = new Refresher(*store_, sources, fixedToday, worker_);
        refresher_->setFetchInterval(fetchIntervalMs);
        connect(refresher_, &Refresher::finished, this, &Writer::refreshed, Qt::QueuedConnection);
    });
}

Writer::~Writer() {
    QMetaObject::invokeMethod(
        worker_,
        [this] {
            delete refresher_;
            refresher_ = nullptr;
            store_.reset();
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void Writer::refresh() {
    QMetaObject::invokeMethod(worker_, [this] {
        if (refresher_)
            refresher_->start();
    });
}

void Writer::post(std::function<void(Store&)> write) {
    QMetaObject::invokeMethod(worker_, [this, write = std::move(write)] {
        if (store_)
            write(*store_);
    });
}

std::optional<sites::rdap::StoredAnswer> Writer::find(const QString& aceName,
                                                      const QDateTime& notBefore) {
    if (std::optional<sites::rdap::StoredAnswer> recent = recent_->find(aceName, notBefore))
        return recent;
    return reader_.find(aceName, notBefore);
}

void Writer::keep(const QString& aceName, const sites::rdap::StoredAnswer& answer) {
    recent_->keep(aceName, answer);
    post([aceName, answer](Store& store) { store.keep(aceName, answer); });
}

} // namespace sites::store
