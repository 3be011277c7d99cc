// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitescore/pages.h"

#include <QUrl>
#include <QUrlQuery>

// A request to the listing's pages as a client may send it: its query is read item by item as
// QUrlQuery reads it, and every page answers without a crash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype mark = text.indexOf(u'?');
    const QUrl url(QStringLiteral("http://127.0.0.1:8613") +
                   (mark < 0 ? QStringLiteral("/deleteddomain.php?") + text : text));
    sites::Request request;
    request.path = url.path();
    request.query = sites::Query(url.query(QUrl::FullyEncoded));
    request.host = QStringLiteral("127.0.0.1:8613");
    request.now = QDateTime(QDate(2026, 12, 8), QTime(9, 30));
    const QUrlQuery reference(url.query(QUrl::FullyEncoded));
    for (const char* key : {"date", "t", "page", "tld", "length", "wd", "domain"}) {
        const QLatin1StringView name(key);
        if (request.query.value(name) != reference.queryItemValue(name, QUrl::FullyDecoded))
            __builtin_trap();
    }
    const sites::Reply reply = sites::respond(request);
    if (reply.status != 200 && reply.status != 400 && reply.status != 404)
        __builtin_trap();
    return 0;
}
