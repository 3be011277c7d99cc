// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/answercache.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <map>
#include <optional>

namespace sites::rdap {

// The cache in memory, for a run; the oldest answers go first past `capacity`.
class MemoryAnswerCache : public AnswerCache {
public:
    explicit MemoryAnswerCache(int capacity = 20000) : capacity_(capacity) {}
    std::optional<StoredAnswer> find(const QString& aceName, const QDateTime& notBefore) override;
    void keep(const QString& aceName, const StoredAnswer& answer) override;

private:
    int capacity_;
    QHash<QString, StoredAnswer> answers_;
    std::multimap<QDateTime, QString> byAge_;
};

} // namespace sites::rdap
