// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "listing/urls.h"

namespace cli {

Counts::Counts()
    : Command(QStringLiteral("counts"),
              QStringLiteral("显示一天里各长度、各后缀的删除数量，照窗口里的表格排列")) {
    setDetails(QStringLiteral("“-”表示这个后缀没有数据来源，或这一天还没有数据（CSV 里为空，"
                              "JSON 里为 null），不是 0。“≈”标出估计的数量：删除日期由区域文件的"
                              "变化推算（CSV 和 JSON 里 approximate 为 true）。"));
    addOption(dayOption());
}

int Counts::run(const QCommandLineParser& parser, Format format, Services& services) {
    const std::optional<DayCounts> day = services.counts(parser.value(QStringLiteral("day")));
    if (!day)
        return services.exitCode();

    QString text;
    if (format == Format::Text) {
        QList<QStringList> grid{{QString()}};
        for (int i = 1; i <= 7; ++i)
            grid[0] << listing::suffix(i);
        for (int length = 3; length <= 7; ++length) {
            grid.append({QStringLiteral("%1位域名").arg(length)});
            for (int i = 1; i <= 7; ++i) {
                const std::optional<QString> count = day->caption(listing::suffix(i), length);
                grid.last() << (!count ? QStringLiteral("-")
                                : day->approximate(listing::suffix(i)) ? QStringLiteral("≈") + *count
                                                                       : *count);
            }
        }
        text = day->date + QStringLiteral("删除的域名\n") +
               alignedTable(grid, {false, true, true, true, true, true, true, true});
    } else {
        const QStringList fields{QStringLiteral("day"), QStringLiteral("length"),
                                 QStringLiteral("suffix"), QStringLiteral("count"),
                                 QStringLiteral("approximate")};
        Records records{fields, {false, true}};
        JsonArray array;
        QString json = array.open();
        for (int length = 3; length <= 7; ++length)
            for (int i = 1; i <= 7; ++i) {
                const std::optional<QString> count = day->caption(listing::suffix(i), length);
                const QString approximate = day->approximate(listing::suffix(i))
                                                ? QStringLiteral("true")
                                                : QStringLiteral("false");
                QStringList row{day->date, QString::number(length), listing::suffix(i),
                                count.value_or(QString()), approximate};
                records.rows.append(row);
                if (!count)
                    row[3] = QStringLiteral("null");
                json += array.item(jsonObject(fields, row, {false, true, false, !count, true}));
            }
        text = format == Format::Csv ? records.csv() : json + array.close();
    }
    Output out;
    out.write(text);
    return out.failure();
}

} // namespace cli
