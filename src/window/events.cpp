// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/form1.h"

#include "lumo/config.h"
#include "window/clock.h"

#include <QDateTime>
#include <QLineEdit>
#include <QListWidget>

void Form1::Timer2_Timer() {
    Label14->setText(window::clockText(QDateTime::currentDateTime(), QLocale::system(),
                                       QString::fromUtf8(lumo::config::SupportContact)));
}

void Form1::List1_Click() {
    const int index = List1->currentRow();
    const QListWidgetItem* picked = List1->item(index);
    // Focus alone makes a row current without selecting it; that is no pick.
    if (!picked || !picked->isSelected())
        return;
    Text9->setText(picked->text());
}

bool Form1::Form_Unload() {
    const int answer =
        MsgBox(QStringLiteral("真的退出吗?"), MsgBoxStyle::OkCancel | MsgBoxStyle::Question,
               QStringLiteral("退出"));
    if (answer != MsgBoxOk)
        return true; // the window stays, and whatever waits goes on waiting
    EndProgram();
    return false;
}
