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
    // The deletion day carried the "(近似值)" mark: an estimate, not a registry's list.
    bool deletionApproximate = false;

    // The status field's reason when the service could not ask the registry
    // ("无法查询：..."); empty otherwise.
    QString unavailable() const {
        return fields[1].startsWith(QStringLiteral("无法查询")) ? fields[1] : QString();
    }
};

// Cuts the five cells and the countdown out of the service's page. Cells lose their bold
// tags and the "(近似值)" mark; the countdown loses its U+0020 blanks. Nothing else changes.
LookupPage parseLookupPage(QStringView page);

} // namespace lookup
