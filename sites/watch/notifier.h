// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "watch/watchrule.h"

#include <QDBusConnection>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;
class QEventLoop;

namespace sites::watch {

// Desktop notifications of a watch list's events over the session bus
// (org.freedesktop.Notifications). Without a bus nothing is sent and nothing fails: the events
// wait in the history.
class Notifier : public QObject {
    Q_OBJECT
public:
    explicit Notifier(QDBusConnection bus, QObject* parent = nullptr);
    // One notification for `event` of `name`; none for "first". False when none was sent.
    bool notify(const QString& name, const WatchEvent& event);
    // While serving: a notification's default action opens the window's lookup of its name
    // (org.example.lumo's Window.Lookup), when the window runs.
    void openLookups();
    // Waits up to `ms` for the notifications under way: a process about to end sends them all.
    void flush(int ms);

private slots:
    void actionInvoked(uint id, const QString& key);

private:
    QDBusConnection bus_;
    QHash<uint, QString> shown_; // notification id -> name
    QList<QDBusPendingCallWatcher*> sending_;
    QEventLoop* flushing_ = nullptr;
};

} // namespace sites::watch
