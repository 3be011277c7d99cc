// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/bundledsites.h"
#include "window/form1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.lumo"));
    const Addresses addresses = Addresses::compiledIn();
    // Up before the window's first request, where no socket unit serves the bundled sites.
    BundledSites sites;
    sites.startFor({addresses.listing, addresses.lookup, addresses.maker});
    Form1 form(addresses);
    form.show();
    return app.exec();
}
