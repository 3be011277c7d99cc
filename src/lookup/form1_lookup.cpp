// SPDX-License-Identifier: GPL-3.0-or-later
#include "lookup/lookuppage.h"
#include "net/module1.h"
#include "window/form1.h"

#include <QLineEdit>

void Form1::Command8_Click() {
    for (int i = 1; i <= 6; ++i)
        Label9(i)->setText(QString());
    // Every click, an empty box included, overtakes a lookup still waiting for its page.
    const quint64 run = ++lookupRun_;
    lookupLane_.abort();

    const QString name = Text9->text();
    if (name.isEmpty()) {
        MsgBox(QStringLiteral("请输入查询域名"), MsgBoxStyle::OkOnly,
               QStringLiteral("Lumo过期域名查询工具"));
        return;
    }
    const QString page = Module1::GetPageUtf8(
        addresses_.lookup + QStringLiteral("/DomainDel/?wd=") + name, &lookupLane_);
    if (run != lookupRun_)
        return;

    const lookup::LookupPage values = lookup::parseLookupPage(page);
    for (int i = 1; i <= 5; ++i)
        Label9(i)->setText(values.fields[static_cast<std::size_t>(i - 1)]);
    Label9(6)->setText(values.countdown);
    // The status field lies out of view: why a name could not be looked up goes to the
    // status line, and an estimated deletion day carries its mark where it is shown.
    const QString approximate = QStringLiteral("删除日期为估计值");
    if (values.deletionApproximate && !values.fields[4].isEmpty())
        Label9(5)->setText(QStringLiteral("≈") + values.fields[4]);
    Label9(5)->setToolTip(values.deletionApproximate ? approximate : QString());
    if (!values.unavailable().isEmpty())
        Label8->setText(values.unavailable());
    else if (Label8->text().startsWith(QStringLiteral("无法查询")))
        Label8->setText(QStringLiteral(".."));
}
