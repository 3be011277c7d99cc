// SPDX-License-Identifier: GPL-3.0-or-later
#include "maintenance/versionfile.h"

#include "scrape/split.h"

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
