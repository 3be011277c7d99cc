// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace sites {

// A name as a deletion list gives it: what the lists' parsers and the zones' estimates make
// and what the store keeps. A plain struct, so that either side includes it alone.
struct ListedName {
    QString name;   // lower case, Unicode form (A-labels decoded to U-labels), no trailing dot
    QString suffix; // the registry's or the zone's, with its dot: ".cn", ".com.cn", ".se", ".com"
    int length = 0; // characters of the label left of the suffix, in Unicode form
    QDate day;      // the day it is deleted (released)
    QTime time;     // when in that day, where the list says (.top: China Standard Time)
};

} // namespace sites

// Lists of a few hundred thousand names grow by moving memory, not name by name.
Q_DECLARE_TYPEINFO(sites::ListedName, Q_RELOCATABLE_TYPE);
