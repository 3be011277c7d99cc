// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/startup.h"
#include "net/module1.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QTimer>

void Form1::Timer1_Timer() {
    Timer1->stop(); // before the wait, or it would tick again inside it
    Command11_Click();
}

void Form1::Command11_Click() {
    Picture1->show();
    const QString page = Module1::GetPageUtf8(addresses_.listing);
    const listing::StartupDates dates = listing::parseStartupDates(page);
    QLineEdit* const slotsInOrder[] = {Text3, Text2, Text4, Text5, Text6, Text1};
    for (qsizetype i = 0; i < dates.slotTexts.size(); ++i)
        slotsInOrder[i]->setText(dates.slotTexts.at(i));
    if (!dates.complete())
        Label8->setText(QStringLiteral("日期载入失败，请检查网络后重新打开本工具"));
    Picture1->hide(); // also after a failure: a window stuck under its cover is no use
}
