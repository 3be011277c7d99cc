// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/module1.h"

#include <QByteArray>
#include <QString>

namespace watch {

// One change sent to lumo-sites: a POST of a JSON body with the user's token in X-Lumo-Token,
// on a connection of its own, with the fetches' limits. The caller's window keeps handling
// its events while it waits, as for a fetch. The answer's body is UTF-8 text, an error
// status's included; the token appears in no text it gives.
// A change is small and this machine's own: no lane stops it.
Module1::Page post(const QString& url, const QByteArray& token, const QByteArray& body);

// Where the watch addresses live: under the listing service's base ("…/lumo/watch.json").
QString watchUrl(QString listingBase, const QString& path);

} // namespace watch
