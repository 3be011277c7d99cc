// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>
#include <array>

namespace lookup {

// What the lookup service reports for one name, as it prints it: the five cells in page
// order (age, a field kept out of view, registration, expiry, deletion) and the countdown.
// A value the page does not carry is empty.
struct LookupPage {
    std::array<QString, 5> fields;
    QString countdown;
};

// Cuts the five cells and the countdown out of the service's page. Cells lose their bold
// tags and the "(近似值)" mark; the countdown loses its U+0020 blanks. Nothing else changes.
LookupPage parseLookupPage(QStringView page);

} // namespace lookup
