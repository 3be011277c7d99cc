// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"

#include "lumo/config.h"
#include "window/clock.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {

// A window at its own loopback server, shown, with no real message box.
struct Window : Rig {
    Window() : Rig(MsgBoxCancel) {
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("window not shown");
    }
    // Whether what the window shows at the centre of `w` belongs to `top`.
    bool covers(QWidget* top, QWidget* w) const {
        QWidget* at = form->childAt(w->mapTo(form.get(), w->rect().center()));
        return at && (at == top || top->isAncestorOf(at));
    }
    void keys(std::initializer_list<Qt::Key> keys) const {
        for (Qt::Key key : keys)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : form.get(),
                            key);
    }
};

// The user closes the window while the start-up waits for its page and answers the question
// with `answer`; `note` hears what happens. Returns whether the close went through.
bool closeDuringStartup(Rig& rig, int answer, const std::function<void(const QString&)>& note) {
    Form1& form = *rig.form;
    rig.server.setReply("/",
                        FixtureServer::held("<h2>四天后的删除域名查询</h2><table>" +
                                            QByteArray("<a>2011-11-29</a>").repeated(5) +
                                            "</table><a>首页</a> &nbsp;&nbsp; 2011-12-01 删除"));
    form.MsgBox = [&, answer](const QString& text, int style, const QString& caption) {
        note(QStringLiteral("asked %1|%2|%3").arg(text).arg(style).arg(caption));
        rig.server.release(); // the page is in: only the end stops the start-up
        return answer;
    };
    bool closed = true;
    rig.server.onRequest = [&](const QString&) {
        QTimer::singleShot(0, &form, [&] { closed = form.close(); });
    };
    QObject::connect(form.Text1, &QLineEdit::textChanged,
                     [&](auto text) { note("slot written " + text); });
    form.show();
    form.Command11_Click();
    return closed;
}

} // namespace

class TstWindow : public QObject {
    Q_OBJECT
private slots:
    // A few positions, the grid as painted, and what else holds before anything runs.
    void layout() {
        Window window;
        Form1& form = *window.form;
        const std::pair<QWidget*, QRect> places[] = {
            {form.List1, {8, 64, 145, 172}},   {form.Frame2, {160, 56, 569, 217}},
            {form.Command6, {528, 8, 81, 25}}, {form.Command10, {656, 16, 49, 33}},
            {form.Text9, {8, 176, 68, 25}},    {form.Command12, {113, 176, 44, 25}},
            {form.Label9(6), {500, 192, 0, 0}}};
        for (const auto& [w, place] : places) // an empty size: as large as the caption
            QVERIFY2(w->geometry() ==
                         QRect(place.topLeft(), place.isEmpty() ? w->sizeHint() : place.size()),
                     qPrintable(w->objectName()));
        // A line runs 8 pixels left of each column of cells and 8 pixels above each row, so no
        // cell sits on a line or in its neighbour's box.
        const QImage picture = form.Frame2->grab().toImage();
        for (int length = 3; length <= 7; ++length)
            for (int i = 1; i <= 7; ++i) {
                const QRect cell = window.cell(length, i)->geometry();
                QVERIFY2(qGray(picture.pixel(cell.x() - 8, cell.center().y())) < 128 &&
                             qGray(picture.pixel(cell.center().x(), cell.y() - 8)) < 128,
                         qPrintable(window.cell(length, i)->objectName()));
            }
        form.resize(900, 500); // the window keeps its size, and the holding frame out of view
        QCOMPARE(form.size(), QSize(736, 277));
        QVERIFY(form.Frame3->visibleRegion().isEmpty());
        const QString text = QStringLiteral("日期载入失败，请检查网络后重新打开本工具");
        form.Label8->setText(text); // too long for its room: shortened, whole in its tooltip
        QVERIFY(form.Label8->geometry().right() < form.Frame2->x());
        QCOMPARE(form.Label8->toolTip(), text);
        form.Text9->setText(QString(40000, u'a')); // the lookup box has no length limit
        QCOMPARE(form.Text9->text().size(), 40000);
        form.Label9(1)->setText("<font color=red>x</font>");
        QCOMPARE(form.Label9(1)->textFormat(), Qt::PlainText);
        QVERIFY(form.Frame4->isHidden() && form.Timer1->interval() == 500 &&
                form.Timer2->interval() == 1000);
    }

    // The covers lie on top of what they cover and keep the keyboard off it; once they are gone
    // the focus is back where it was, or on the first date button.
    void covers() {
        Window window;
        Form1& form = *window.form;
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        for (QWidget* w : std::initializer_list<QWidget*>{form.Command1, form.List1, form.Text9})
            QVERIFY2(window.covers(form.Picture1, w), qPrintable(w->objectName()));
        window.keys({Qt::Key_Space, Qt::Key_Tab, Qt::Key_Return, Qt::Key_Backtab, Qt::Key_Enter});
        form.Picture1->hide();
        QCOMPARE(QApplication::focusWidget(), form.Command1);

        form.Command3->setFocus();
        form.Frame4->show();
        QVERIFY(window.covers(form.Frame4, form.Command3) &&
                window.covers(form.Frame4, form.Command10));
        window.keys({Qt::Key_Space, Qt::Key_Return});
        form.Frame4->hide();
        QCOMPARE(QApplication::focusWidget(), form.Command3);
        QCOMPARE(window.server.targets(), QStringList()); // no key reached a covered button
    }

    void clock() {
        const QDateTime moment(QDate(2024, 3, 5), QTime(17, 8, 9));
        QCOMPARE(window::clockText(moment, QLocale::c(), "QQ:1"),
                 QStringLiteral("当前时间:  5 Mar 2024 17:08:09  软件问题：QQ:1"));
        QCOMPARE(window::clockText(moment, QLocale(QLocale::German, QLocale::Germany), "x"),
                 QStringLiteral("当前时间:  05.03.24 17:08:09  软件问题：x")); // seconds added
        Window window;
        Label* label = window.form->Label14;
        QCOMPARE(label->text(), QString()); // empty until the first tick
        window.form->Timer2->start();
        QTRY_VERIFY_WITH_TIMEOUT(!label->text().isEmpty(), 3000);
        QVERIFY2(label->text().startsWith("当前时间:  ") &&
                     label->text().endsWith(QStringLiteral("  软件问题：") +
                                            lumo::config::SupportContact),
                 qPrintable(label->text()));
    }

    // A pick by keyboard or mouse copies the name into the lookup box and looks nothing up; a
    // row that only has the focus is no pick.
    void listPick() {
        Window window;
        Form1& form = *window.form;
        form.Picture1->hide();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.List1->addItems({"abc.com", "bcd.com", "cde.com"});
        form.Text9->setText("typed.com");
        form.Text9->setFocus();
        window.keys({Qt::Key_Backtab}); // onto the list: a row is current, none picked
        QCOMPARE(QApplication::focusWidget(), form.List1);
        QStringList seen{form.Text9->text()};
        window.keys({Qt::Key_Down});
        seen << form.Text9->text();
        const QPoint second = form.List1->visualItemRect(form.List1->item(1)).center();
        const auto click = [&](Qt::KeyboardModifiers keys) {
            form.Text9->setText("typed.com");
            QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, keys, second);
            seen << form.Text9->text();
        };
        click(Qt::ControlModifier); // unpicks the row: it stays current, and is no pick
        click({});
        click({}); // the row already picked is copied again
        QCOMPARE(seen, (QStringList{"typed.com", "bcd.com", "typed.com", "bcd.com", "bcd.com"}));
        QCOMPARE(window.server.targets(), QStringList());
    }

    void exitRefused_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("Cancel") << MsgBoxCancel;
        QTest::newRow("box closed without a choice") << 0;
    }

    // The window stays, and the start-up it interrupted goes on to fill the date slots.
    void exitRefused() {
        QFETCH(int, answer);
        Rig rig;
        rig.form->EndProgram = [] {}; // were it asked to end, the close would go through
        QStringList notes;
        QVERIFY(!closeDuringStartup(rig, answer, [&](auto n) { notes << n; }));
        QCOMPARE(notes, (QStringList{"asked 真的退出吗?|33|退出", "slot written 2011-12-01"}));
    }

    void closeWhileStartupWaits_data() {
        QTest::addColumn<int>("delayMs");
        for (int ms : {4, 10, 17})
            QTest::addRow("%d ms after the home page was asked for", ms) << ms;
    }

    // A close from the window manager while the start-up waits for the home page and the
    // update check for the version file: the exit box comes at once.
    void closeWhileStartupWaits() {
        QFETCH(int, delayMs);
        Rig rig(MsgBoxCancel);
        Form1& form = *rig.form;
        rig.server.setReply("/", FixtureServer::held("<html></html>"));
        rig.server.setReply("/lumo/rideve.txt", FixtureServer::held("8.8\r\n"));
        QStringList seen;
        form.MsgBox = [&](const QString& text, int, const QString& caption) {
            seen << caption + u'|' + text + u'|' + rig.server.targets().join(u' ');
            rig.server.release();
            return MsgBoxCancel;
        };
        rig.server.onRequest = [&](const QString& target) {
            if (target == u"/") // the update check's timer fires inside the start-up's wait
                QTimer::singleShot(0, &form, [&] { form.Timer3_Timer(); });
            else
                QTimer::singleShot(delayMs, &form, [&] {
                    // What the platform hands on for WM_DELETE_WINDOW: a close event to the
                    // native window, not a call of close().
                    QCloseEvent close;
                    QApplication::sendEvent(form.windowHandle(), &close);
                });
        };
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Command11_Click();
        QCOMPARE(seen, QStringList{"退出|真的退出吗?|/ /lumo/rideve.txt"});
        QVERIFY(form.isVisible());
    }

    // After OK nothing runs on: no slot is written, and the close call never even returns.
    void exitOkEndsAtOnce() {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--exit-child"});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("asked 真的退出吗?|33|退出\n"));
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--exit-child") == 0) { // with the program's own end
        const auto print = [](const QString& line) { std::puts(qPrintable(line)); };
        Rig rig;
        closeDuringStartup(rig, MsgBoxOk, print);
        print("start-up returned");
        return 3;
    }
    TstWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window.moc"
