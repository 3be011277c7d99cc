// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/versionfile.h"

#include "net/module1.h"
#include "scrape/split.h"
#include "window/form1.h"

#include <QTimer>
#include <QUrl>

namespace maintenance {

namespace {

// Longer first lines are pages, not version files.
constexpr qsizetype MaxVersionLength = 64;

} // namespace

QString referenceVersion() {
    return QStringLiteral("8.") + QStringLiteral("8");
}

std::optional<QString> newVersionLine(QStringView page) {
    // A first line past the limit is refused whatever follows, so only the start of the file
    // is read: an error page of megabytes on one line costs nothing.
    const auto line =
        scrape::piece(page.first(qMin(page.size(), MaxVersionLength + 2)), u"\r\n", 0);
    if (!line || line->isEmpty())
        return std::nullopt;
    if (*line == referenceVersion())
        return std::nullopt;
    if (line->size() > MaxVersionLength || line->contains(u'<'))
        return std::nullopt;
    return line->toString();
}

} // namespace maintenance

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
