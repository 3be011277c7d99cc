#include "window/form1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(
        QStringLiteral("lumo")); // ties the window to its menu entry
    Form1 form(Addresses::compiledIn());
    form.show();
    return app.exec();
}
