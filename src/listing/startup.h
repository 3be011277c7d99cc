// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace listing {

// The date slot texts cut from the listing service's home page, in the order they are cut:
// the five table dates (for Text3, Text2, Text4, Text5, Text6, each with its "2011" put
// back), then today's date (for Text1). Cutting stops at the first piece the page lacks,
// so a short list means the page was incomplete.
struct StartupDates {
    QStringList slotTexts;
    bool complete() const { return slotTexts.size() == 6; }
};

StartupDates parseStartupDates(QStringView page);

} // namespace listing
