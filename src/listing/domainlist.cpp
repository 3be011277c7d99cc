// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/domainlist.h"

#include "scrape/split.h"

namespace listing {

std::optional<qint64> countValue(QStringView caption) {
    const QStringView numeral = caption.trimmed();
    const QStringView digits =
        numeral.startsWith(u'+') || numeral.startsWith(u'-') ? numeral.sliced(1) : numeral;
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    bool ok = false;
    const qint64 value = numeral.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

int pageCount(QStringView caption) {
    const std::optional<qint64> count = countValue(caption);
    if (!count || *count <= 0)
        return 1;
    const qint64 pages = (*count + namesPerPage - 1) / namesPerPage;
    return pages > 32767 ? 1 : int(pages);
}

EndTest::EndTest(int length, QString caption)
    : textual_(length == 3), caption_(std::move(caption)), value_(countValue(caption_)) {}

bool EndTest::met(qsizetype entries) const {
    if (textual_)
        return QString::number(entries) == caption_;
    return value_ && entries == *value_;
}

qsizetype EndTest::take(qsizetype entries, qsizetype offered) const {
    for (qsizetype k = 1; k <= offered; ++k)
        if (met(entries + k))
            return k;
    return offered;
}

QStringList namesOnPage(QStringView page, QStringView marker, qsizetype maxPieces) {
    QStringList names;
    scrape::Pieces pieces(page, marker);
    pieces.next(); // what comes before the first name
    for (qsizetype k = 1; k <= maxPieces; ++k) {
        const std::optional<QStringView> link = pieces.next();
        if (!link)
            break;
        if (const auto name = scrape::piece(*link, u">", 0))
            names.append(name->toString());
    }
    return names;
}

} // namespace listing
