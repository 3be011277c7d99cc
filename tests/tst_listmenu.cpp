// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/filter.h"
#include "rig.h"
#include "window/filterdialog.h"
#include "window/listmenu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

listing::NameFilter regexFilter(const QString& regex) {
    listing::FilterSpec criteria;
    criteria.regex = regex;
    return *listing::NameFilter::compile(criteria);
}

// Page `page` of the 5-letter .com cell of the rig's day.
QString comPage(int page) {
    return QStringLiteral("/deleteddomain.php?date=2011-05-10&t=inter&page=%1&tld=.com&length=5")
        .arg(page);
}

struct MenuRig : Rig {
    MenuRig() { form->Text7->setText(QStringLiteral("2011-05-10")); }
    // Lists n1.com ... n<count>.com from the 5-letter .com cell.
    void list(int count) {
        server.setFallback(FixtureServer::answer(listPageOf(server.origin(), count)));
        clickCell(QString::number(count));
    }
    void clickCell(const QString& caption) {
        cell(5, 1)->setText(caption);
        emit cell(5, 1)->clicked();
    }
    QStringList entries(const QString& folder) const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace

class ListMenuTest : public QObject {
    Q_OBJECT
private slots:
    void selectPickAndCopy();
    void exportShown_data();
    void exportShown();
    void failedExport();
    void filterDuringRetrieval();
};

// Several names selected with the mouse and copied with the keyboard, hidden ones left out;
// each click still picks its name for the lookup box.
void ListMenuTest::selectPickAndCopy() {
    MenuRig rig;
    Form1& form = *rig.form;
    form.show();
    form.Picture1->hide();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    rig.list(6);
    QListWidget* list = form.List1;
    const auto click = [&](int row, Qt::KeyboardModifiers keys) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, keys,
                          list->visualItemRect(list->item(row)).center());
        return form.Text9->text();
    };
    QCOMPARE(click(1, {}), QStringLiteral("n2.com"));
    QCOMPARE(click(4, Qt::ShiftModifier), QStringLiteral("n5.com"));
    QCOMPARE(click(0, Qt::ControlModifier), QStringLiteral("n1.com"));
    form.listMenu->setFilter(regexFilter("^n[^3]")); // hides a selected name
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("n1.com\nn2.com\nn4.com\nn5.com"));

    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("n1.com\nn2.com\nn4.com\nn5.com\nn6.com"));

    // A new cell click drops the selection, not the filter.
    rig.list(6);
    QVERIFY(!form.listMenu->copyAction->isEnabled());
    QCOMPARE(list->toolTip(), QStringLiteral("显示 5 / 共 6 个"));
}

void ListMenuTest::exportShown_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("text") << "names.txt" << QByteArray("n1.com\nn10.com\nn11.com\nn12.com\n");
    QTest::newRow("csv") << "names.CSV"
                         << QByteArray("name,length,suffix,day\r\n"
                                       "n1.com,5,.com,2011-05-10\r\n"
                                       "n10.com,5,.com,2011-05-10\r\n"
                                       "n11.com,5,.com,2011-05-10\r\n"
                                       "n12.com,5,.com,2011-05-10\r\n");
}

void ListMenuTest::exportShown() {
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    MenuRig rig;
    rig.list(12);
    rig.form->Text7->setText(QStringLiteral("2011-05-11")); // the export keeps the list's day
    rig.form->listMenu->setFilter(regexFilter("^n1"));
    QTemporaryDir dir;
    QString proposed;
    rig.form->SaveFileName = [&](const QString& path) {
        proposed = path;
        return dir.filePath(file);
    };
    rig.form->listMenu->exportAction->trigger();
    QCOMPARE(QFileInfo(proposed).fileName(), QStringLiteral("2011-05-10_com_5.txt"));
    QCOMPARE(rig.boxes, QStringList());
    QCOMPARE(rig.entries(dir.path()), QStringList{file});
    QFile written(dir.filePath(file));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), bytes);
}

// A file where the folder should be: the export says why, and leaves nothing behind.
void ListMenuTest::failedExport() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("out");
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    MenuRig rig;
    rig.list(3);
    const QString target = folder + "/names.txt";
    rig.form->SaveFileName = [&](const QString&) { return target; };
    rig.form->listMenu->exportList();
    QCOMPARE(rig.boxes.size(), 1);
    const QStringList lines = rig.boxes.first().split(u'\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), "导出失败：" + target);
    QVERIFY2(lines.at(1).size() > 3, qPrintable(lines.at(1))); // the system's reason
    QCOMPARE(rig.entries(dir.path()), QStringList{"out"});
}

// The filter chosen in the dialog while page 2 is on its way: page 1 is filtered at once,
// pages 2 and 3 as they come, and the count and the end test go by every listed name.
void ListMenuTest::filterDuringRetrieval() {
    MenuRig rig;
    Form1& form = *rig.form;
    for (int page = 1; page <= 3; ++page)
        rig.server.setReply(comPage(page), FixtureServer::answer(listPageOf(
                                               rig.server.origin(), 100, 100 * (page - 1) + 1)));
    rig.server.setReply(comPage(2), FixtureServer::held(listPageOf(rig.server.origin(), 100, 101)));
    bool dialogChecked = false;
    const auto chooseFilter = [&] {
        form.listMenu->filterAction->trigger();
        FilterDialog* dialog = form.listMenu->filterDialog();
        QVERIFY(dialog);
        dialog->regex->setText(QStringLiteral("^n1\\d\\d$("));
        QVERIFY(!dialog->okButton->isEnabled());
        QVERIFY(!dialog->regexError->text().isEmpty());
        dialog->regex->setText(QStringLiteral("^n1\\d\\d$"));
        QVERIFY(dialog->okButton->isEnabled());
        QCOMPARE(dialog->count->text(), QStringLiteral("显示 1 / 共 100 个"));
        dialog->okButton->click();
        QCOMPARE(form.listMenu->shownNames(), QStringList{"n100.com"});
        dialogChecked = true;
    };
    rig.server.onRequest = [&](const QString& target) {
        if (target == comPage(2))
            QTimer::singleShot(0, [&] {
                chooseFilter();
                rig.server.release(comPage(2));
            });
    };
    rig.clickCell(QStringLiteral("250"));
    QVERIFY(dialogChecked);
    QCOMPARE(rig.server.targets(), (QStringList{comPage(1), comPage(2), comPage(3)}));
    QCOMPARE(form.List1->count(), 250);
    QCOMPARE(form.Label7->text(), QStringLiteral("250"));
    QStringList expected;
    for (int n = 100; n <= 199; ++n)
        expected << QStringLiteral("n%1.com").arg(n);
    QCOMPARE(form.listMenu->shownNames(), expected);
    int hidden = 0; // what the user sees, not only what the menu counts
    for (int row = 0; row < form.List1->count(); ++row)
        hidden += form.List1->isRowHidden(row);
    QCOMPARE(hidden, 150);
    QCOMPARE(form.List1->toolTip(), QStringLiteral("显示 100 / 共 250 个"));
}

QTEST_MAIN(ListMenuTest)
#include "tst_listmenu.moc"
