#include "fixtureserver.h"

#include "lumo/config.h"
#include "window/clock.h"
#include "window/form1.h"

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// A window pointed at a local server, with the start-up fetch and the update check held
// back and no real message box or program end.
struct Window {
    FixtureServer server;
    std::unique_ptr<Form1> form;
    int endCalls = 0;

    Window() {
        if (!server.listen())
            qFatal("no local server");
        const QString origin = server.origin();
        form = std::make_unique<Form1>(Addresses{origin + u'/', origin, origin});
        form->Timer1->stop();
        form->Timer3->stop();
        form->MsgBox = [](const QString&, int, const QString&) { return MsgBoxCancel; };
        form->EndProgram = [this] { ++endCalls; };
    }
    bool show() {
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
    template <class T = QWidget> T* control(const QString& name) const {
        return form->findChild<T*>(name);
    }
    // The topmost control under the centre of `w`, as the window stacks them.
    QWidget* topmostOver(QWidget* w) const {
        return form->childAt(w->mapTo(form.get(), w->rect().center()));
    }
};

bool isWithin(const QWidget* w, const QWidget* container) {
    for (; w; w = w->parentWidget())
        if (w == container)
            return true;
    return false;
}

const QStringList kNames = {"abc.com", "bcd.com", "cde.com", "def.com", "efg.com"};

} // namespace

class TstWindow : public QObject {
    Q_OBJECT
private slots:
    void geometry_data();
    void geometry();
    void gridLines();
    void windowSizeAndTitle();
    void holdingFrameOutOfView();
    void startupCoverOnTopAtFirstShow();
    void busyCoverHidesDateStrip();
    void autoSizeFollowsCaption_data();
    void autoSizeFollowsCaption();
    void longCaptionStaysInItsRoom_data();
    void longCaptionStaysInItsRoom();
    void fonts_data();
    void fonts();
    void handCursorOnCountCellsOnly();
    void focusOrder();
    void clockText_data();
    void clockText();
    void clockTicks();
    void listPickByMouse();
    void listPickByArrowKeys();
    void listChangesAreNoPick();
};

void TstWindow::geometry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QPoint>("topLeft");
    QTest::addColumn<QSize>("size"); // invalid: an auto-size label, as large as its caption

    auto row = [](const char* name, const char* container, QPoint at, QSize size = QSize()) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(container) << at
                            << size;
    };
    row("Picture1", "Form1", {-8, 0}, {737, 273});
    row("Command7", "Form1", {40, 256}, {73, 17});
    row("Frame3", "Form1", {480, 296}, {25, 17});
    row("List1", "Form1", {8, 64}, {145, 172});
    row("Frame2", "Form1", {160, 56}, {569, 217});
    row("Frame1", "Form1", {8, 0}, {737, 57});
    row("Label8", "Form1", {72, 240});
    // Inside the picture box, counted from inside its border (see geometry()).
    row("Label13", "Picture1", {272, 24}, {313, 33});
    row("Label12", "Picture1", {312, 120});
    row("Frame4", "Frame1", {8, 8}, {721, 47});
    row("Command10", "Frame1", {656, 16}, {49, 33});
    row("Command6", "Frame1", {528, 8}, {81, 25});
    row("Command3", "Frame1", {240, 8}, {73, 25});
    row("Command1", "Frame1", {48, 8}, {73, 25});
    row("Label14", "Frame1", {348, 40});
    row("Label11", "Frame4", {304, 8}, {305, 33});
    row("Label2(1)", "Frame2", {136, 56}, {52, 12});
    row("Label5(2)", "Frame2", {200, 128}, {52, 12});
    row("Label4(4)", "Frame2", {328, 104}, {52, 12});
    row("Label3(6)", "Frame2", {456, 80}, {44, 12});
    row("Label6(7)", "Frame2", {512, 152}, {52, 12});
    row("Label1(0)", "Frame2", {8, 16});
    row("Label1(1)", "Frame2", {136, 16});
    row("Label1(5)", "Frame2", {200, 16});
    row("Label1(2)", "Frame2", {456, 16});
    row("Label1(12)", "Frame2", {512, 16});
    row("Label1(11)", "Frame2", {8, 56});
    row("Label1(7)", "Frame2", {8, 152});
    row("Text9", "Frame2", {8, 176}, {81, 25});
    row("Command8", "Frame2", {96, 176}, {57, 25});
    row("Label10(0)", "Frame2", {160, 176});
    row("Label9(1)", "Frame2", {232, 176});
    row("Label10(1)", "Frame2", {472, 176});
    row("Label10(4)", "Frame2", {304, 192});
    row("Label9(6)", "Frame2", {500, 192});
    row("Command9", "Frame3", {24, 8}, {25, 25});
    row("Command11", "Frame3", {8, 24}, {33, 41});
    row("Text10", "Frame3", {64, 48}, {41, 18});
    row("Text2", "Frame3", {80, 72}, {89, 18});
    row("Label7", "Frame3", {48, 48}, {73, 17});
    row("Label9(2)", "Frame3", {24, 8});
    row("Label9(0)", "Frame3", {32, 8});
}

void TstWindow::geometry() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QPoint, topLeft);
    QFETCH(QSize, size);
    Window window;
    QWidget* w = window.control(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->parentWidget()->objectName(), container);
    QPoint origin;
    if (auto* box = qobject_cast<QFrame*>(w->parentWidget()); box && container == "Picture1")
        origin = box->contentsRect().topLeft();
    QCOMPARE(w->pos() - origin, topLeft);
    if (size.isValid())
        QCOMPARE(w->size(), size);
    else
        QCOMPARE(w->size(), w->sizeHint());
}

void TstWindow::gridLines() {
    Window window;
    // Horizontal lines every 24 px from y 48, across the whole grid.
    for (int k = 1; k <= 6; ++k) {
        auto* line = window.control<Line>(QStringLiteral("Line%1").arg(k));
        QVERIFY(line);
        const int y = 48 + 24 * (k - 1);
        QCOMPARE(line->from(), QPoint(0, y));
        QCOMPARE(line->to(), QPoint(568, y));
    }
    // Vertical lines, not numbered in order of x: the ".cn" column is narrower.
    const std::pair<int, int> vertical[] = {{7, 128},  {8, 192},  {9, 256}, {10, 320},
                                            {12, 384}, {13, 448}, {11, 504}};
    for (const auto& [number, x] : vertical) {
        auto* line = window.control<Line>(QStringLiteral("Line%1").arg(number));
        QVERIFY(line);
        QCOMPARE(line->from(), QPoint(x, 8));
        QCOMPARE(line->to(), QPoint(x, 168));
        QCOMPARE(line->parentWidget(), window.form->Frame2);
    }
    // Each count cell lies between the lines around it.
    const Form1& f = *window.form;
    QVERIFY(f.Label2(6)->geometry().left() > f.Line13->from().x());
    QVERIFY(f.Label2(6)->geometry().right() < f.Line11->from().x());
    QVERIFY(f.Label6(1)->geometry().top() > f.Line5->from().y());
    QVERIFY(f.Label6(1)->geometry().bottom() < f.Line6->from().y());
}

void TstWindow::windowSizeAndTitle() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    QCOMPARE(form.size(), QSize(736, 277));
    QCOMPARE(form.minimumSize(), QSize(736, 277));
    QCOMPARE(form.maximumSize(), QSize(736, 277));
    // A resize request changes nothing.
    form.resize(900, 500);
    QCOMPARE(form.size(), QSize(736, 277));
    QCOMPARE(form.Command6->pos(), QPoint(528, 8));

    QCOMPARE(form.windowTitle(), QStringLiteral("Lumo过期域名查询工具V8.0") + QString(10, u' ') +
                                     window.server.origin() + QStringLiteral("   ") +
                                     QString::fromUtf8(lumo::config::MakerName));

    const QIcon icon = form.windowIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    for (int side : {16, 24, 32, 48})
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
    // Drawn, not blank: the 16-pixel image has opaque pixels of more than one colour.
    const QImage small = icon.pixmap(QSize(16, 16)).toImage();
    QCOMPARE(small.size(), QSize(16, 16));
    QVERIFY(small.pixelColor(8, 8).alpha() == 255);
    QVERIFY(small.pixelColor(8, 8) != small.pixelColor(13, 13));
}

void TstWindow::holdingFrameOutOfView() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    QVERIFY(form.Frame3->isVisible()); // real controls, just out of view
    QVERIFY(form.Frame3->geometry().top() >= form.height());
    QVERIFY(form.Frame3->visibleRegion().isEmpty());
    const auto children = form.Frame3->findChildren<QWidget*>();
    QCOMPARE(children.size(), 14);
    for (QWidget* w : children) {
        QVERIFY2(w->visibleRegion().isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(!(w->focusPolicy() & Qt::TabFocus), qPrintable(w->objectName()));
    }
}

void TstWindow::startupCoverOnTopAtFirstShow() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    QVERIFY(form.Picture1->isVisible());
    QVERIFY(!form.Frame4->isVisible());
    form.Label14->setText(QStringLiteral("当前时间:  12:00:00"));
    form.Label8->setText(QStringLiteral("正在查询"));
    for (QWidget* w : std::initializer_list<QWidget*>{
             form.Command1, form.Command6, form.Command10, form.Label14, form.List1, form.Label1(1),
             form.Label2(1), form.Label6(7), form.Text9, form.Command8, form.Label10(1),
             form.Command7, form.Label8}) {
        QWidget* top = window.topmostOver(w);
        QVERIFY2(isWithin(top, form.Picture1), qPrintable(w->objectName()));
    }
    QCOMPARE(window.topmostOver(form.Label13), form.Label13);

    form.Picture1->hide();
    QCOMPARE(window.topmostOver(form.Command1), form.Command1);
    QCOMPARE(window.topmostOver(form.Label2(1)), form.Label2(1));
    QCOMPARE(window.topmostOver(form.List1), form.List1->viewport());
}

void TstWindow::busyCoverHidesDateStrip() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    form.Picture1->hide();
    form.Label14->setText(QStringLiteral("当前时间:  12:00:00"));
    const auto innerOf = [&](QWidget* w) {
        return QRect(w->mapTo(&form, QPoint(0, 0)), w->size())
            .adjusted(4, 7, -4, -4); // clear of the cover's border
    };
    const QImage bare = form.grab().toImage();

    form.Frame4->show();
    for (QWidget* w : std::initializer_list<QWidget*>{
             form.Command1, form.Command2, form.Command3, form.Command4, form.Command5,
             form.Command6, form.Command10, static_cast<QWidget*>(form.Label14)})
        QVERIFY2(isWithin(window.topmostOver(w), form.Frame4), qPrintable(w->objectName()));
    QCOMPARE(window.topmostOver(form.Label11), form.Label11);

    // The cover paints its face: where the first buttons were, one plain colour shows.
    const QImage covered = form.grab().toImage();
    for (QWidget* w : {form.Command1, form.Command2}) {
        const QRect area = innerOf(w);
        const QColor background = covered.pixelColor(area.topLeft());
        bool plain = true;
        bool changed = false;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                plain = plain && covered.pixelColor(x, y) == background;
                changed = changed || covered.pixelColor(x, y) != bare.pixelColor(x, y);
            }
        QVERIFY2(plain, qPrintable(w->objectName()));
        QVERIFY2(changed, qPrintable(w->objectName()));
    }
}

void TstWindow::autoSizeFollowsCaption_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("autoSize");
    for (const char* name :
         {"Label14", "Label1(0)", "Label9(1)", "Label9(5)", "Label12", "Label1(12)", "Label10(3)"})
        QTest::newRow(name) << QString::fromUtf8(name) << true;
    for (const char* name : {"Label2(1)", "Label3(6)", "Label6(7)", "Label13", "Label11"})
        QTest::newRow(name) << QString::fromUtf8(name) << false;
}

void TstWindow::autoSizeFollowsCaption() {
    QFETCH(QString, name);
    QFETCH(bool, autoSize);
    Window window;
    auto* label = window.control<Label>(name);
    QVERIFY(label);
    const QRect before = label->geometry();
    QList<int> widths;
    for (const QString& caption :
         {QStringLiteral("2011-12-01删除的域名，共计123456个"), QStringLiteral("7")}) {
        label->setText(caption);
        QCOMPARE(label->pos(), before.topLeft());
        if (autoSize) {
            QCOMPARE(label->size(), label->sizeHint());
            QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(caption));
        } else {
            QCOMPARE(label->size(), before.size());
        }
        widths << label->width();
    }
    if (autoSize)
        QVERIFY(widths.at(0) > 10 * widths.at(1) / 2);
}

// The status line, the clock and the countdown have a neighbour or the window's edge to
// their right: a long caption moves left into free space, or is shortened with its whole
// text in the tooltip; a short one stands where the layout puts it.
void TstWindow::longCaptionStaysInItsRoom_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("neighbour"); // what the label must not run under
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("shortened");
    QTest::newRow("status fits after moving left")
        << "Label8"
        << "Frame2" << QStringLiteral("数据载入失败，请重试") << false;
    QTest::newRow("status too long even then")
        << "Label8"
        << "Frame2" << QStringLiteral("日期载入失败，请检查网络后重新打开本工具") << true;
    QTest::newRow("clock with a long contact")
        << "Label14"
        << "Command10"
        << QStringLiteral(
               "当前时间:  Saturday, 6 December 2026 20:11:25  软件问题：support@lumo.example")
        << false;
    QTest::newRow("long countdown") << "Label9(6)"
                                    << "" << QStringLiteral("365天23小时") << false;
}

void TstWindow::longCaptionStaysInItsRoom() {
    QFETCH(QString, name);
    QFETCH(QString, neighbour);
    QFETCH(QString, caption);
    QFETCH(bool, shortened);
    Window window;
    auto* label = window.control<Label>(name);
    QVERIFY(label);
    const QPoint home = label->pos();
    label->setText(caption);
    const int limit = neighbour.isEmpty() ? label->parentWidget()->width()
                                          : window.control<QWidget>(neighbour)->x();
    QVERIFY2(label->geometry().right() < limit,
             qPrintable(QString::number(label->geometry().right())));
    QCOMPARE(label->text(), caption);
    QCOMPARE(label->toolTip(), shortened ? caption : QString());
    label->setText(QStringLiteral(".."));
    QCOMPARE(label->pos(), home);
    QVERIFY(label->toolTip().isEmpty());
}

void TstWindow::fonts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("points"); // 0: the window's font
    QTest::addColumn<bool>("red");
    const qreal windowFont = 0;
    QTest::newRow("Command1") << "Command1" << 9.0 << false;
    QTest::newRow("Command6") << "Command6" << 9.0 << false;
    QTest::newRow("Command10") << "Command10" << 10.5 << false;
    QTest::newRow("Label13") << "Label13" << 9.0 << false;
    QTest::newRow("Label14") << "Label14" << 9.0 << true;
    QTest::newRow("Label1(4)") << "Label1(4)" << 9.0 << false;
    QTest::newRow("Label1(9)") << "Label1(9)" << 9.0 << false;
    QTest::newRow("Label2(3)") << "Label2(3)" << 9.0 << false;
    QTest::newRow("Label6(6)") << "Label6(6)" << 9.0 << false;
    QTest::newRow("Label10(2)") << "Label10(2)" << 9.0 << false;
    QTest::newRow("Label9(6)") << "Label9(6)" << windowFont << true;
    QTest::newRow("Label9(1)") << "Label9(1)" << windowFont << false;
    QTest::newRow("Label1(0)") << "Label1(0)" << windowFont << false;
    QTest::newRow("Label8") << "Label8" << windowFont << false;
    QTest::newRow("Label11") << "Label11" << windowFont << false;
    QTest::newRow("Command7") << "Command7" << windowFont << false;
    QTest::newRow("List1") << "List1" << windowFont << false;
    QTest::newRow("Text9") << "Text9" << windowFont << false;
}

void TstWindow::fonts() {
    QFETCH(QString, name);
    QFETCH(qreal, points);
    QFETCH(bool, red);
    Window window;
    QWidget* w = window.control(name);
    QVERIFY(w);
    const QFont font = w->font();
    QCOMPARE(font.families().value(0), QStringLiteral("宋体"));
    QCOMPARE(font.pointSizeF(), points > 0 ? points : 9.0);
    QCOMPARE(font.weight(), points > 0 ? QFont::Bold : QFont::Normal);
    QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    if (points == 0)
        QCOMPARE(font, window.form->font());
    // Whatever face stood in for 宋体 here is a CJK face, so no caption shows as boxes.
    const QString face = QFontInfo(font).family();
    QVERIFY2(font.families().contains(face), qPrintable(face));
    const QColor text = w->palette().color(QPalette::WindowText);
    QCOMPARE(text == QColor(255, 0, 0), red);
}

void TstWindow::handCursorOnCountCellsOnly() {
    Window window;
    Form1& form = *window.form;
    const ControlArray<Label, 1, 7>* rows[] = {&form.Label2, &form.Label3, &form.Label4,
                                               &form.Label5, &form.Label6};
    for (const auto* row : rows)
        for (int i = 1; i <= 7; ++i)
            QCOMPARE((*row)(i)->cursor().shape(), Qt::PointingHandCursor);
    for (QWidget* w :
         {static_cast<QWidget*>(form.Label1(1)), static_cast<QWidget*>(form.Label1(11)),
          static_cast<QWidget*>(form.Label9(1)), static_cast<QWidget*>(form.Label10(0)),
          static_cast<QWidget*>(form.Frame2)})
        QVERIFY2(w->cursor().shape() != Qt::PointingHandCursor, qPrintable(w->objectName()));
}

void TstWindow::focusOrder() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.Command1->setFocus(Qt::OtherFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), form.Command1);
    const QStringList expected = {"Command2", "Command3",  "Command4", "Command5",
                                  "Command6", "List1",     "Text9",    "Command8",
                                  "Command7", "Command10", "Command1"};
    QStringList visited;
    for (qsizetype k = 0; k < expected.size(); ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, expected);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), form.Command10);
}

void TstWindow::clockText_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("C") << QLocale::c();
    QTest::newRow("zh_CN") << QLocale(QLocale::Chinese, QLocale::China);
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("fi_FI") << QLocale(QLocale::Finnish, QLocale::Finland);
}

void TstWindow::clockText() {
    QFETCH(QLocale, locale);
    const QDateTime moment(QDate(2024, 3, 5), QTime(17, 8, 9));
    const QString text = window::clockText(moment, locale, QStringLiteral("QQ:800123"));
    const QString head =
        QStringLiteral("当前时间:  ") + locale.toString(moment.date(), QLocale::ShortFormat) + u' ';
    const QString tail = QStringLiteral("  软件问题：QQ:800123");
    QVERIFY2(text.startsWith(head), qPrintable(text));
    QVERIFY2(text.endsWith(tail), qPrintable(text));
    const QString time = text.mid(head.size(), text.size() - head.size() - tail.size());
    // The time keeps the locale's own form and reads back to the second.
    const QString format = window::timeFormatWithSeconds(locale);
    QCOMPARE(locale.toTime(time, format), moment.time());
    QVERIFY2(time.contains(QStringLiteral("09")), qPrintable(time));
    if (locale == QLocale::c())
        QCOMPARE(text, QStringLiteral("当前时间:  5 Mar 2024 17:08:09  软件问题：QQ:800123"));
}

void TstWindow::clockTicks() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(form.Timer2->isActive());
    QCOMPARE(form.Label14->text(), QString()); // empty until the first tick
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QTRY_VERIFY_WITH_TIMEOUT(!form.Label14->text().isEmpty(), 3000);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    const QString first = form.Label14->text();
    QStringList candidates;
    for (QDateTime t = before; t <= after; t = t.addSecs(1))
        candidates << window::clockText(t, QLocale::system(),
                                        QString::fromUtf8(lumo::config::SupportContact));
    QVERIFY2(candidates.contains(first), qPrintable(first));
    QCOMPARE(form.Label14->size(), form.Label14->sizeHint());
    // The next tick moves the seconds on.
    QTRY_VERIFY_WITH_TIMEOUT(form.Label14->text() != first, 3000);
}

void TstWindow::listPickByMouse() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    form.Picture1->hide();
    form.List1->addItems(kNames);
    form.Text9->setText(QStringLiteral("typed.com"));
    const auto clickRow = [&](int row) {
        QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {},
                          form.List1->visualItemRect(form.List1->item(row)).center());
    };
    clickRow(2);
    QCOMPARE(form.Text9->text(), QStringLiteral("cde.com"));
    clickRow(0);
    QCOMPARE(form.Text9->text(), QStringLiteral("abc.com"));
    // A name typed over the pick is replaced when the same row is clicked again.
    form.Text9->setText(QStringLiteral("other.com"));
    clickRow(0);
    QCOMPARE(form.Text9->text(), QStringLiteral("abc.com"));
    QCOMPARE(form.Command8->text(), QStringLiteral("查询"));
    QCOMPARE(window.server.targets(), QStringList()); // no lookup started
}

void TstWindow::listPickByArrowKeys() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    form.Picture1->hide();
    form.List1->addItems(kNames);
    form.List1->setCurrentRow(1);
    QCOMPARE(form.Text9->text(), QStringLiteral("bcd.com"));
    form.Text9->setText(QStringLiteral("typed.com"));
    const std::pair<Qt::Key, const char*> steps[] = {{Qt::Key_Down, "cde.com"},
                                                     {Qt::Key_Down, "def.com"},
                                                     {Qt::Key_Up, "cde.com"},
                                                     {Qt::Key_End, "efg.com"},
                                                     {Qt::Key_Home, "abc.com"}};
    for (const auto& [key, expected] : steps) {
        QTest::keyClick(form.List1, key);
        QCOMPARE(form.Text9->text(), QString::fromUtf8(expected));
    }
    QCOMPARE(window.server.targets(), QStringList());
}

void TstWindow::listChangesAreNoPick() {
    Window window;
    Form1& form = *window.form;
    QVERIFY(window.show());
    form.Picture1->hide();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.windowHandle()));
    form.List1->addItems(kNames);
    form.List1->setCurrentRow(3);
    form.Text9->setText(QStringLiteral("mine.com"));
    form.List1->clear();
    QCOMPARE(form.Text9->text(), QStringLiteral("mine.com"));
    form.List1->addItems(kNames);
    form.List1->addItem(QStringLiteral("fgh.com"));
    QCOMPARE(form.Text9->text(), QStringLiteral("mine.com"));
    // Reaching the list with the keyboard makes a row current, but picks nothing.
    form.Text9->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(form.Text9, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), form.List1);
    QCOMPARE(form.Text9->text(), QStringLiteral("mine.com"));
}

QTEST_MAIN(TstWindow)
#include "tst_window.moc"
