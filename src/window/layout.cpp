// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/form1.h"

#include <QFont>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

// Positions and sizes are kept in twips, 15 to a device-independent pixel; Qt scales those
// to the screen.
constexpr int px(int twips) {
    return twips >= 0 ? (twips + 7) / 15 : -((-twips + 7) / 15);
}

void place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(px(left), px(top), px(width), px(height));
}

// Children of the picture box count from inside its border.
void placeInside(QFrame* box, QWidget* w, int left, int top, int width, int height) {
    place(w, left, top, width, height);
    w->move(w->pos() + QPoint(box->frameWidth(), box->frameWidth()));
}

// 宋体, or the nearest CJK face this desktop has.
QFont songti(qreal points, QFont::Weight weight) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Source Han Serif SC"), QStringLiteral("Source Han Sans SC"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Droid Sans Fallback")});
    font.setPointSizeF(points);
    font.setWeight(weight);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

void paintRed(QWidget* w) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    w->setPalette(palette);
}

} // namespace

void Form1::layoutControls() {
    // The layout is fixed: the window keeps its size and nothing follows a resize.
    setFixedSize(px(11040), px(4155));
    // Fonts first: auto-size labels take their size from the font of their caption.
    styleControls();
    placeWindow();
    placeGrid();
    placeLookupRow();
    placeHoldingFrame();
    sizeCaptions();
    setFocusOrder();
}

// Fonts, colours and frames.
void Form1::styleControls() {
    // The window's own font is the Chinese desktop's usual one, 宋体 9; its narrow digits
    // keep the grid title clear of the first column.
    setFont(songti(9, QFont::Normal));
    const QFont bold9 = songti(9, QFont::Bold);
    for (QWidget* w : std::initializer_list<QWidget*>{
             Label13, Command6, Command5, Command4, Command3, Command2, Command1, Label14,
             Label10(0), Label10(1), Label10(2), Label10(3), Label10(4)})
        w->setFont(bold9);
    for (int i = 1; i <= 12; ++i)
        Label1(i)->setFont(bold9);
    Command10->setFont(songti(10.5, QFont::Bold));
    paintRed(Label14);
    paintRed(Label9(6));
    for (Label* l : findChildren<Label*>())
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Picture1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Picture1->setAutoFillBackground(true);
    // A cover hides what lies under it, so it paints its whole face.
    Frame4->setAutoFillBackground(true);
}

// The window's own children, the start-up cover, and the top strip with its busy cover.
void Form1::placeWindow() {
    place(Picture1, -120, 0, 11055, 4095);
    place(Command7, 600, 3840, 1095, 255);
    place(Frame3, 7200, 4440, 375, 255);
    place(List1, 120, 960, 2175, 2580);
    place(Frame2, 2400, 840, 8535, 3255);
    place(Frame1, 120, 0, 11055, 855);
    place(Label8, 1080, 3600, 180, 180);

    // --- Start-up cover ----------------------------------------------------------------------
    placeInside(Picture1, Label13, 4080, 360, 4695, 495);
    placeInside(Picture1, Label12, 4680, 1800, 1710, 180);

    // --- Top strip and busy cover ------------------------------------------------------------
    place(Frame4, 120, 120, 10815, 710);
    place(Label11, 4560, 120, 4575, 495);
    place(Command10, 9840, 240, 735, 495);
    place(Command6, 7920, 120, 1215, 375);
    place(Command5, 6600, 120, 1095, 375);
    place(Command4, 5040, 120, 1215, 375);
    place(Command3, 3600, 120, 1095, 375);
    place(Command2, 2160, 120, 1215, 375);
    place(Command1, 720, 120, 1095, 375);
    place(Label14, 5220, 600, 135, 180);
}

// The count grid: columns by suffix index, rows by name length.
void Form1::placeGrid() {
    const QFont bold9 = songti(9, QFont::Bold);
    const int columnLeft[] = {0, 2040, 3000, 3960, 4920, 5880, 6840, 7680};
    const int rowTop[] = {840, 1200, 1560, 1920, 2280};
    const ControlArray<Label, 1, 7>* rows[] = {&Label2, &Label3, &Label4, &Label5, &Label6};
    for (int r = 0; r < 5; ++r) {
        for (int i = 1; i <= 7; ++i) {
            Label* cell = (*rows[r])(i);
            place(cell, columnLeft[i], rowTop[r], i == 6 ? 660 : 780, 180);
            cell->setFont(bold9);
            cell->setCursor(Qt::PointingHandCursor);
        }
    }
    // Headers: column k's header, then the row headers from length 3 down to 7.
    const int headerOfColumn[] = {0, 1, 5, 6, 4, 3, 2, 12};
    for (int i = 1; i <= 7; ++i)
        place(Label1(headerOfColumn[i]), columnLeft[i], 240, 0, 180);
    for (int r = 0; r < 5; ++r)
        place(Label1(11 - r), 120, rowTop[r], 0, 180);
    place(Label1(0), 120, 240, 90, 180);
    Line* horizontal[] = {Line1, Line2, Line3, Line4, Line5, Line6};
    for (int k = 0; k < 6; ++k)
        horizontal[k]->setPoints({0, px(720 + 360 * k)}, {px(8520), px(720 + 360 * k)});
    const std::pair<Line*, int> vertical[] = {{Line7, 1920},  {Line8, 2880},  {Line9, 3840},
                                              {Line10, 4800}, {Line12, 5760}, {Line13, 6720},
                                              {Line11, 7560}};
    for (const auto& [l, x] : vertical)
        l->setPoints({px(x), px(120)}, {px(x), px(2520)});
}

// The lookup row under the grid.
void Form1::placeLookupRow() {
    // The lookup's 关注 takes room from 查询, whose caption needs half of its own, and a
    // little from the box.
    place(Text9, 120, 2640, 1020, 375);
    place(Command8, 1185, 2640, 465, 375);
    place(Command12, 1695, 2640, 660, 375);
    place(Label10(0), 2400, 2640, 975, 180);
    place(Label9(1), 3480, 2640, 180, 180);
    place(Label10(2), 4560, 2640, 975, 180);
    place(Label9(3), 5640, 2640, 180, 180);
    place(Label10(1), 7080, 2640, 1170, 180);
    place(Label10(3), 2400, 2880, 975, 180);
    place(Label9(4), 3480, 2880, 180, 180);
    place(Label10(4), 4560, 2880, 975, 180);
    place(Label9(5), 5640, 2880, 180, 180);
    place(Label9(6), 7500, 2880, 180, 180);
}

// The holding frame, below the client area.
void Form1::placeHoldingFrame() {
    place(Command9, 360, 120, 375, 375);
    place(Text10, 960, 720, 615, 270);
    place(Text7, 1560, 600, 1215, 270);
    place(Text8, 3000, 600, 1095, 270);
    place(Command11, 120, 360, 495, 615);
    place(Text1, 120, 1080, 1215, 270);
    place(Text2, 1200, 1080, 1335, 270);
    place(Text3, 1560, 360, 1095, 270);
    place(Text4, 240, 840, 1215, 270);
    place(Text5, 3120, 1320, 1215, 270);
    place(Text6, 120, 600, 1455, 270);
    place(Label9(2), 360, 120, 540, 180);
    place(Label9(0), 480, 120, 540, 180);
    place(Label7, 720, 720, 1095, 255);
    // Out of view is out of reach: the keyboard must not wander into it either.
    for (QWidget* w : Frame3->findChildren<QWidget*>())
        w->setFocusPolicy(Qt::NoFocus);
}

// Auto-size labels take the size of their caption, now that each has its font.
void Form1::sizeCaptions() {
    for (Label* l : {Label8, Label14, Label12, Label1(0), Label9(1), Label9(3), Label9(4),
                     Label9(5), Label9(6), Label9(0), Label9(2)})
        l->setAutoSize(true);
    for (int i = 0; i <= 12; ++i)
        Label1(i)->setAutoSize(true);
    for (int i = 0; i <= 4; ++i)
        Label10(i)->setAutoSize(true);
    // Captions longer than their place (status texts, a long countdown, the clock in some
    // locales) stay readable instead of running under a neighbour or out of the window.
    Label8->setRoom(List1->x(), Frame2->x() - 2);
    Label14->setRoom(Command1->x(), Command10->x() - 4);
    Label9(6)->setRoom(Label10(1)->x(), Frame2->width() - 4);
}

// The keyboard's way through the window.
void Form1::setFocusOrder() {
    QWidget* const focusOrder[] = {Command1, Command2, Command3, Command4, Command5, Command6,
                                   List1,    Text9,    Command8, Command12, Command7,
                                   Command10};
    for (std::size_t k = 1; k < std::size(focusOrder); ++k)
        setTabOrder(focusOrder[k - 1], focusOrder[k]);
}
