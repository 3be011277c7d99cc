// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace sites::rdap {

// An RDAP server's answer as it came: 200 with its JSON, or 404.
struct StoredAnswer {
    int status = 0;
    QByteArray body;
    QDateTime fetched; // UTC
};

// Where answers are kept for an hour, so that a name looked up again costs the registry
// nothing.
class AnswerCache {
public:
    virtual ~AnswerCache() = default;
    virtual std::optional<StoredAnswer> find(const QString& aceName, const QDateTime& notBefore) = 0;
    virtual void keep(const QString& aceName, const StoredAnswer& answer) = 0;
};

} // namespace sites::rdap
