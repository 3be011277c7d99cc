// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "cli/interrupt.h"
#include "cli/output.h"

namespace cli {

Lookup::Lookup()
    : Command(QStringLiteral("lookup"),
              QStringLiteral("查询域名的年龄、注册、到期和删除时间以及删除倒计时")) {
    setPositional(QStringLiteral("域名..."), QStringLiteral("要查询的域名，一个或多个"));
}

int Lookup::run(const QCommandLineParser& parser, Format format, Services& services) {
    const QStringList names = parser.positionalArguments();
    if (names.isEmpty() || names.contains(QString()))
        return usage(QStringLiteral("请输入查询域名"));

    Records records{{QStringLiteral("name"), QStringLiteral("age"), QStringLiteral("status"),
                     QStringLiteral("registered"), QStringLiteral("expires"),
                     QStringLiteral("deleted"), QStringLiteral("approximate"),
                     QStringLiteral("countdown")},
                    // "approximate" is a JSON boolean, not a string
                    {false, false, false, false, false, false, true, false}};
    // One name at a time: the service paces its registries, so a long run goes at their pace.
    for (qsizetype done = 0; const QString& name : names) {
        if (names.size() > 1)
            showProgress(QStringLiteral("正在查询 %1/%2：%3").arg(++done).arg(names.size()).arg(name));
        const std::optional<lookup::LookupPage> found = services.lookup(name);
        if (interrupt::requested())
            break;
        if (found)
            records.rows.append(
                QStringList{name} + QStringList(found->fields.begin(), found->fields.end()) +
                QStringList{found->deletionApproximate ? QStringLiteral("true")
                                                       : QStringLiteral("false"),
                            found->countdown});
    }

    clearProgress();
    QString text;
    if (format == Format::Text) {
        if (!records.rows.isEmpty()) {
            QList<QStringList> table{{QStringLiteral("域名"), QStringLiteral("域名年龄"),
                                      QStringLiteral("域名状态"), QStringLiteral("注册时间"),
                                      QStringLiteral("到期时间"), QStringLiteral("删除时间"),
                                      QStringLiteral("删除倒计时")}};
            // The estimate shows on the day itself, as in the counts: "≈2026-12-09".
            for (QStringList row : records.rows) {
                if (row.takeAt(6) == u"true" && !row.at(5).isEmpty())
                    row[5].prepend(u'≈');
                table.append(row);
            }
            text = alignedTable(table);
        }
    } else {
        text = format == Format::Csv ? records.csv() : records.json();
    }
    Output out;
    out.write(text);
    if (out.failed())
        return out.failure();
    return interrupt::requested() ? int(Interrupted) : services.exitCode();
}

} // namespace cli
