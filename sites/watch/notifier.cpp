// SPDX-License-Identifier: GPL-3.0-or-later
#include "watch/notifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QTimer>

namespace sites::watch {
namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
constexpr int KeepIds = 500;

} // namespace

Notifier::Notifier(QDBusConnection bus, QObject* parent) : QObject(parent), bus_(std::move(bus)) {}

bool Notifier::notify(const QString& name, const WatchEvent& event) {
    if (event.kind == u"first" || !bus_.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    call << QStringLiteral("Lumo") << uint(0) << QStringLiteral("lumo") << name << event.text
         << QStringList{QStringLiteral("default"), QStringLiteral("查询")} << QVariantMap()
         << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, 10'000), this);
    sending_.append(watcher);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, name] {
        sending_.removeOne(watcher);
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid()) {
            if (shown_.size() > KeepIds)
                shown_.clear();
            shown_.insert(reply.value(), name);
        }
        watcher->deleteLater();
        if (flushing_ && sending_.isEmpty())
            flushing_->quit();
    });
    return true;
}

void Notifier::openLookups() {
    if (bus_.isConnected())
        bus_.connect(Service, Path, Service, QStringLiteral("ActionInvoked"), this,
                     SLOT(actionInvoked(uint, QString)));
}

void Notifier::flush(int ms) {
    if (sending_.isEmpty())
        return;
    // The event loop runs meanwhile: the service answering may live in this very thread.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    flushing_ = &loop;
    loop.exec();
    flushing_ = nullptr;
}

void Notifier::actionInvoked(uint id, const QString& key) {
    const QString name = shown_.value(id);
    const QString window = QStringLiteral("org.example.lumo");
    if (key != u"default" || name.isEmpty() || !bus_.interface() ||
        !bus_.interface()->isServiceRegistered(window))
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(window, QStringLiteral("/org/example/lumo"),
                                                       QStringLiteral("org.example.lumo.Window"),
                                                       QStringLiteral("Lookup"));
    call << name;
    bus_.call(call, QDBus::NoBlock);
}

} // namespace sites::watch
