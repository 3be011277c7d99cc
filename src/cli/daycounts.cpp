// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/services.h"

#include "cli/output.h"

#include "listing/urls.h"

namespace cli {
namespace {

int gridIndexOf(const QString& suffix) {
    for (int i = 1; i <= 7; ++i)
        if (listing::suffix(i) == suffix)
            return i;
    return 0;
}

} // namespace

QStringList DayCounts::suffixes() const {
    QStringList all;
    for (int i = 1; i <= 7; ++i)
        all << listing::suffix(i);
    if (stored)
        for (const QString& suffix : stored->bySuffix.keys())
            if (!gridIndexOf(suffix))
                all << suffix;
    return all;
}

std::optional<QString> DayCounts::caption(const QString& suffix, int length) const {
    if (stored) {
        // A grid suffix the service leaves out has no source either; a length it leaves out
        // has no names.
        const auto counts = stored->bySuffix.value(suffix);
        if (!counts)
            return std::nullopt;
        return QString::number(counts->value(length));
    }
    const int index = gridIndexOf(suffix);
    if (!index || length < 3 || length > 7)
        return std::nullopt;
    const std::optional<QString>& shown = summary.count(length, index);
    if (shown && *shown == QLatin1String("-")) // how the grid marks a suffix without a source
        return std::nullopt;
    return shown;
}

std::optional<DayCounts> Services::counts(const QString& choice) {
    const std::optional<Day> day = this->day(choice);
    if (!day)
        return std::nullopt;
    const QString url = listing_ + QStringLiteral("lumo/counts.json?date=") + day->date;
    const std::optional<QString> answer = fetch(url, QStringLiteral("UTF-8"), true);
    if (!answer)
        return std::nullopt;
    const QByteArray body = answer->toUtf8();
    if (listing::looksLikeJson(body)) {
        std::optional<listing::ServiceCounts> stored = listing::parseCounts(body);
        if (!stored) {
            fail(url, QStringLiteral("回答不是各后缀的数量表"));
            return std::nullopt;
        }
        if (stored->generated)
            complain(QStringLiteral("演示数据：这些域名是生成的，不是注册局的删除列表"));
        const QString date = stored->date;
        return DayCounts{date, std::move(stored), {}};
    }
    // An older service, without counts.json: the grid of the six days only.
    if (day->key.isEmpty()) {
        complain(QStringLiteral("没有这一天：%1；这个服务只有 days 列出的六天").arg(day->date));
        exitCode_ = Usage;
        return std::nullopt;
    }
    std::optional<listing::DaySummary> summary = this->summary(*day);
    if (!summary)
        return std::nullopt;
    return DayCounts{*summary->printedDate, std::nullopt, std::move(*summary)};
}

} // namespace cli
