// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/versionfile.h"
#include "net/module1.h"
#include "window/form1.h"

#include <QTimer>
#include <QUrl>

void Form1::Timer3_Timer() {
    Timer3->stop(); // before the wait, or it would tick again inside it
    Command9_Click();
}

void Form1::Command9_Click() {
    const QString page =
        Module1::GetPageGb2312(addresses_.maker + QStringLiteral("/lumo/rideve.txt"));
    const std::optional<QString> line = maintenance::newVersionLine(page);
    if (!line)
        return;
    const int answer =
        MsgBox(QStringLiteral("发现最新版本") + *line + QStringLiteral("，是否更新？"),
               MsgBoxStyle::OkCancel | MsgBoxStyle::Question, QStringLiteral("发现最新版本"));
    if (answer == MsgBoxOk)
        OpenUrl(QUrl(addresses_.maker + QStringLiteral("/lumo/")));
}

void Form1::Command10_Click() {
    OpenUrl(QUrl(addresses_.maker + QStringLiteral("/lumo")));
}
