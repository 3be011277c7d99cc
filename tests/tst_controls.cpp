#include "window/form1.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
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
    void loadHidesBusyCoverOnly();
    void holdingFrameOutOfView();
    void timersEnabledAtCreation();
    void labelsShowMarkupAsText();
    void cellClicksReachTheirRow();

private:
    static Addresses nowhere() {
        return {"http://127.0.0.1:9/", "http://127.0.0.1:9", "http://127.0.0.1:9"};
    }
};

namespace {

QString captionOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->text();
    if (auto* t = qobject_cast<QLineEdit*>(w))
        return t->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return QString();
}

} // namespace

void TestControls::initialContents_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("caption");
    const QList<std::tuple<const char*, const char*, QString>> rows = {
        {"Label13", "Picture1", "本工具提供三天内删除的域名查询"},
        {"Label12", "Picture1", "载入中...请等待片刻"},
        {"Command7", "Form1", "停止查询"},
        {"Frame3", "Form1", "Frame3"},
        {"Label8", "Form1", ".."},
        {"Label11", "Frame4", "等待!载入中...."},
        {"Command10", "Frame1", "访问官网"},
        {"Command1", "Frame1", "二天前"},
        {"Command2", "Frame1", "一天前"},
        {"Command3", "Frame1", "今天删除"},
        {"Command4", "Frame1", "一天后"},
        {"Command5", "Frame1", "二天后"},
        {"Command6", "Frame1", "三天后"},
        {"Label14", "Frame1", ""},
        {"Label1(0)", "Frame2", ""},
        {"Label1(1)", "Frame2", ".com"},
        {"Label1(2)", "Frame2", ".cn"},
        {"Label1(3)", "Frame2", ".biz"},
        {"Label1(4)", "Frame2", ".info"},
        {"Label1(5)", "Frame2", ".net"},
        {"Label1(6)", "Frame2", ".org"},
        {"Label1(7)", "Frame2", "7位域名"},
        {"Label1(11)", "Frame2", "3位域名"},
        {"Label1(12)", "Frame2", ".com.cn"},
        {"Label2(1)", "Frame2", "..."},
        {"Label4(4)", "Frame2", "..."},
        {"Label6(7)", "Frame2", "..."},
        {"Text9", "Frame2", ""},
        {"Command8", "Frame2", "查询"},
        {"Label10(0)", "Frame2", "域名年龄："},
        {"Label10(1)", "Frame2", "删除倒计时："},
        {"Label10(2)", "Frame2", "注册时间："},
        {"Label10(3)", "Frame2", "到期时间："},
        {"Label10(4)", "Frame2", "删除时间："},
        {"Label9(1)", "Frame2", ".."},
        {"Label9(6)", "Frame2", ".."},
        {"Command9", "Frame3", "Command9"},
        {"Command11", "Frame3", "Command11"},
        {"Text1", "Frame3", ""},
        {"Text2", "Frame3", "Text2"},
        {"Text6", "Frame3", "Text6"},
        {"Text7", "Frame3", "Text7"},
        {"Text8", "Frame3", "Text8"},
        {"Text10", "Frame3", "Text10"},
        {"Label9(0)", "Frame3", "Label9"},
        {"Label9(2)", "Frame3", "Label9"},
        {"Label7", "Frame3", "Label7"},
    };
    for (const auto& [name, container, caption] : rows)
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container)
                            << caption;
}

void TestControls::initialContents() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QString, caption);
    Form1 form(nowhere());
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(captionOf(control), caption);
}

void TestControls::loadHidesBusyCoverOnly() {
    Form1 form(nowhere());
    form.show();
    QVERIFY(!form.Frame4->isVisible());
    QVERIFY(form.Picture1->isVisible());
    QVERIFY(form.Command1->isVisible());
    QCOMPARE(form.List1->count(), 0);
}

void TestControls::holdingFrameOutOfView() {
    Form1 form(nowhere());
    form.show();
    QVERIFY(form.Frame3->geometry().top() >= form.height());
}

void TestControls::timersEnabledAtCreation() {
    Form1 form(nowhere());
    const QList<std::pair<QTimer*, int>> timers = {
        {form.Timer1, 500}, {form.Timer2, 1000}, {form.Timer3, 1000}};
    for (const auto& [timer, interval] : timers) {
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), interval);
    }
    QCOMPARE(form.findChild<QTimer*>("Timer3")->parent(), form.Frame4);
}

void TestControls::labelsShowMarkupAsText() {
    Form1 form(nowhere());
    form.Label9(1)->setText("<font color=red>x</font>");
    QCOMPARE(form.Label9(1)->textFormat(), Qt::PlainText);
    QCOMPARE(form.Label9(1)->text(), QStringLiteral("<font color=red>x</font>"));
}

// A click on a cell reaches its row's handler with the cell's index; the tests of the lists
// check what the handlers do, this only that the wiring holds for every cell.
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
            QCOMPARE(form.Text10->text(),
                     QStringLiteral("0")); // every cell click resets the stop flag
        }
    form.Text10->setText("x");
    QTest::mouseClick(form.Label1(3), Qt::LeftButton);
    QCOMPARE(form.Text10->text(), QStringLiteral("x")); // headers do nothing
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
