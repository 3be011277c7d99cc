// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/module1.h"
#include "watch/watchlist.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <optional>

class Form1;
class WatchDialog;

// The names the user follows, as the window sees them: lumo-sites keeps the list, the window
// changes it with the user's token and remembers which names it last heard were followed, so
// that the lookup's button and the list's menu offer 关注 or 取消关注 without asking each time.
class Following : public QObject {
    Q_OBJECT
public:
    explicit Following(Form1& form);

    // The list as the service has it now; nothing, and the reason in `problem`, when it
    // cannot be had.
    std::optional<watch::WatchList> load(QString* problem = nullptr);
    // Whether the list has been heard at all.
    bool known() const { return known_; }
    // Whether `name` was followed when last heard.
    bool isFollowed(const QString& name) const;

    // Changes; each says how it went in the status line or, when it failed, in a message box.
    // true when the service took it.
    bool follow(const QStringList& names);
    bool unfollow(const QStringList& names);
    // Asks for a check of `names` (none: those due); the names queued.
    std::optional<QStringList> check(const QStringList& names);

    // The 关注列表 dialog, opened or brought up.
    void showList();
    WatchDialog* dialog() const;

signals:
    // The names known to be followed have changed.
    void changed();

private:
    std::optional<watch::ChangeAnswer> change(const QString& path, const QStringList& names,
                                              QStringView doneField, QStringView leftField);
    void note(const QStringList& followed, const QStringList& unfollowed);

    Form1& form_;
    QSet<QString> followed_;
    bool known_ = false;
    QPointer<WatchDialog> dialog_;
    Module1::Lane lane_;
};
