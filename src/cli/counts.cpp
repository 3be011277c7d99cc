// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "listing/urls.h"

namespace cli {

Counts::Counts()
    : Command(QStringLiteral("counts"),
              QStringLiteral("显示一天里各长度、各后缀的删除数量，照窗口里的表格排列")) {
    addOption(dayOption());
}

int Counts::run(const QCommandLineParser& parser, Format format, Services& services) {
    const std::optional<listing::DaySummary> summary =
        services.summary(parser.value(QStringLiteral("day")));
    if (!summary)
        return services.exitCode();

    QString text;
    if (format == Format::Text) {
        QList<QStringList> grid{{QString()}};
        for (int i = 1; i <= 7; ++i)
            grid[0] << listing::suffix(i);
        for (int length = 3; length <= 7; ++length) {
            grid.append({QStringLiteral("%1位域名").arg(length)});
            for (int i = 1; i <= 7; ++i)
                grid.last() << *summary->count(length, i);
        }
        text = *summary->printedDate + QStringLiteral("删除的域名\n") +
               alignedTable(grid, {false, true, true, true, true, true, true, true});
    } else {
        Records records{{QStringLiteral("day"), QStringLiteral("length"), QStringLiteral("suffix"),
                         QStringLiteral("count")},
                        {false, true}};
        for (int length = 3; length <= 7; ++length)
            for (int i = 1; i <= 7; ++i)
                records.rows.append({*summary->printedDate, QString::number(length),
                                     listing::suffix(i), *summary->count(length, i)});
        text = format == Format::Csv ? records.csv() : records.json();
    }
    Output out;
    out.write(text);
    return out.failure();
}

} // namespace cli
