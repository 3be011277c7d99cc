// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sitescore/namesource.h"
#include "sitescore/pages.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace sites::rdap {

class LookupService;
struct Result;

// The lookup page for `name`: what RDAP says, with the day of a deletion list that holds it
// (of `listedDays`: a registry's own list exact, a zone's estimate approximate). Answers with
// blank fields and the reason when RDAP has not answered within `deadlineMs`, so the window
// never waits in silence.
void answerLookup(LookupService& service,
                  const std::function<QList<ListedDay>(const QString&)>& listedDays,
                  const QString& name, const QDateTime& now, int deadlineMs,
                  std::function<void(const Reply&)> reply);

// The page's values for what RDAP said and the day a list gives the name, if one does. A
// registry's own list gives the day, exact; RDAP gives the status over a zone's estimate, and
// its own estimate of the day before the zone's.
LookupFacts factsOf(const Result& result, std::optional<ListedDay> listed, QDate today);

} // namespace sites::rdap
