// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// What a domain name is and its two written forms, for every part of lumo-sites that takes
// names from outside: the lists, the zones, the lookups and the store.
namespace sites::names {

inline constexpr qsizetype MaxNameChars = 253;

// A lower-case LDH label: letters, digits and hyphens, 1 to 63 of them, no hyphen at either end.
bool isLdhLabel(QStringView label);

// `name` in lower case, U-labels (IDN A-labels "xn--..." decoded), no final dot; empty when it
// is not a domain name of two labels or more (LDH labels, or an IDN that encodes and decodes
// cleanly). Blanks around it are dropped.
QString unicodeName(QStringView name);
// The same name as it goes on the wire: lower case, A-labels, no final dot; empty when
// unicodeName() is.
QString aceName(QStringView name);
// Whether the last label of `name` (as the two above give it) is all digits: an address such
// as 10.0.0.1, not a name.
bool endsInNumber(QStringView name);

} // namespace sites::names
