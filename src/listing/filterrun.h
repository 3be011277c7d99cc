// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listing/filter.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <vector>

namespace listing {

// A filter judged over many names on a thread of Qt's pool, so that a costly regular
// expression never holds up the window: one name can take up to the engine's match limit
// (some 50 ms), 20,000 of them minutes. The run starts when it is made and stops between two
// names when it is dropped; its answer comes as `finished` on the thread that made it.
class FilterRun : public QObject {
    Q_OBJECT
public:
    FilterRun(const NameFilter& filter, QStringList names, QObject* parent = nullptr);
    ~FilterRun() override;

    const QStringList& names() const;
    // How many names are judged so far; any thread may be at work on the next.
    qsizetype judged() const;
    bool isFinished() const { return finished_; }
    // Once finished: one verdict per name, in the names' order.
    const std::vector<Verdict>& verdicts() const;

signals:
    void finished();

private:
    struct Work;
    std::shared_ptr<Work> work_;
    bool finished_ = false;
};

} // namespace listing
