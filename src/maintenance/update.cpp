// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/versionfile.h"

#include "net/module1.h"
#include "scrape/split.h"
#include "window/form1.h"

#include <QTimer>
#include <QUrl>

namespace maintenance {

namespace {

// The question box must stay on the screen, whatever the file holds.
constexpr qsizetype MaxShownLength = 1000;

} // namespace

QString referenceVersion() {
    return QStringLiteral("8.") + QStringLiteral("8");
}

std::optional<QString> newVersionLine(QStringView page) {
    const auto line = scrape::piece(page, u"\r\n", 0);
    if (!line || line->isEmpty())
        return std::nullopt;
    if (*line == referenceVersion())
        return std::nullopt;
    if (line->contains(u'<')) // an error page, not a version file
        return std::nullopt;
    if (line->size() > MaxShownLength) {
        const qsizetype cut = MaxShownLength - (line->at(MaxShownLength - 1).isHighSurrogate());
        return line->first(cut).toString() + QStringLiteral("…");
    }
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
