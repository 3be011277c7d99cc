// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace maintenance {

// The version this build compares the maker site's version file with.
QString referenceVersion();

// The first line (up to the first CR LF) of the maker site's version file when the user
// should be asked about it: it differs from the reference version in any way and is no
// error page. An empty answer, or a line holding markup, gives nullopt, as does the
// reference version itself. A line past 1,000 characters comes cut short, ending in "…".
std::optional<QString> newVersionLine(QStringView page);

} // namespace maintenance
