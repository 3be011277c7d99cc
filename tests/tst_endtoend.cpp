// SPDX-License-Identifier: GPL-3.0-or-later
// The whole tool against the bundled web sites, as a user drives it.
#include "sitesprocess.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QTest>

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void dayCellListAndLookup();
};

void TestEndToEnd::dayCellListAndLookup() {
    SitesProcess sites({"--today", "2024-06-15", "--version-line", "8.9"});
    QVERIFY2(sites.start(), qPrintable(sites.errorString()));
    Form1 form({sites.origin() + "/", sites.origin(), sites.origin()});
    QStringList messages;
    form.MsgBox = [&](const QString& text, int, const QString&) {
        messages << text;
        return MsgBoxCancel;
    };
    form.show();

    // Start-up: the six slots, the cover dropped, the other version offered.
    QTRY_VERIFY_WITH_TIMEOUT(form.Picture1->isHidden() && !messages.isEmpty(), 10000);
    QCOMPARE(messages, QStringList{"发现最新版本8.9，是否更新？"});
    QStringList slotTexts;
    for (QLineEdit* slot : {form.Text3, form.Text2, form.Text1, form.Text4, form.Text5, form.Text6})
        slotTexts << slot->text();
    QCOMPARE(slotTexts.join(' '), QStringLiteral("2011-06-13 2011-06-14 2011-06-15 2011-06-16 "
                                                 "2011-06-17 2011-06-18"));

    // A date button (this one reads GB2312) fills the grid with numbers.
    form.Command4_Click();
    QCOMPARE(form.Label1(0)->text(), QStringLiteral("2011-06-16删除的域名"));

    // A cell lists exactly its count, over several pages, each name once.
    QTest::mouseClick(form.Label4(6), Qt::LeftButton); // the 5-letter .cn names
    const int expected = form.Label4(6)->text().toInt();
    QVERIFY2(expected > 100, qPrintable(form.Label4(6)->text()));
    QCOMPARE(form.List1->count(), expected);
    QSet<QString> unique;
    for (int k = 0; k < expected; ++k)
        unique.insert(form.List1->item(k)->text());
    QCOMPARE(unique.size(), expected);
    const QString name = form.List1->item(expected - 1)->text();
    QVERIFY2(name.size() == 8 && name.endsWith(".cn"), qPrintable(name));

    // The last name, picked in the list, is looked up: deleted on the day it was listed for.
    form.List1->setCurrentRow(expected - 1);
    form.Command8_Click();
    QCOMPARE(form.Label9(5)->text(), QStringLiteral("2011-06-16"));
    QVERIFY(!form.Label9(1)->text().isEmpty() && !form.Label9(6)->text().isEmpty());
    QVERIFY(form.Label9(3)->text() < form.Label9(4)->text()); // registered before it expires
    QCOMPARE(messages.size(), 1);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
