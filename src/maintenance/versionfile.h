// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace maintenance {

// The version this build compares the maker site's version file with.
QString referenceVersion();

// The first line (up to the first CR LF) of the maker site's version file when the user
// should be asked about it: it differs from the reference version in any way and could be
// a version at all. An empty answer, or a line too long or holding markup (an error page),
// gives nullopt, as does the reference version itself.
std::optional<QString> newVersionLine(QStringView page);

} // namespace maintenance
