// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/form1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("lumo"));
    Form1 form(Addresses::compiledIn());
    form.show();
    return app.exec();
}
