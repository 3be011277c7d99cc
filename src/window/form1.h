// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listing/daysummary.h"
#include "net/module1.h"
#include "window/controls.h"

#include <QString>
#include <QWidget>
#include <functional>

class Following;
class ListMenu;
class QFrame;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QUrl;

// The base addresses of the three web services the window talks to.
struct Addresses {
    QString listing; // listing service home page, ending in "/"
    QString lookup;  // lookup service, scheme and host
    QString maker;   // maker site, scheme and host
    // The file holding the token that changes to the followed names must carry.
    QString watchToken;
    // The addresses this build was configured with.
    static Addresses compiledIn();
};

// Message box styles and answers, as the handlers use them.
namespace MsgBoxStyle {
inline constexpr int OkOnly = 0;
inline constexpr int OkCancel = 1;
inline constexpr int Question = 32;
} // namespace MsgBoxStyle
inline constexpr int MsgBoxOk = 1;
inline constexpr int MsgBoxCancel = 2;

// The one window. Its controls are the program's state; every handler reads and writes
// them by name.
class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(Addresses addresses, QWidget* parent = nullptr);
    ~Form1() override;

    const Addresses& addresses() const { return addresses_; }

    // What the window asks of the desktop. Tests put recorders in their place.
    // A modal message box; returns MsgBoxOk or MsgBoxCancel. An empty caption means the
    // product's title.
    std::function<int(const QString& text, int style, const QString& caption)> MsgBox;
    // Opens an address in the user's web browser.
    std::function<void(const QUrl& address)> OpenUrl;
    // Ends the program at once, whatever is waiting.
    std::function<void()> EndProgram;
    // Asks where to save a file, proposing `proposedPath`; the path chosen, or empty.
    std::function<QString(const QString& proposedPath)> SaveFileName;

    // List1's context menu and shortcuts: selection, copy, export and the filter.
    ListMenu* listMenu = nullptr;
    // The names the user follows: the lookup's and the menu's 关注, and the 关注列表 dialog.
    Following* following = nullptr;

    // What the shown day's summary says besides its counts: each column's state and the
    // real date the day stands for (empty from an older service).
    std::array<listing::ColumnState, 7> columnStates{};
    QString realDay;
    // Marks the title while the service serves generated names.
    void showGenerated(bool generated);

    // --- Controls, by container --------------------------------------------------------
    QFrame* Picture1 = nullptr; // start-up cover
    Label* Label13 = nullptr;
    Label* Label12 = nullptr;

    QPushButton* Command7 = nullptr; // stop button

    QGroupBox* Frame3 = nullptr; // holding frame, out of view
    QPushButton* Command9 = nullptr;
    QLineEdit* Text10 = nullptr; // stop flag
    QLineEdit* Text7 = nullptr;  // day on display
    QLineEdit* Text8 = nullptr;
    QPushButton* Command11 = nullptr;
    QLineEdit* Text1 = nullptr; // date slots
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    Label* Label7 = nullptr; // running count

    QListWidget* List1 = nullptr;

    QGroupBox* Frame2 = nullptr; // grid and lookup row
    QPushButton* Command8 = nullptr;
    QPushButton* Command12 = nullptr;  // follow the looked-up name, or stop following it
    QLineEdit* Text9 = nullptr;        // lookup box
    ControlArray<Label, 1, 7> Label2;  // count cells, length 3
    ControlArray<Label, 1, 7> Label3;  // length 4
    ControlArray<Label, 1, 7> Label4;  // length 5
    ControlArray<Label, 1, 7> Label5;  // length 6
    ControlArray<Label, 1, 7> Label6;  // length 7
    ControlArray<Label, 0, 6> Label9;  // lookup values
    ControlArray<Label, 0, 4> Label10; // their captions
    ControlArray<Label, 0, 12> Label1; // grid title and headers
    Line* Line1 = nullptr;
    Line* Line2 = nullptr;
    Line* Line3 = nullptr;
    Line* Line4 = nullptr;
    Line* Line5 = nullptr;
    Line* Line6 = nullptr;
    Line* Line7 = nullptr;
    Line* Line8 = nullptr;
    Line* Line9 = nullptr;
    Line* Line10 = nullptr;
    Line* Line11 = nullptr;
    Line* Line12 = nullptr;
    Line* Line13 = nullptr;

    QGroupBox* Frame1 = nullptr; // top strip
    QGroupBox* Frame4 = nullptr; // busy cover
    QTimer* Timer3 = nullptr;
    Label* Label11 = nullptr;
    QPushButton* Command10 = nullptr;
    QTimer* Timer2 = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* Command6 = nullptr; // date buttons
    QPushButton* Command5 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command1 = nullptr;
    Label* Label14 = nullptr; // clock line

    Label* Label8 = nullptr; // status line

    // --- Handlers ------------------------------------------------------------------------
    void Form_Load();
    // Asks before the window closes; returns true to call the closing off.
    bool Form_Unload();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void Command12_Click();
    void Label2_Click(int Index);
    void Label3_Click(int Index);
    void Label4_Click(int Index);
    void Label5_Click(int Index);
    void Label6_Click(int Index);
    void List1_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createTopStrip();
    void createGridAndLookup();
    void createHoldingFrame();
    void createCover();
    void nameForScreenReaders();
    void layoutControls();
    void styleControls();
    void placeWindow();
    void placeGrid();
    void placeLookupRow();
    void placeHoldingFrame();
    void sizeCaptions();
    void setFocusOrder();
    void connectHandlers();

    Addresses addresses_;
    QString title_;
    // Identify the latest list retrieval and the latest lookup, so that one overtaken
    // by a newer click writes nothing when its page arrives; the lanes stop its request.
    quint64 listRun_ = 0;
    quint64 lookupRun_ = 0;
    Module1::Lane listLane_;
    Module1::Lane lookupLane_;
};
