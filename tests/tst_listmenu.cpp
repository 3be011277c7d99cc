// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/filter.h"
#include "rig.h"
#include "window/filterdialog.h"
#include "window/listmenu.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

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

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
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
    QStringList entries(const QString& folder) const { return entriesOf(folder); }
};

// Sets one box of the filter dialog: a check box on or off ("" is off), a text, or the pinyin
// syllables ("" is no pinyin filter).
void setBox(FilterDialog* dialog, const QString& box, const QString& value) {
    const std::pair<const char*, QCheckBox*> checks[] = {
        {"letters", dialog->lettersOnly}, {"digits", dialog->digitsOnly}, {"hyphen", dialog->noHyphen}};
    for (const auto& [name, check] : checks)
        if (box == QLatin1String(name))
            return check->setChecked(!value.isEmpty());
    const std::pair<const char*, QLineEdit*> texts[] = {
        {"contains", dialog->contains}, {"pattern", dialog->pattern}, {"regex", dialog->regex}};
    for (const auto& [name, text] : texts)
        if (box == QLatin1String(name))
            return text->setText(value);
    QCOMPARE(box, QStringLiteral("pinyin"));
    dialog->pinyin->setCurrentIndex(dialog->pinyin->findData(value.isEmpty() ? -1 : value.toInt()));
}

// Opens the filter dialog, lets `change` set it, waits for its count and presses OK.
void filterWith(Form1& form, const std::function<void(FilterDialog*)>& change) {
    form.listMenu->filterAction->trigger();
    FilterDialog* dialog = form.listMenu->filterDialog();
    QVERIFY(dialog);
    change(dialog);
    QTRY_VERIFY(dialog->okButton->isEnabled());
    dialog->okButton->click();
    QTRY_VERIFY(!form.listMenu->filterDialog()); // closed, and deleted later
}

const QStringList filterNames{"abcd.com", "1234.com",   "ab-1.com", "xian.com",
                              "aabb.com", "haoche.com", "a1b2.net", "zz9.cn"};

} // namespace

class ListMenuTest : public QObject {
    Q_OBJECT
private slots:
    void selectPickAndCopy();
    void exportShown_data();
    void exportShown();
    void failedExport_data();
    void failedExport();
    void filterDialog_data();
    void filterDialog();
    void costlyExpression();
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
    form.listMenu->copyAllAction->trigger(); // every shown name, whatever is selected
    QCOMPARE(QApplication::clipboard()->text(),
             QStringLiteral("n1.com\nn2.com\nn4.com\nn5.com\nn6.com"));

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

void ListMenuTest::failedExport_data() {
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("a file where the folder should be") << false;
    // Writes past the file size limit fail as on a full disk, for root too; the names are
    // buffered, so it is the final commit that fails.
    QTest::newRow("full at the commit") << true;
}

// The export says why, and leaves no file behind, nor a half-written one in place of the old.
void ListMenuTest::failedExport() {
    QFETCH(bool, diskFull);
    QTemporaryDir dir;
    QString folder = dir.path();
    if (!diskFull) {
        folder = dir.filePath("out");
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const QString target = folder + "/names.txt";
    if (diskFull) {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old\n") == 4);
    }
    const QStringList before = entriesOf(dir.path());
    MenuRig rig;
    rig.list(3);
    rig.form->SaveFileName = [&](const QString&) { return target; };
    rlimit limit{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
    const rlimit full{10, limit.rlim_max};
    const auto ignored = std::signal(SIGXFSZ, SIG_IGN);
    if (diskFull)
        QVERIFY(setrlimit(RLIMIT_FSIZE, &full) == 0);
    rig.form->listMenu->exportList();
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, ignored);
    QCOMPARE(rig.boxes.size(), 1);
    const QStringList lines = rig.boxes.first().split(u'\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), "导出失败：" + target);
    QVERIFY2(lines.at(1).size() > 3, qPrintable(lines.at(1))); // the system's reason
    QCOMPARE(entriesOf(dir.path()), before);
    if (diskFull) {
        QFile old(target);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old\n"));
    }
}

void ListMenuTest::filterDialog_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("letters") << "letters" << "on"
                             << QStringList{"abcd.com", "xian.com", "aabb.com", "haoche.com"};
    QTest::newRow("digits") << "digits" << "on" << QStringList{"1234.com"};
    QStringList noHyphen = filterNames;
    noHyphen.removeOne("ab-1.com");
    QTest::newRow("no hyphen") << "hyphen" << "on" << noHyphen;
    QTest::newRow("contains") << "contains" << "B"
                              << QStringList{"abcd.com", "ab-1.com", "aabb.com", "a1b2.net"};
    QTest::newRow("pattern") << "pattern" << "AABB" << QStringList{"aabb.com"};
    QTest::newRow("pinyin any") << "pinyin" << "0" << QStringList{"xian.com", "haoche.com"};
    QTest::newRow("pinyin 1") << "pinyin" << "1" << QStringList{"xian.com"};
    QTest::newRow("pinyin 2") << "pinyin" << "2" << QStringList{"xian.com", "haoche.com"};
    QTest::newRow("regex") << "regex" << "^[a-z]\\d" << QStringList{"a1b2.net"};
}

// Each box reaches its own criterion; the dialog opened again shows the filter as chosen;
// taking the choice back, or clearing the filter, shows every name again.
void ListMenuTest::filterDialog() {
    QFETCH(QString, box);
    QFETCH(QString, value);
    QFETCH(QStringList, shown);
    MenuRig rig;
    Form1& form = *rig.form;
    form.List1->addItems(filterNames);
    listing::FilterSpec chosen;
    filterWith(form, [&](FilterDialog* dialog) {
        setBox(dialog, box, value);
        QTRY_COMPARE(dialog->count->text(), shownOfListed(shown.size(), filterNames.size()));
        chosen = dialog->filter()->criteria();
    });
    QVERIFY(!chosen.isEmpty());
    QCOMPARE(form.listMenu->shownNames(), shown);
    QCOMPARE(form.listMenu->filter().criteria(), chosen);

    filterWith(form, [&](FilterDialog* dialog) {
        QCOMPARE(dialog->filter()->criteria(), chosen);
        setBox(dialog, box, QString());
    });
    QCOMPARE(form.listMenu->shownNames(), filterNames);

    form.listMenu->setFilter(*listing::NameFilter::compile(chosen));
    QCOMPARE(form.listMenu->shownCount(), shown.size());
    form.listMenu->filterAction->trigger();
    form.listMenu->filterDialog()->clearButton->click();
    QCOMPARE(form.listMenu->shownNames(), filterNames);
    int hidden = 0;
    for (int row = 0; row < form.List1->count(); ++row)
        hidden += form.List1->isRowHidden(row);
    QCOMPARE(hidden, 0);
}

// A name the expression gives up on marks the expression and keeps OK grey; a filter that
// meets one later shows the name and says so.
void ListMenuTest::costlyExpression() {
    MenuRig rig;
    Form1& form = *rig.form;
    const QString costly = QString(30, u'a') + "cab.com";
    form.List1->addItems({"ab.com", costly, "b.com"});
    form.listMenu->filterAction->trigger();
    FilterDialog* dialog = form.listMenu->filterDialog();
    QSignalSpy done(dialog, &FilterDialog::countDone);
    dialog->regex->setText(QStringLiteral("(a+)+b"));
    QVERIFY(done.wait(20000));
    QVERIFY(!dialog->okButton->isEnabled());
    QCOMPARE(dialog->regexError->text(), listing::undecidedReason(costly));
    QVERIFY(!dialog->regexError->isHidden());
    QCOMPARE(dialog->count->text(), QString());
    dialog->regex->setText(QStringLiteral("^a+b")); // no nesting: settles every name
    QTRY_VERIFY(dialog->okButton->isEnabled());
    QVERIFY(dialog->regexError->isHidden());
    QCOMPARE(dialog->count->text(), shownOfListed(1, 3));
    dialog->reject();

    form.listMenu->setFilter(regexFilter("(a+)+b"));
    QCOMPARE(form.listMenu->shownNames(), (QStringList{"ab.com", costly}));
    QCOMPARE(form.listMenu->undecidedCount(), 1);
    QVERIFY2(form.List1->toolTip().contains(QStringLiteral("1 个正则表达式无法判断，照常显示")),
             qPrintable(form.List1->toolTip()));
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
        QTRY_VERIFY(dialog->okButton->isEnabled());
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
