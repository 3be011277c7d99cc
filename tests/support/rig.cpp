// SPDX-License-Identifier: GPL-3.0-or-later
#include "rig.h"

#include <QFile>
#include <QTimer>
#include <QUrl>

QByteArray listPageOf(const QString& origin, int count, int from) {
    QString body = "<html><body>";
    for (int n = from; n < from + count; ++n)
        body += QStringLiteral("<a href=%1/whois.php?domain=n%2.com>x</a>").arg(origin).arg(n);
    return (body + "</body></html>").toUtf8();
}

Rig::Rig(int answer) : answer(answer) {
    if (!server.listen())
        qFatal("no loopback port");
    QFile file(tokenPath());
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(token) + '\n') <= 0)
        qFatal("no token file");
    file.close();
    form = std::make_unique<Form1>(
        Addresses{server.origin() + "/", server.origin(), server.origin(), tokenPath()});
    for (QTimer* timer : {form->Timer1, form->Timer2, form->Timer3})
        timer->stop();
    form->MsgBox = [this](const QString& text, int, const QString&) {
        boxes << text;
        return this->answer;
    };
    form->OpenUrl = [this](const QUrl& address) { opened << address.toString(); };
}

Label* Rig::cell(int length, int index) const {
    const ControlArray<Label, 1, 7>* rows[] = {&form->Label2, &form->Label3, &form->Label4,
                                               &form->Label5, &form->Label6};
    return (*rows[length - 3])(index);
}
