// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/form1.h"

#include "lumo/config.h"
#include "watch/watchlist.h"
#include "window/button.h"
#include "window/cover.h"
#include "window/following.h"
#include "window/listmenu.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGroupBox>
#include <QIcon>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <limits>
#include <unistd.h>

// The icon lives in the static core library; nothing would pull it in otherwise.
static void initIconResources() {
    Q_INIT_RESOURCE(lumo);
}

Addresses Addresses::compiledIn() {
    return {QString::fromUtf8(lumo::config::ListingUrl), QString::fromUtf8(lumo::config::LookupUrl),
            QString::fromUtf8(lumo::config::MakerUrl), watch::defaultTokenPath()};
}

namespace {

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new Button(caption, parent);
    b->setObjectName(name);
    return b;
}

Label* label(const QString& name, const QString& caption, QWidget* parent) {
    auto* l = new Label(caption, parent);
    l->setObjectName(name);
    return l;
}

QLineEdit* textBox(const QString& name, const QString& text, QWidget* parent) {
    auto* t = new QLineEdit(text, parent);
    t->setObjectName(name);
    return t;
}

QGroupBox* frame(const QString& name, const QString& caption, QWidget* parent) {
    auto* f = new QGroupBox(caption, parent);
    f->setObjectName(name);
    return f;
}

QTimer* timer(const QString& name, int intervalMs, QObject* parent) {
    auto* t = new QTimer(parent);
    t->setObjectName(name);
    t->setInterval(intervalMs);
    return t;
}

Line* line(const QString& name, QWidget* parent) {
    auto* l = new Line(parent);
    l->setObjectName(name);
    return l;
}

QString elementName(const char* array, int index) {
    return QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(index);
}

// A control array's elements, created with one caption each.
template <class Array>
void labelArray(Array& array, const char* name, const QStringList& captions, QWidget* parent) {
    for (int i = Array::first; i <= Array::last; ++i)
        array.set(i, label(elementName(name, i), captions.at(i - Array::first), parent));
}

int defaultMsgBox(QWidget* owner, const QString& text, int style, const QString& caption);

} // namespace

Form1::Form1(Addresses addresses, QWidget* parent)
    : QWidget(parent), addresses_(std::move(addresses)) {
    setObjectName(QStringLiteral("Form1"));
    MsgBox = [this](const QString& text, int style, const QString& caption) {
        return defaultMsgBox(this, text, style, caption);
    };
    OpenUrl = [](const QUrl& address) { QDesktopServices::openUrl(address); };
    EndProgram = [] {
        // Nothing more may run, not even the handlers that wait for a page: leave now.
        std::fflush(nullptr);
        ::_exit(0);
    };

    title_ = QStringLiteral("Lumo过期域名查询工具V8.0") + QString(10, u' ') + addresses_.maker +
             QString(3, u' ') + QString::fromUtf8(lumo::config::MakerName);
    setWindowTitle(title_);
    initIconResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addFile(QStringLiteral(":/lumo/icons/lumo-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    if (QApplication::windowIcon().isNull()) // the message boxes show it too
        QApplication::setWindowIcon(icon);

    SaveFileName = [this](const QString& proposedPath) {
        return askSaveFileName(this, proposedPath);
    };

    createControls();
    layoutControls();
    connectHandlers();
    following = new Following(*this);
    listMenu = new ListMenu(*this);
    // "已关注" as the desktop's social apps say it; a click on it is 取消关注, and says so.
    const auto followCaption = [this] {
        const bool followed = following->isFollowed(Text9->text().trimmed());
        Command12->setText(followed ? QStringLiteral("已关注") : QStringLiteral("关注"));
        Command12->setAccessibleName(followed ? QStringLiteral("取消关注")
                                              : QStringLiteral("关注"));
        Command12->setToolTip(followed ? QStringLiteral("已关注，点击取消关注") : QString());
    };
    connect(Text9, &QLineEdit::textChanged, this, followCaption);
    connect(following, &Following::changed, this, followCaption);
    // The window opens under its start-up cover; the busy cover lies over the top strip.
    new CoverGuard(Picture1,
                   {Command1, Command2, Command3, Command4, Command5, Command6, List1, Text9,
                    Command8, Command12, Command7, Command10},
                   Command1, true);
    new CoverGuard(Frame4, {Command1, Command2, Command3, Command4, Command5, Command6, Command10},
                   nullptr, false);
    Form_Load();
    // The timers count from the window's creation.
    Timer1->start();
    Timer2->start();
    Timer3->start();
}

Form1::~Form1() = default;

void Form1::createControls() {
    // Siblings are created bottom-most first, so that each container's first-listed child
    // ends up on top.
    Label8 = label(QStringLiteral("Label8"), QStringLiteral(".."), this);
    createTopStrip();
    createGridAndLookup();
    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    // Thousands of names: every row has the same height, and rows are laid out in batches.
    List1->setUniformItemSizes(true);
    List1->setLayoutMode(QListView::Batched);
    createHoldingFrame();
    Command7 = button(QStringLiteral("Command7"), QStringLiteral("停止查询"), this);
    createCover();
    nameForScreenReaders();
}

// The top strip: the day buttons, the clock, the maker's button and the busy cover.
void Form1::createTopStrip() {
    Frame1 = frame(QStringLiteral("Frame1"), QString(), this);
    Label14 = label(QStringLiteral("Label14"), QString(), Frame1);
    Command1 = button(QStringLiteral("Command1"), QStringLiteral("二天前"), Frame1);
    Command2 = button(QStringLiteral("Command2"), QStringLiteral("一天前"), Frame1);
    Command3 = button(QStringLiteral("Command3"), QStringLiteral("今天删除"), Frame1);
    Command4 = button(QStringLiteral("Command4"), QStringLiteral("一天后"), Frame1);
    Command5 = button(QStringLiteral("Command5"), QStringLiteral("二天后"), Frame1);
    Command6 = button(QStringLiteral("Command6"), QStringLiteral("三天后"), Frame1);
    Timer1 = timer(QStringLiteral("Timer1"), 500, Frame1);
    Timer2 = timer(QStringLiteral("Timer2"), 1000, Frame1);
    Command10 = button(QStringLiteral("Command10"), QStringLiteral("访问官网"), Frame1);
    Frame4 = frame(QStringLiteral("Frame4"), QString(), Frame1);
    Label11 = label(QStringLiteral("Label11"), QStringLiteral("等待!载入中...."), Frame4);
    Timer3 = timer(QStringLiteral("Timer3"), 1000, Frame4);
}

// The count grid with its lines and headers, and the lookup row under it.
void Form1::createGridAndLookup() {
    Frame2 = frame(QStringLiteral("Frame2"), QString(), this);
    Line* lines[13];
    for (int i = 13; i >= 1; --i)
        lines[i - 1] = line(QStringLiteral("Line%1").arg(i), Frame2);
    Line1 = lines[0], Line2 = lines[1], Line3 = lines[2], Line4 = lines[3], Line5 = lines[4];
    Line6 = lines[5], Line7 = lines[6], Line8 = lines[7], Line9 = lines[8], Line10 = lines[9];
    Line11 = lines[10], Line12 = lines[11], Line13 = lines[12];
    labelArray(Label1, "Label1",
               {QString(), QStringLiteral(".com"), QStringLiteral(".cn"), QStringLiteral(".biz"),
                QStringLiteral(".info"), QStringLiteral(".net"), QStringLiteral(".org"),
                QStringLiteral("7位域名"), QStringLiteral("6位域名"), QStringLiteral("5位域名"),
                QStringLiteral("4位域名"), QStringLiteral("3位域名"), QStringLiteral(".com.cn")},
               Frame2);
    Label10.set(0, label(elementName("Label10", 0), QStringLiteral("域名年龄："), Frame2));
    Label10.set(1, label(elementName("Label10", 1), QStringLiteral("删除倒计时："), Frame2));
    Label10.set(2, label(elementName("Label10", 2), QStringLiteral("注册时间："), Frame2));
    Label10.set(3, label(elementName("Label10", 3), QStringLiteral("到期时间："), Frame2));
    Label10.set(4, label(elementName("Label10", 4), QStringLiteral("删除时间："), Frame2));
    for (int i : {1, 3, 4, 5, 6})
        Label9.set(i, label(elementName("Label9", i), QStringLiteral(".."), Frame2));
    const QStringList dots(7, QStringLiteral("..."));
    labelArray(Label6, "Label6", dots, Frame2);
    labelArray(Label5, "Label5", dots, Frame2);
    labelArray(Label4, "Label4", dots, Frame2);
    labelArray(Label3, "Label3", dots, Frame2);
    labelArray(Label2, "Label2", dots, Frame2);
    Text9 = textBox(QStringLiteral("Text9"), QString(), Frame2);
    Text9->setMaxLength(std::numeric_limits<int>::max()); // the lookup box has no length limit
    Command8 = button(QStringLiteral("Command8"), QStringLiteral("查询"), Frame2);
    Command12 = button(QStringLiteral("Command12"), QStringLiteral("关注"), Frame2);
}

// The holding frame's controls, out of view.
void Form1::createHoldingFrame() {
    Frame3 = frame(QStringLiteral("Frame3"), QStringLiteral("Frame3"), this);
    Label7 = label(QStringLiteral("Label7"), QStringLiteral("Label7"), Frame3);
    Label9.set(0, label(elementName("Label9", 0), QStringLiteral("Label9"), Frame3));
    Label9.set(2, label(elementName("Label9", 2), QStringLiteral("Label9"), Frame3));
    Text6 = textBox(QStringLiteral("Text6"), QStringLiteral("Text6"), Frame3);
    Text5 = textBox(QStringLiteral("Text5"), QStringLiteral("Text5"), Frame3);
    Text4 = textBox(QStringLiteral("Text4"), QStringLiteral("Text4"), Frame3);
    Text3 = textBox(QStringLiteral("Text3"), QStringLiteral("Text3"), Frame3);
    Text2 = textBox(QStringLiteral("Text2"), QStringLiteral("Text2"), Frame3);
    Text1 = textBox(QStringLiteral("Text1"), QString(), Frame3);
    Command11 = button(QStringLiteral("Command11"), QStringLiteral("Command11"), Frame3);
    Text8 = textBox(QStringLiteral("Text8"), QStringLiteral("Text8"), Frame3);
    Text7 = textBox(QStringLiteral("Text7"), QStringLiteral("Text7"), Frame3);
    Text10 = textBox(QStringLiteral("Text10"), QStringLiteral("Text10"), Frame3);
    Command9 = button(QStringLiteral("Command9"), QStringLiteral("Command9"), Frame3);
}

// The start-up cover.
void Form1::createCover() {
    Picture1 = new QFrame(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameShape(QFrame::Box);
    Picture1->setAutoFillBackground(true);
    Label12 = label(QStringLiteral("Label12"), QStringLiteral("载入中...请等待片刻"), Picture1);
    Label13 = label(QStringLiteral("Label13"), QStringLiteral("本工具提供三天内删除的域名查询"),
                    Picture1);
}

// Screen readers: buttons and labels already speak their caption; say what a label is.
void Form1::nameForScreenReaders() {
    Text9->setAccessibleName(QStringLiteral("查询域名"));
    Command12->setAccessibleName(QStringLiteral("关注"));
    Command12->setAccessibleDescription(QStringLiteral("关注或取消关注查询框里的域名"));
    List1->setAccessibleName(QStringLiteral("删除域名列表"));
    Label8->setAccessibleDescription(QStringLiteral("状态"));
    Label14->setAccessibleDescription(QStringLiteral("当前时间"));
    Label1(0)->setAccessibleDescription(QStringLiteral("显示的日期"));
    const char* fields[] = {nullptr,    "域名年龄", nullptr,     "注册时间",
                            "到期时间", "删除时间", "删除倒计时"};
    for (int i : {1, 3, 4, 5, 6})
        Label9(i)->setAccessibleDescription(QString::fromUtf8(fields[i]));
    const char* suffixes[] = {"", ".com", ".net", ".org", ".info", ".biz", ".cn", ".com.cn"};
    const ControlArray<Label, 1, 7>* rows[] = {&Label2, &Label3, &Label4, &Label5, &Label6};
    for (int r = 0; r < 5; ++r)
        for (int i = 1; i <= 7; ++i)
            (*rows[r])(i)->setAccessibleDescription(
                QStringLiteral("%1位%2删除数").arg(r + 3).arg(QLatin1String(suffixes[i])));
}

void Form1::connectHandlers() {
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Form1::Timer2_Timer);
    connect(Timer3, &QTimer::timeout, this, &Form1::Timer3_Timer);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &Form1::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);
    connect(Command12, &QPushButton::clicked, this, &Form1::Command12_Click);
    const std::pair<ControlArray<Label, 1, 7>*, void (Form1::*)(int)> rows[] = {
        {&Label2, &Form1::Label2_Click},
        {&Label3, &Form1::Label3_Click},
        {&Label4, &Form1::Label4_Click},
        {&Label5, &Form1::Label5_Click},
        {&Label6, &Form1::Label6_Click}};
    for (const auto& row : rows) {
        const auto handler = row.second;
        for (int i = 1; i <= 7; ++i)
            connect((*row.first)(i), &Label::clicked, this,
                    [this, handler, i] { (this->*handler)(i); });
    }
    // A pick by mouse or keyboard changes the selection; clearing or filling the list does
    // not. A click on the row already picked copies it again.
    connect(List1, &QListWidget::itemSelectionChanged, this, &Form1::List1_Click);
    connect(List1, &QListWidget::itemClicked, this, &Form1::List1_Click);
}

void Form1::showGenerated(bool generated) {
    setWindowTitle(generated ? title_ + QString(3, u' ') + QStringLiteral("演示数据") : title_);
}

void Form1::Form_Load() {
    Frame4->hide();
}

void Form1::closeEvent(QCloseEvent* event) {
    // On OK, Form_Unload has ended the program already; only a stand-in EndProgram returns.
    if (Form_Unload())
        event->ignore();
    else
        event->accept();
}

namespace {

int defaultMsgBox(QWidget* owner, const QString& text, int style, const QString& caption) {
    QMessageBox box(owner);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setWindowTitle(caption.isEmpty() ? QStringLiteral("Lumo过期域名查询工具") : caption);
    box.setIcon((style & MsgBoxStyle::Question) ? QMessageBox::Question : QMessageBox::NoIcon);
    if (style & MsgBoxStyle::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Ok ? MsgBoxOk : MsgBoxCancel;
}

} // namespace
