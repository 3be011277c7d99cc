// SPDX-License-Identifier: GPL-3.0-or-later
#include "launch/bundledsites.h"
#include "window/form1.h"
#include "window/windowbus.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The window speaks Chinese whatever the desktop's language: so do Qt's own dialogs
    // (the message boxes' buttons, the save dialog), where Qt's translation is installed.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    // Ties the window to its menu entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.lumo"));
    Addresses addresses = Addresses::compiledIn();
    // Up before the window's first request, where no socket unit serves the bundled sites.
    BundledSites sites;
    if (sites.startFor({addresses.listing, addresses.lookup, addresses.maker}) ==
        BundledSites::Outcome::Foreign) {
        // Not a page from another user's program: the window fails its start-up as when
        // nothing answers, and the update check finds no version.
        qWarning("lumo: %s", qPrintable(sites.problem()));
        for (QString* address : {&addresses.listing, &addresses.lookup, &addresses.maker})
            if (BundledSites::atOrigin(*address, BundledSites::defaultOrigin()))
                address->clear();
    }
    Form1 form(addresses);
    // A notification's default action looks its name up here; without a session bus the
    // window simply is not reachable that way.
    (new WindowBus(form))->registerOnSessionBus();
    form.show();
    return app.exec();
}
