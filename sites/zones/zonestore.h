// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/store.h"
#include "zones/zoneimport.h"

#include <QString>

// The zones beside lumo-sites' store: their estimated rows filed in it, and the zones as its
// sources table and served suffixes show them.
namespace sites::zones {

// Files a zone's estimated rows under "czds-ZONE", marked approximate, read from its pending
// file row by row so that millions of them are never held in memory; the import covers its
// estimate day.
class StoreSink : public DeletionSink {
public:
    explicit StoreSink(store::Store& store) : store_(store) {}
    bool replaceZone(const QString& zone, const QString& pendingFile, QString* error) override;

private:
    store::Store& store_;
};

// The zones imported into `dataDir`, as their status files tell: a zone serves its suffix from
// its first accepted day on.
store::FiledElsewhere importedZones(const QString& dataDir);

} // namespace sites::zones
