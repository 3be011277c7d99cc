// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

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
              QStringLiteral("列出可查询的六天：--day 的取值、日期按钮的名称和日期")) {}

int Days::run(const QCommandLineParser&, Format format, Services& services) {
    const std::optional<QList<Day>> days = services.days();
    if (!days)
        return services.exitCode();
    Records records{{QStringLiteral("day"), QStringLiteral("caption"), QStringLiteral("date")}};
    for (const Day& day : *days)
        records.rows.append({day.key, day.caption, day.date});

    Output out;
    out.write(format == Format::Text  ? alignedTable(records.rows)
              : format == Format::Csv ? records.csv()
                                      : records.json());
    return out.failure();
}

} // namespace cli
