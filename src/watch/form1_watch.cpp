// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/following.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QPushButton>

// The button does what its caption says: "已关注" stops following the name, "关注" follows it
// (a name followed since from elsewhere stays followed).
void Form1::Command12_Click() {
    const QString name = Text9->text().trimmed();
    if (name.isEmpty()) {
        MsgBox(QStringLiteral("请输入查询域名"), MsgBoxStyle::OkOnly,
               QStringLiteral("Lumo过期域名查询工具"));
        return;
    }
    if (Command12->text() == u"已关注")
        following->unfollow({name});
    else
        following->follow({name});
}
