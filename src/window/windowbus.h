// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class Form1;

// The window on the session bus (org.example.lumo, /org/example/lumo): a click on a desktop
// notification about a followed name brings up the window's lookup of that name.
class WindowBus : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.example.lumo.Window")
public:
    explicit WindowBus(Form1& form);
    // Registers the object and the service; false without a session bus or when another
    // window holds the name, and nothing else fails then.
    bool registerOnSessionBus();

public slots:
    // Puts `name` in the lookup box and looks it up, once the call has been answered.
    Q_SCRIPTABLE void Lookup(const QString& name);

private:
    Form1& form_;
};
