// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/windowbus.h"

#include "window/form1.h"

#include <QDBusConnection>
#include <QLineEdit>
#include <QTimer>

WindowBus::WindowBus(Form1& form) : QObject(&form), form_(form) {}

bool WindowBus::registerOnSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() &&
           bus.registerObject(QStringLiteral("/org/example/lumo"), this,
                              QDBusConnection::ExportScriptableSlots) &&
           bus.registerService(QStringLiteral("org.example.lumo"));
}

void WindowBus::Lookup(const QString& name) {
    // The lookup waits for its page: the caller is answered first, not after it.
    QTimer::singleShot(0, &form_, [this, name = name.trimmed()] {
        if (name.isEmpty())
            return;
        form_.showNormal();
        form_.raise();
        form_.activateWindow();
        form_.Text9->setText(name);
        form_.Command8_Click();
    });
}
