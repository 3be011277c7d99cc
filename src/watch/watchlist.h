// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The names the user follows, as lumo-sites keeps them (lumo/watch.json, lumo/watch-events.json,
// the changes under lumo/watch/), read and written the same way by the window and lumo-cli.
namespace watch {

// Something that happened to a followed name.
struct Event {
    QString name;
    QString kind; // first, status, taken, day, listed or failing
    QString text; // for people: what changed
    QString at;   // ISO 8601, UTC
};

// One followed name and what its last check found.
struct Watched {
    QString name;
    QString added;
    QString status; // 已注册, 赎回期, 待删除, 已删除, 未注册 or "无法查询：…"
    std::optional<QString> registered; // YYYY-MM-DD
    std::optional<QString> expires;
    std::optional<QString> deleted;
    bool approximate = false;             // the deletion day is an estimate
    std::optional<QString> releaseTime;   // when in the day the registry releases it
    std::optional<QString> checked;       // ISO 8601, UTC; none before the first check
    qint64 failures = 0;
    std::optional<Event> event;           // the latest
};

struct WatchList {
    QList<Watched> names;
    qint64 pending = 0; // names waiting in the check queue
};

// Nothing unless every entry has its fields with values of their kind: dates real days,
// times real times, the kind of an event one of the six.
std::optional<WatchList> parseWatchList(QByteArrayView json);
std::optional<QList<Event>> parseEvents(QByteArrayView json);

// The answer to a change: the names it applied to and those it left ("added"/"already",
// "removed"/"unknown", "queued"/none), or why it was refused and the names it refused.
struct ChangeAnswer {
    QStringList done;
    QStringList left;
    QString error;
    QStringList invalid;
};
// Nothing unless the fields present are lists of texts (and the error a text).
std::optional<ChangeAnswer> parseChangeAnswer(QByteArrayView json, QStringView doneField,
                                              QStringView leftField);
// The body of a change: {"names":[...]}.
QByteArray namesBody(const QStringList& names);

// Whether `name` can be a registered domain name: two labels or more of letters (any script),
// digits and inner hyphens, 63 characters at most each in their ASCII form.
bool isDomainName(const QString& name);
// Lower case in the Unicode form, as the service keeps names.
QString normalized(const QString& name);

// The deletion day as people read it: "≈" before an estimate, the release time after it
// ("2027-01-02 04:00 UTC"); empty for none.
QString deletedText(const Watched& w);
// A time for people: local, to the minute; "-" for none.
QString localTime(const std::optional<QString>& iso);
// Whether a check has answered since `since`.
bool checkedSince(const Watched& w, const QDateTime& since);

// The list as CSV, the columns of lumo-cli watch list: name, status, deleted, approximate,
// checked, event, releaseTime.
QString csv(const QList<Watched>& names);

// Where lumo-sites keeps the token a change must carry: $XDG_DATA_HOME/lumo/watch-token,
// else ~/.local/share/lumo/watch-token.
QString defaultTokenPath();
// The token from `path`, or why there is none (the reason never holds the token).
struct Token {
    QByteArray value;
    QString problem;
};
Token readToken(const QString& path);

} // namespace watch
