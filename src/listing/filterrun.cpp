// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/filterrun.h"

#include <QThreadPool>
#include <atomic>
#include <mutex>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace listing {
namespace {

// Threads of their own, each at the lowest share of the processor (nice 19), so that the
// window's thread is not kept waiting behind a count on a busy machine.
Q_GLOBAL_STATIC(QThreadPool, countingThreads)

void yieldToOthers() {
    thread_local bool done = false;
    if (!done)
        setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 19);
    done = true;
}

} // namespace

// Shared by the run and its worker, so that either may go first.
struct FilterRun::Work {
    NameFilter filter;
    QStringList names;
    std::vector<Verdict> verdicts;
    std::atomic<qsizetype> judged{0};
    std::atomic<bool> cancelled{false};
    std::mutex ownerLock;
    FilterRun* owner = nullptr; // cleared by the run's destructor
};

FilterRun::FilterRun(const NameFilter& filter, QStringList names, QObject* parent)
    : QObject(parent), work_(std::make_shared<Work>()) {
    work_->filter = filter;
    work_->names = std::move(names);
    work_->owner = this;
    countingThreads()->start([work = work_] {
        yieldToOthers();
        const qsizetype n = work->names.size();
        work->verdicts.reserve(std::size_t(n));
        for (qsizetype i = 0; i < n; ++i) {
            if (work->cancelled.load(std::memory_order_relaxed))
                return;
            work->verdicts.push_back(work->filter.judge(work->names.at(i)));
            work->judged.store(i + 1, std::memory_order_relaxed);
        }
        const std::lock_guard lock(work->ownerLock);
        // A run dropped meanwhile takes its posted call with it.
        if (FilterRun* owner = work->owner)
            QMetaObject::invokeMethod(
                owner,
                [owner] {
                    owner->finished_ = true;
                    emit owner->finished();
                },
                Qt::QueuedConnection);
    });
}

FilterRun::~FilterRun() {
    work_->cancelled = true;
    const std::lock_guard lock(work_->ownerLock);
    work_->owner = nullptr;
}

const QStringList& FilterRun::names() const {
    return work_->names;
}

qsizetype FilterRun::judged() const {
    return work_->judged.load(std::memory_order_relaxed);
}

const std::vector<Verdict>& FilterRun::verdicts() const {
    return work_->verdicts;
}

} // namespace listing
