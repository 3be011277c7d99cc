// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/service.h"

#include "watch/notifier.h"
#include "watch/token.h"
#include "watch/watchhttp.h"
#include "watch/watchstore.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace sites::watch {
namespace {

constexpr int ListsCheckedEveryMs = 60'000;
constexpr int DueQueuedEveryMs = 60 * 60'000;

QString lockFile(const QString& dir) {
    return QDir(dir).filePath(QStringLiteral("watch-check.lock"));
}

// Every process keeps to each server's pace through the store.
void paceThroughStore(rdap::LookupService& lookups, WatchList* list,
                      std::chrono::milliseconds interval) {
    lookups.setPace([list, ms = interval.count()](const QString& host) {
        return list->reserve(host, ms, QDateTime::currentMSecsSinceEpoch());
    });
}

} // namespace

WatchService* WatchService::start(const QString& dir, rdap::LookupService& lookups,
                                  Checker::ListedDays listedDays,
                                  std::function<qint64()> generation,
                                  std::chrono::milliseconds interval, QObject* parent,
                                  QString* error) {
    std::unique_ptr<WatchList> list = WatchList::open(dir, error);
    if (!list)
        return nullptr;
    QByteArray token = watchToken(dir, error);
    if (token.isEmpty())
        return nullptr;
    auto* service = new WatchService(parent);
    service->list_ = std::move(list);
    service->token_ = std::move(token);
    service->generation_ = std::move(generation);
    paceThroughStore(lookups, service->list_.get(), interval);
    service->checker_ = new Checker(*service->list_, lookups, std::move(listedDays),
                                    lockFile(dir), service);
    service->notifier_ = new Notifier(QDBusConnection::sessionBus(), service);
    service->notifier_->openLookups();
    connect(service->checker_, &Checker::recorded, service->notifier_, &Notifier::notify);

    auto* lists = new QTimer(service);
    connect(lists, &QTimer::timeout, service, &WatchService::checkLists);
    lists->start(ListsCheckedEveryMs);
    auto* due = new QTimer(service);
    connect(due, &QTimer::timeout, service->checker_, &Checker::queueDue);
    due->start(DueQueuedEveryMs);
    QTimer::singleShot(0, service, [service] {
        service->checkLists();
        service->checker_->queueDue();
    });
    return service;
}

WatchService::WatchService(QObject* parent) : QObject(parent) {}
WatchService::~WatchService() = default;

void WatchService::checkLists() {
    const qint64 now = generation_ ? generation_() : 0;
    if (now == seenGeneration_)
        return;
    seenGeneration_ = now;
    for (const EventRow& row : list_->checkLists(QDateTime::currentDateTimeUtc()))
        notifier_->notify(row.name, row.event);
}

Reply WatchService::answer(const QHttpServerRequest& request, quint16 port) {
    Site site;
    site.list = list_.get();
    site.token = token_;
    site.queue = [this](const QStringList& names, bool now) {
        return names.isEmpty() ? checker_->queueDue() : checker_->queue(names, now);
    };
    site.pending = [this] { return checker_->pending(); };
    return sites::watch::answer(site, httpIn(request, port), QDateTime::currentDateTimeUtc());
}

int runChecks(const QString& dir, const QString& configFile, Checker::ListedDays listedDays,
              rdap::AnswerCache* cache) {
    auto line = [](const QString& text) {
        std::printf("watch: %s\n", qPrintable(text));
        std::fflush(stdout);
    };
    QString error;
    const std::unique_ptr<WatchList> list = WatchList::open(dir, &error);
    if (!list) {
        line(QStringLiteral("failed, %1").arg(error));
        return 1;
    }
    const rdap::Settings settings =
        rdap::readSettings(sites::settings::SettingsFile(configFile), dir);
    if (list->rows().isEmpty())
        return 0;
    Notifier notifier(QDBusConnection::sessionBus());
    int changes = 0;
    for (const EventRow& row : list->checkLists(QDateTime::currentDateTimeUtc())) {
        notifier.notify(row.name, row.event);
        ++changes;
    }
    rdap::LookupService lookups(settings, cache);
    paceThroughStore(lookups, list.get(), settings.interval);
    Checker checker(*list, lookups, std::move(listedDays), lockFile(dir));
    QObject::connect(&checker, &Checker::recorded, &notifier,
                     [&](const QString& name, const WatchEvent& event) {
                         notifier.notify(name, event);
                         ++changes;
                     });
    if (!checker.tryLock()) {
        line(QStringLiteral("another check runs; the names due are left to it"));
    } else {
        const qsizetype checked = checker.queueDue().size();
        if (checked > 0) {
            QEventLoop loop;
            QObject::connect(&checker, &Checker::idle, &loop, &QEventLoop::quit);
            loop.exec();
        }
        line(QStringLiteral("%1 names checked, %2 changes").arg(checked).arg(changes));
    }
    notifier.flush(5000);
    return 0;
}

} // namespace sites::watch
