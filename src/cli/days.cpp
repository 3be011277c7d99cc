// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include <algorithm>

namespace cli {

QCommandLineOption dayOption() {
    return QCommandLineOption(QStringLiteral("day"),
                              QStringLiteral("哪一天：%1（默认 today）、days 列出的日期，"
                                             "或服务存下的任何一天的实际日期（如 2026-12-07）")
                                  .arg(dayKeys()),
                              QStringLiteral("D"), QStringLiteral("today"));
}

Days::Days()
    : Command(QStringLiteral("days"),
              QStringLiteral("列出可查询的六天：--day 的取值、日期按钮的名称、日期和实际日期")) {
    setDetails(QStringLiteral("--stored 改为列出服务存下的各个实际日期，按数据来源分列，"
                              "带各自的域名数；“≈”为估计值，“-”为不知道（CSV 里为空，JSON 里为 "
                              "null）。"));
    addOption({QStringLiteral("stored"), QStringLiteral("列出服务存下的实际日期和域名数")});
}

namespace {

int storedDays(Format format, Services& services) {
    std::optional<QList<listing::StoredDay>> stored = services.stored();
    if (!stored)
        return services.exitCode();
    // Each source's days together, earliest first as the service gives them.
    std::stable_sort(stored->begin(), stored->end(),
                     [](const auto& a, const auto& b) { return a.list < b.list; });
    const QStringList fields{QStringLiteral("list"), QStringLiteral("day"),
                             QStringLiteral("names"), QStringLiteral("approximate")};
    QList<QStringList> table{{QStringLiteral("来源"), QStringLiteral("日期"),
                              QStringLiteral("域名数")}};
    Records records{fields};
    JsonArray array;
    QString json = array.open();
    for (const listing::StoredDay& d : *stored) {
        const QString names = d.names ? QString::number(*d.names) : QString();
        const QString approximate = d.approximate ? QStringLiteral("true") : QStringLiteral("false");
        table.append({d.list, d.day,
                      !d.names         ? QStringLiteral("-")
                      : d.approximate ? QStringLiteral("≈") + names
                                      : names});
        records.rows.append({d.list, d.day, names, approximate});
        json += array.item(jsonObject(fields,
                                      {d.list, d.day, d.names ? names : QStringLiteral("null"),
                                       approximate},
                                      {false, false, true, true}));
    }
    Output out;
    out.write(format == Format::Text  ? alignedTable(table, {false, false, true})
              : format == Format::Csv ? records.csv()
                                      : json + array.close());
    return out.failure();
}

} // namespace

int Days::run(const QCommandLineParser& parser, Format format, Services& services) {
    if (parser.isSet(QStringLiteral("stored")))
        return storedDays(format, services);
    const std::optional<QList<Day>> days = services.days(true);
    if (!days)
        return services.exitCode();
    // The real dates only where the service tells them.
    const bool real = std::any_of(days->begin(), days->end(),
                                  [](const Day& d) { return !d.real.isEmpty(); });
    Records records{{QStringLiteral("day"), QStringLiteral("caption"), QStringLiteral("date")}};
    if (real)
        records.fields << QStringLiteral("real");
    for (const Day& day : *days) {
        records.rows.append({day.key, day.caption, day.date});
        if (real)
            records.rows.last() << day.real;
    }

    Output out;
    out.write(format == Format::Text  ? alignedTable(records.rows)
              : format == Format::Csv ? records.csv()
                                      : records.json());
    return out.failure();
}

} // namespace cli
