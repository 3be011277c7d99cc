// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/form1.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The window's controls as the rest of the program finds them: by name, in their container,
// with what they hold before anything writes them.
class TestControls : public QObject {
    Q_OBJECT
private slots:
    void initialContents_data();
    void initialContents();
    void afterLoad();
    void labelsShowMarkupAsText();
    void cellClicksReachTheirRow();

private:
    static Addresses nowhere() {
        return {"http://127.0.0.1:9/", "http://127.0.0.1:9", "http://127.0.0.1:9"};
    }
};

void TestControls::initialContents_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    // Name, container and caption, one control after another.
    const QString rows =
        QStringLiteral("Command7 Form1 停止查询;Frame3 Form1 Frame3;Label8 Form1 ..;"
                       "Label13 Picture1 本工具提供三天内删除的域名查询;"
                       "Label12 Picture1 载入中...请等待片刻;Command1 Frame1 二天前;"
                       "Command6 Frame1 三天后;Command10 Frame1 访问官网;Label14 Frame1 ;"
                       "Label11 Frame4 等待!载入中....;Label1(1) Frame2 .com;Label1(2) Frame2 .cn;"
                       "Label1(7) Frame2 7位域名;Label1(12) Frame2 .com.cn;Label4(4) Frame2 ...;"
                       "Text9 Frame2 ;Command8 Frame2 查询;Label10(0) Frame2 域名年龄：;"
                       "Label10(1) Frame2 删除倒计时：;Label9(6) Frame2 ..;Text1 Frame3 ;"
                       "Text2 Frame3 Text2;Label9(0) Frame3 Label9;Command11 Frame3 Command11");
    for (const QString& row : rows.split(u';')) {
        const QStringList parts = row.split(u' ');
        QTest::newRow(qPrintable(parts.at(0))) << parts.at(0) << parts.at(1) << parts.at(2);
    }
}

void TestControls::initialContents() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    Form1 form(nowhere());
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget()->objectName(), container);
    const QVariant text = control->property("text"); // labels, buttons, text boxes
    QCOMPARE((text.isValid() ? text : control->property("title")).toString(), caption);
}

// The busy cover is down and the timers count from the window's creation.
void TestControls::afterLoad() {
    Form1 form(nowhere());
    form.show();
    QVERIFY(!form.Frame4->isVisible());
    QVERIFY(form.Command1->isVisible());
    const std::pair<QTimer*, int> timers[] = {
        {form.Timer1, 500}, {form.Timer2, 1000}, {form.Timer3, 1000}};
    for (const auto& [timer, interval] : timers) {
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), interval);
    }
}

void TestControls::labelsShowMarkupAsText() {
    Form1 form(nowhere());
    form.Label9(1)->setText("<font color=red>x</font>");
    QCOMPARE(form.Label9(1)->textFormat(), Qt::PlainText);
}

// A click on a cell reaches its row's handler (every cell click resets the stop flag); the
// tests of the lists check what the handlers do, this only that the wiring holds.
void TestControls::cellClicksReachTheirRow() {
    Form1 form(nowhere());
    form.Timer1->stop();
    form.Timer3->stop();
    form.show();
    const ControlArray<Label, 1, 7>* rows[] = {&form.Label2, &form.Label3, &form.Label4,
                                               &form.Label5, &form.Label6};
    for (auto* row : rows)
        for (int i = 1; i <= 7; ++i) {
            form.Text10->setText("x");
            QTest::mouseClick((*row)(i), Qt::LeftButton);
            QCOMPARE(form.Text10->text(), QStringLiteral("0"));
        }
    form.Text10->setText("x");
    QTest::mouseClick(form.Label1(3), Qt::LeftButton);
    QCOMPARE(form.Text10->text(), QStringLiteral("x")); // headers do nothing
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
