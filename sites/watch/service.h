// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sitescore/pages.h"
#include "watch/checker.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QHttpServerRequest;

namespace sites::rdap {
class AnswerCache;
}

namespace sites::watch {

class Notifier;
class WatchList;

// Following names while lumo-sites serves: the /lumo/watch* pages, the queue of checks, the
// lists checked whenever the stored names change, and the notifications.
class WatchService : public QObject {
public:
    // Null, with `error`, when the watch list or its token cannot be had. `generation` changes
    // with the stored names; `interval` is the least time between two requests to one server.
    static WatchService* start(const QString& dir, rdap::LookupService& lookups,
                               Checker::ListedDays listedDays, std::function<qint64()> generation,
                               std::chrono::milliseconds interval, QObject* parent, QString* error);
    ~WatchService() override;
    Reply answer(const QHttpServerRequest& request, quint16 port);

private:
    explicit WatchService(QObject* parent);
    void checkLists();

    std::unique_ptr<WatchList> list_;
    Checker* checker_ = nullptr;
    Notifier* notifier_ = nullptr;
    QByteArray token_;
    std::function<qint64()> generation_;
    qint64 seenGeneration_ = -1;
};

// `lumo-sites --refresh`, after the lists and zones: the watched names against what is stored,
// then the names due asked at RDAP, at the registries' pace. Prints a line; 0 unless the watch
// list cannot be opened.
int runChecks(const QString& dir, const QString& configFile, Checker::ListedDays listedDays,
              rdap::AnswerCache* cache);

} // namespace sites::watch
