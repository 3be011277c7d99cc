// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/versionfile.h"

namespace maintenance {

namespace {

// The question box must stay on the screen, whatever the file holds.
constexpr qsizetype MaxShownLength = 1000;

} // namespace

QString referenceVersion() {
    return QStringLiteral("8.") + QStringLiteral("8");
}

std::optional<QString> newVersionLine(QStringView page) {
    // One pass to the first CR LF; markup on the way makes it an error page, which ends the
    // look at once, however long the page.
    qsizetype end = 0;
    for (; end < page.size(); ++end) {
        const QChar c = page[end];
        if (c == u'<')
            return std::nullopt;
        if (c == u'\r' && end + 1 < page.size() && page[end + 1] == u'\n')
            break;
    }
    const QStringView line = page.first(end);
    if (line.isEmpty() || line == referenceVersion())
        return std::nullopt;
    if (line.size() > MaxShownLength) {
        const qsizetype cut = MaxShownLength - (line.at(MaxShownLength - 1).isHighSurrogate());
        return line.first(cut).toString() + QStringLiteral("…");
    }
    return line.toString();
}

} // namespace maintenance
