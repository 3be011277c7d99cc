// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/domainlist.h"
#include "sitesprocess.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QTest>
#include <QTimer>

// The whole tool against the bundled web sites, as a user drives it.
class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void dayCellListAndLookup();
    void updateOfferedForAnotherVersion();

private:
    SitesProcess sites_{{QStringLiteral("--today"), QStringLiteral("2024-06-15"),
                         QStringLiteral("--version-line"), QStringLiteral("8.9")}};
};

void TestEndToEnd::initTestCase() {
    QVERIFY2(sites_.start(), qPrintable(sites_.errorString()));
}

void TestEndToEnd::dayCellListAndLookup() {
    Form1 form({sites_.origin() + "/", sites_.origin(), sites_.origin()});
    form.Timer3->stop();
    QStringList messages;
    form.MsgBox = [&](const QString& text, int, const QString&) {
        messages << text;
        return MsgBoxCancel;
    };
    form.show();

    // Start-up: the six slots, the cover dropped.
    QTRY_VERIFY_WITH_TIMEOUT(form.Picture1->isHidden(), 10000);
    const QStringList slotTexts = {form.Text3->text(), form.Text2->text(), form.Text1->text(),
                                   form.Text4->text(), form.Text5->text(), form.Text6->text()};
    QCOMPARE(slotTexts, (QStringList{"2011-06-13", "2011-06-14", "2011-06-15", "2011-06-16",
                                     "2011-06-17", "2011-06-18"}));

    // A date button fills the grid with numbers; Command4 reads its page as GB2312.
    form.Command4_Click();
    QCOMPARE(form.Text7->text(), QStringLiteral("2011-06-16"));
    QCOMPARE(form.Label1(0)->text(), QStringLiteral("2011-06-16删除的域名"));
    const ControlArray<Label, 1, 7>* rows[] = {&form.Label2, &form.Label3, &form.Label4,
                                               &form.Label5, &form.Label6};
    Label* chosen = nullptr;
    int chosenRow = -1, chosenIndex = -1;
    for (int r = 0; r < 5; ++r)
        for (int i = 1; i <= 7; ++i) {
            const auto count = listing::countValue((*rows[r])(i)->text());
            QVERIFY2(count, qPrintable((*rows[r])(i)->objectName()));
            if (!chosen && *count > 150 && *count < 1000 && r > 0) {
                chosen = (*rows[r])(i);
                chosenRow = r;
                chosenIndex = i;
            }
        }
    QVERIFY(chosen);

    // A cell lists exactly its count, over several pages, each name once.
    QTest::mouseClick(chosen, Qt::LeftButton);
    const int expected = chosen->text().toInt();
    QCOMPARE(form.List1->count(), expected);
    QCOMPARE(form.Label7->text(), QString::number(expected));
    QCOMPARE(form.Label8->text(), QStringLiteral("恭喜查询完毕！"));
    QSet<QString> unique;
    for (int k = 0; k < form.List1->count(); ++k)
        unique.insert(form.List1->item(k)->text());
    QCOMPARE(unique.size(), expected);
    const char* suffixes[] = {"", ".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};
    const QString name = form.List1->item(expected - 1)->text();
    QVERIFY2(name.endsWith(QLatin1String(suffixes[chosenIndex])), qPrintable(name));
    QCOMPARE(name.size() - int(qstrlen(suffixes[chosenIndex])), chosenRow + 3);

    // The last name, picked in the list, is looked up: deleted on the day it was listed for.
    form.List1->setCurrentRow(expected - 1);
    QCOMPARE(form.Text9->text(), name);
    form.Command8_Click();
    QCOMPARE(form.Label9(5)->text(), QStringLiteral("2011-06-16"));
    for (int i : {1, 3, 4, 6})
        QVERIFY2(!form.Label9(i)->text().isEmpty(), qPrintable(QString::number(i)));
    QVERIFY(form.Label9(3)->text() < form.Label9(4)->text()); // registered before it expires
    QVERIFY(messages.isEmpty());
}

void TestEndToEnd::updateOfferedForAnotherVersion() {
    Form1 form({sites_.origin() + "/", sites_.origin(), sites_.origin()});
    form.Timer1->stop();
    QStringList questions;
    form.MsgBox = [&](const QString& text, int, const QString&) {
        questions << text;
        return MsgBoxOk;
    };
    QList<QUrl> opened;
    form.OpenUrl = [&](const QUrl& url) { opened << url; };
    QTRY_COMPARE_WITH_TIMEOUT(questions.size(), 1, 10000);
    QCOMPARE(questions.first(), QStringLiteral("发现最新版本8.9，是否更新？"));
    QCOMPARE(opened, QList<QUrl>{QUrl(sites_.origin() + "/lumo/")});
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
