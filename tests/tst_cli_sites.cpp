// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitesprocess.h"
#include "window/form1.h"

#include <QAccessible>
#include <QFrame>
#include <QTest>
#include <QTimer>

// lumo-cli and the window, side by side against the bundled sites.
class TestCliSites : public QObject {
    Q_OBJECT
private slots:
    void listMatchesTheWindow();
};

namespace {

// The first control under `at` whose role and name (or description) a screen reader sees.
QAccessibleInterface* find(QAccessibleInterface* at, QAccessible::Role role, const QString& name) {
    if (at->role() == role &&
        (at->text(QAccessible::Name) == name || at->text(QAccessible::Description) == name))
        return at;
    for (int i = 0; i < at->childCount(); ++i)
        if (QAccessibleInterface* found = find(at->child(i), role, name))
            return found;
    return nullptr;
}

} // namespace

// The window is driven and read as a screen reader does, from outside its code.
void TestCliSites::listMatchesTheWindow() {
    SitesProcess sites({QStringLiteral("--today"), QStringLiteral("2024-06-15")});
    QVERIFY2(sites.start(), qPrintable(sites.errorString()));

    // One day later (read as GB2312), 5-letter .com: several pages.
    Form1 form({sites.origin() + "/", sites.origin(), sites.origin()});
    form.Timer3->stop();
    form.show();
    QTRY_VERIFY_WITH_TIMEOUT(form.Picture1->isHidden(), 10000);
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&form);
    QAccessibleInterface* dayButton = find(root, QAccessible::Button, "一天后");
    QVERIFY(dayButton);
    dayButton->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QAccessibleInterface* cell = find(root, QAccessible::StaticText, "5位.com删除数");
    QVERIFY(cell);
    QTRY_VERIFY(cell->text(QAccessible::Name).toInt() > 100); // the press comes a moment later
    QTest::mouseClick(qobject_cast<QWidget*>(cell->object()), Qt::LeftButton);
    QAccessibleInterface* list = find(root, QAccessible::List, "删除域名列表");
    QVERIFY(list);
    QStringList window;
    for (int k = 0; k < list->childCount(); ++k)
        window << list->child(k)->text(QAccessible::Name);
    QCOMPARE(window.size(), cell->text(QAccessible::Name).toInt());

    QProcess cli;
    cli.start(LUMO_CLI_PROGRAM, {"list", "--listing-url", sites.origin() + "/", "--lookup-url",
                                 sites.origin(), "--day", "+1", "--suffix", "com", "--length", "5"});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
             window);
}

QTEST_MAIN(TestCliSites)
#include "tst_cli_sites.moc"
