// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "watch/watchlist.h"

#include <QDateTime>

namespace cli {
namespace {

QString statusText(const QString& status) {
    if (status == u"ok")
        return QStringLiteral("已更新");
    if (status == u"unchanged")
        return QStringLiteral("无变化");
    if (status == u"failed")
        return QStringLiteral("失败");
    return QStringLiteral("尚未抓取");
}


} // namespace

Sources::Sources()
    : Command(QStringLiteral("sources"),
              QStringLiteral("列出删除列表的数据来源：地址、上次抓取的时间和结果、域名数")) {
    setDetails(QStringLiteral("text 里的时间是本地时间；csv 和 json 照服务给的 UTC 时间"
                              "（ISO 8601），从未有过的为空或 null。\n"
                              "服务给出生成的演示数据时，第一行是它（generated 为 true）。"));
}

std::optional<QList<listing::SourceState>> Services::sources() {
    const QString url = listing_ + QStringLiteral("lumo/sources.json");
    const std::optional<QString> answer = fetch(url, QStringLiteral("UTF-8"), true);
    if (!answer)
        return std::nullopt;
    const QByteArray body = answer->toUtf8();
    if (!listing::looksLikeJson(body)) {
        fail(url, QStringLiteral("这个服务没有数据来源的列表（只有演示数据的旧服务？）"));
        return std::nullopt;
    }
    std::optional<QList<listing::SourceState>> sources = listing::parseSources(body);
    if (!sources)
        fail(url, QStringLiteral("回答不是数据来源的列表"));
    return sources;
}

int Sources::run(const QCommandLineParser&, Format format, Services& services) {
    const std::optional<QList<listing::SourceState>> sources = services.sources();
    if (!sources)
        return services.exitCode();

    QString text;
    if (format == Format::Text) {
        QList<QStringList> table{{QStringLiteral("来源"), QStringLiteral("状态"),
                                  QStringLiteral("域名数"), QStringLiteral("上次成功"),
                                  QStringLiteral("上次尝试"), QStringLiteral("地址"),
                                  QStringLiteral("错误")}};
        for (const listing::SourceState& s : *sources)
            table.append({s.generated ? s.source + QStringLiteral("（演示数据）") : s.source,
                          statusText(s.status), QString::number(s.names),
                          watch::localTime(s.lastSuccess), watch::localTime(s.lastAttempt),
                          s.url.isEmpty() ? QStringLiteral("-") : s.url,
                          s.error.value_or(QString()).simplified()});
        text = alignedTable(table, {false, false, true});
    } else {
        const QStringList fields{QStringLiteral("source"),      QStringLiteral("url"),
                                 QStringLiteral("lastAttempt"), QStringLiteral("lastSuccess"),
                                 QStringLiteral("status"),      QStringLiteral("names"),
                                 QStringLiteral("error"),       QStringLiteral("generated")};
        Records records{fields};
        JsonArray array;
        QString json = array.open();
        for (const listing::SourceState& s : *sources) {
            const QList<std::optional<QString>> values{
                s.source,
                s.url.isEmpty() ? std::nullopt : std::optional<QString>(s.url),
                s.lastAttempt,
                s.lastSuccess,
                s.status,
                QString::number(s.names),
                s.error,
                s.generated ? QStringLiteral("true") : QStringLiteral("false")};
            QStringList row;
            QStringList jsonRow;
            QList<bool> raw;
            for (qsizetype i = 0; i < values.size(); ++i) {
                row << values.at(i).value_or(QString());
                jsonRow << values.at(i).value_or(QStringLiteral("null"));
                raw << (i == 5 || i == 7 || !values.at(i));
            }
            records.rows.append(row);
            json += array.item(jsonObject(fields, jsonRow, raw));
        }
        text = format == Format::Csv ? records.csv() : json + array.close();
    }
    Output out;
    out.write(text);
    return out.failure();
}

} // namespace cli
