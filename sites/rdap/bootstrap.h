// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <optional>

// IANA's directory of RDAP servers for domain names (dns.json): which server answers for which
// suffix. Pure, like the answer parser.
namespace sites::rdap {

class Bootstrap {
public:
    // None, with `error` set, for anything but the published shape:
    // {"services": [[["com", "net"], ["https://rdap.example/com/v1/"]], ...]}.
    static std::optional<Bootstrap> parse(const QByteArray& json, QString* error = nullptr);

    // The base URL (ending in "/") of the server for `aceName`, a name in A-labels: the entry
    // matching most of its labels from the right wins. Empty when no entry matches.
    QUrl serverFor(const QString& aceName) const;
    qsizetype size() const { return servers_.size(); }

private:
    QHash<QString, QUrl> servers_; // suffix, lower case, to its preferred base URL
};

} // namespace sites::rdap
