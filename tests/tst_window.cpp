// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"

#include "lumo/config.h"
#include "window/clock.h"
#include "window/form1.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// A window pointed at a local server, shown, with the start-up fetch and the update check
// held back and no real message box.
struct Window : Rig {
    Window() : Rig(MsgBoxCancel) {
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("window not shown");
    }
    // Whether what the window shows at the centre of `w` belongs to `top`.
    bool covers(QWidget* top, QWidget* w) const {
        for (QWidget* at = form->childAt(w->mapTo(form.get(), w->rect().center())); at;
             at = at->parentWidget())
            if (at == top)
                return true;
        return false;
    }
};

const QStringList kNames = {"abc.com", "bcd.com", "cde.com", "def.com", "efg.com"};

} // namespace

class TstWindow : public QObject {
    Q_OBJECT
private slots:
    void geometry_data();
    void geometry();
    void gridAsDrawn();
    void holdingFrameOutOfView();
    void coversOnTop();
    void longStatusStaysInItsRoom();
    void handCursorOnCountCells();
    void focusOrder();
    void clock();
    void listPick();
};

void TstWindow::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("rect"); // empty size: an auto-size label, as large as its caption
    const std::tuple<const char*, const char*, QRect> rows[] = {
        {"Picture1", "Form1", {-8, 0, 737, 273}},    {"List1", "Form1", {8, 64, 145, 172}},
        {"Frame2", "Form1", {160, 56, 569, 217}},    {"Label8", "Form1", {72, 240, 0, 0}},
        {"Label13", "Picture1", {272, 24, 313, 33}}, // counted from inside the border
        {"Frame4", "Frame1", {8, 8, 721, 47}},       {"Command10", "Frame1", {656, 16, 49, 33}},
        {"Command6", "Frame1", {528, 8, 81, 25}},    {"Label14", "Frame1", {348, 40, 0, 0}},
        {"Label11", "Frame4", {304, 8, 305, 33}},    {"Label2(1)", "Frame2", {136, 56, 52, 12}},
        {"Label3(6)", "Frame2", {456, 80, 44, 12}},  {"Label1(12)", "Frame2", {512, 16, 0, 0}},
        {"Text9", "Frame2", {8, 176, 81, 25}},       {"Label9(6)", "Frame2", {500, 192, 0, 0}},
        {"Command11", "Frame3", {8, 24, 33, 41}},    {"Label9(2)", "Frame3", {24, 8, 0, 0}},
    };
    for (const auto& [name, container, rect] : rows)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container) << rect;
}

void TstWindow::geometry() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, rect);
    Window window;
    QWidget* w = window.form->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->parentWidget()->objectName(), container);
    const QFrame* box = window.form->Picture1;
    QCOMPARE(w->pos() - (w->parentWidget() == box ? box->contentsRect().topLeft() : QPoint()),
             rect.topLeft());
    QCOMPARE(w->size(), rect.isEmpty() ? w->sizeHint() : rect.size());
}

// The grid as painted: a line runs 8 pixels left of each column of cells and 8 pixels above
// each row, so no cell sits on a line or in its neighbour's box.
void TstWindow::gridAsDrawn() {
    Window window;
    const QImage picture = window.form->Frame2->grab().toImage();
    for (int length = 3; length <= 7; ++length)
        for (int i = 1; i <= 7; ++i) {
            const QRect cell = window.cell(length, i)->geometry();
            QVERIFY2(qGray(picture.pixel(cell.x() - 8, cell.center().y())) < 128 &&
                         qGray(picture.pixel(cell.center().x(), cell.y() - 8)) < 128,
                     qPrintable(window.cell(length, i)->objectName()));
        }
}

void TstWindow::holdingFrameOutOfView() {
    Window window;
    Form1& form = *window.form;
    form.resize(900, 500); // the window keeps its size
    QCOMPARE(form.size(), QSize(736, 277));
    QVERIFY(form.Frame3->geometry().top() >= form.height());
    QVERIFY(form.Frame3->visibleRegion().isEmpty());
    for (QWidget* w : form.Frame3->findChildren<QWidget*>())
        QVERIFY2(!(w->focusPolicy() & Qt::TabFocus), qPrintable(w->objectName()));
}

void TstWindow::coversOnTop() {
    Window window;
    Form1& form = *window.form;
    // At first show the start-up cover hides everything but its own caption.
    for (QWidget* w : std::initializer_list<QWidget*>{form.Command1, form.Command10, form.List1,
                                                      form.Label2(1), form.Text9, form.Label8})
        QVERIFY2(window.covers(form.Picture1, w), qPrintable(w->objectName()));
    QVERIFY(window.covers(form.Label13, form.Label13));
    form.Picture1->hide();
    QVERIFY(window.covers(form.Command1, form.Command1));

    // The busy cover hides the date buttons and paints its face over them.
    form.Frame4->show();
    for (QWidget* w : {form.Command1, form.Command3, form.Command6, form.Command10})
        QVERIFY2(window.covers(form.Frame4, w), qPrintable(w->objectName()));
    QVERIFY(window.covers(form.Label11, form.Label11));
    QVERIFY(form.Frame4->autoFillBackground());
}

void TstWindow::longStatusStaysInItsRoom() {
    Window window;
    const QString text = QStringLiteral("日期载入失败，请检查网络后重新打开本工具");
    window.form->Label8->setText(text);
    QVERIFY(window.form->Label8->geometry().right() < window.form->Frame2->x());
    QCOMPARE(window.form->Label8->toolTip(), text); // shortened on screen, whole here
}

void TstWindow::handCursorOnCountCells() {
    Window window;
    for (Label* cell : {window.form->Label2(1), window.form->Label6(7)})
        QCOMPARE(cell->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(window.form->Label1(3)->cursor().shape() != Qt::PointingHandCursor);
}

// Under a cover the keyboard reaches nothing the cover lies over; once it is gone, the focus
// runs in the window's order from the first date button.
void TstWindow::focusOrder() {
    Window window;
    Form1& form = *window.form;
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QString status = form.Label8->text();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Space, Qt::Key_Backtab,
                        Qt::Key_Enter, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space}) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(!focus || focus == form.Picture1 || form.Picture1->isAncestorOf(focus));
        QTest::keyClick(focus ? focus : &form, key);
    }
    form.Picture1->hide();
    QCOMPARE(QApplication::focusWidget(), form.Command1);
    QCOMPARE(window.server.targets(), QStringList());
    QCOMPARE(form.Label8->text(), status);

    // The busy cover over the top strip takes the focus from a date button and gives it back.
    const QList<QWidget*> strip = {form.Command1, form.Command2, form.Command3, form.Command4,
                                   form.Command5, form.Command6, form.Command10};
    form.Command3->setFocus(Qt::OtherFocusReason);
    form.Frame4->show();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Backtab, Qt::Key_Backtab, Qt::Key_Tab, Qt::Key_Tab,
                        Qt::Key_Tab, Qt::Key_Return}) {
        QVERIFY(!strip.contains(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), key);
    }
    form.Frame4->setFocus(Qt::OtherFocusReason);
    form.Frame4->hide();
    QCOMPARE(QApplication::focusWidget(), form.Command3);
    QCOMPARE(window.server.targets(), QStringList());

    form.Command1->setFocus(Qt::OtherFocusReason);
    const QStringList expected = {"Command2", "Command3",  "Command4", "Command5",
                                  "Command6", "List1",     "Text9",    "Command8",
                                  "Command7", "Command10", "Command1"};
    QStringList visited;
    for (qsizetype k = 0; k < expected.size(); ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
}

void TstWindow::clock() {
    const QDateTime moment(QDate(2024, 3, 5), QTime(17, 8, 9));
    QCOMPARE(window::clockText(moment, QLocale::c(), QStringLiteral("QQ:800123")),
             QStringLiteral("当前时间:  5 Mar 2024 17:08:09  软件问题：QQ:800123"));
    QCOMPARE(window::clockText(moment, QLocale(QLocale::German, QLocale::Germany), "x"),
             QStringLiteral("当前时间:  05.03.24 17:08:09  软件问题：x"));

    Window window;
    Label* label = window.form->Label14;
    QCOMPARE(label->text(), QString()); // empty until the first tick
    window.form->Timer2->start();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QTRY_VERIFY_WITH_TIMEOUT(!label->text().isEmpty(), 3000);
    QStringList candidates;
    for (QDateTime t = before; t <= QDateTime::currentDateTime().addSecs(1); t = t.addSecs(1))
        candidates << window::clockText(t, QLocale::system(),
                                        QString::fromUtf8(lumo::config::SupportContact));
    QVERIFY2(candidates.contains(label->text()), qPrintable(label->text()));
    QCOMPARE(label->size(), label->sizeHint());
}

void TstWindow::listPick() {
    Window window;
    Form1& form = *window.form;
    form.Picture1->hide();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.List1->addItems(kNames);
    form.Text9->setText(QStringLiteral("mine.com"));
    // Reaching the list with the keyboard makes a row current, but picks nothing.
    form.Text9->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(form.Text9, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), form.List1);
    QCOMPARE(form.Text9->text(), QStringLiteral("mine.com"));

    const std::pair<Qt::Key, const char*> steps[] = {
        {Qt::Key_Down, "bcd.com"}, {Qt::Key_Down, "cde.com"}, {Qt::Key_Up, "bcd.com"}};
    for (const auto& [key, expected] : steps) {
        QTest::keyClick(form.List1, key);
        QCOMPARE(form.Text9->text(), QString::fromLatin1(expected));
    }
    // A click on the row already picked copies it again over a typed name.
    form.Text9->setText(QStringLiteral("typed.com"));
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {},
                      form.List1->visualItemRect(form.List1->item(1)).center());
    QCOMPARE(form.Text9->text(), QStringLiteral("bcd.com"));
    // A control-click unpicks the row: it stays current, and is no pick.
    form.Text9->setText(QStringLiteral("typed.com"));
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      form.List1->visualItemRect(form.List1->item(1)).center());
    QCOMPARE(form.Text9->text(), QStringLiteral("typed.com"));
    QCOMPARE(window.server.targets(), QStringList()); // a pick starts no lookup
}

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
