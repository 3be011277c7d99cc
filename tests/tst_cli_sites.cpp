// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitesprocess.h"
#include "window/form1.h"

#include <QListWidget>
#include <QTest>
#include <QTimer>

// lumo-cli and the window, side by side against the bundled sites.
class TestCliSites : public QObject {
    Q_OBJECT
private slots:
    void listMatchesTheWindow();
};

void TestCliSites::listMatchesTheWindow() {
    SitesProcess sites({QStringLiteral("--today"), QStringLiteral("2024-06-15")});
    QVERIFY2(sites.start(), qPrintable(sites.errorString()));

    // One day later (read as GB2312), 5-letter .com: several pages.
    Form1 form({sites.origin() + "/", sites.origin(), sites.origin()});
    for (QTimer* timer : {form.Timer1, form.Timer2, form.Timer3})
        timer->stop();
    form.Command11_Click();
    form.Command4_Click();
    form.Label4_Click(1);
    QStringList window;
    for (int k = 0; k < form.List1->count(); ++k)
        window << form.List1->item(k)->text();
    QVERIFY(window.size() > 100);

    QProcess cli;
    cli.start(LUMO_CLI_PROGRAM, {"list", "--listing-url", sites.origin() + "/", "--day", "+1",
                                 "--suffix", "com", "--length", "5"});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts),
             window);
}

QTEST_MAIN(TestCliSites)
#include "tst_cli_sites.moc"
