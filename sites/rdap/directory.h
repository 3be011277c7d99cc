// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "rdap/bootstrap.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace sites::net {
class HttpClient;
}

namespace sites::rdap {

// IANA's directory of RDAP servers, kept in `dataDir` between runs and checked at most once a
// day with a conditional GET. Without a copy, a failed fetch is tried again after 15 minutes.
class ServerDirectory {
public:
    ServerDirectory(QUrl url, QString dataDir, net::HttpClient& client);

    // Calls `then` once the directory is current or cannot be had now: at once, or from the
    // event loop after a fetch. Callers at the same time share one fetch.
    void whenReady(std::function<void()> then);
    // The directory held, or null; and why none, when none.
    const Bootstrap* servers() const { return held_ ? &*held_ : nullptr; }
    const QString& error() const { return error_; }

private:
    void load();
    void fetch();
    void fetched(const QByteArray& body, const QByteArray& etag, const QByteArray& lastModified,
                 bool changed);
    void saveValidators(const QDateTime& now);
    QString file() const;
    QString validatorsFile() const;

    QUrl url_;
    QString dataDir_;
    net::HttpClient& client_;
    std::optional<Bootstrap> held_;
    QByteArray etag_, lastModified_;
    QDateTime checked_;     // the last time the directory was fetched or found unchanged
    QDateTime lastFailure_; // the last fetch that brought no directory, while none is held
    QString error_;
    bool loaded_ = false;
    bool fetching_ = false;
    QList<std::function<void()>> waiting_;
};

} // namespace sites::rdap
