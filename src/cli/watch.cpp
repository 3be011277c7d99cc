// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "cli/interrupt.h"
#include "cli/output.h"
#include "watch/watchpost.h"

#include <QDate>
#include <QEventLoop>
#include <QSet>
#include <QTimer>

namespace cli {
namespace {

const QString subcommands = QStringLiteral("add, remove, list, check, events");

QString nullable(const std::optional<QString>& value) {
    return value ? jsonString(*value) : QStringLiteral("null");
}

// The rows of `list` and `check`.
QString watchedText(const QList<watch::Watched>& names, Format format) {
    if (format == Format::Csv)
        return watch::csv(names);
    if (format == Format::Json) {
        const QStringList fields{QStringLiteral("name"),        QStringLiteral("status"),
                                 QStringLiteral("deleted"),     QStringLiteral("approximate"),
                                 QStringLiteral("checked"),     QStringLiteral("event"),
                                 QStringLiteral("releaseTime")};
        JsonArray array;
        QString json = array.open();
        for (const watch::Watched& w : names)
            json += array.item(jsonObject(
                fields,
                {jsonString(w.name), jsonString(w.status), nullable(w.deleted),
                 w.approximate ? QStringLiteral("true") : QStringLiteral("false"),
                 nullable(w.checked),
                 w.event ? jsonString(w.event->text) : QStringLiteral("null"),
                 nullable(w.releaseTime)},
                QList<bool>(fields.size(), true)));
        return json + array.close();
    }
    if (names.isEmpty())
        return QString();
    QList<QStringList> table{{QStringLiteral("域名"), QStringLiteral("状态"),
                              QStringLiteral("删除时间"), QStringLiteral("上次检查"),
                              QStringLiteral("最近事件")}};
    for (const watch::Watched& w : names)
        table.append({w.name, w.status, watch::deletedText(w).isEmpty() ? QStringLiteral("-")
                                                                        : watch::deletedText(w),
                      watch::localTime(w.checked), w.event ? w.event->text : QStringLiteral("-")});
    return alignedTable(table);
}

// What a change did to each name: `done` and `left` with their words for people and scripts.
QString changeText(const watch::ChangeAnswer& answer, Format format,
                   const std::array<QString, 4>& words) {
    Records records{{QStringLiteral("name"), QStringLiteral("result")}};
    for (const QString& name : answer.done)
        records.rows.append({name, words[0]});
    for (const QString& name : answer.left)
        records.rows.append({name, words[1]});
    if (format == Format::Csv)
        return records.csv();
    if (format == Format::Json)
        return records.json();
    QList<QStringList> table;
    for (const QStringList& row : records.rows)
        table.append({row.at(0), row.at(1) == words[0] ? words[2] : words[3]});
    return alignedTable(table);
}

// A second's sleep that Ctrl+C cuts short.
void pause() {
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&loop] {
        if (interrupt::requested())
            loop.quit();
    });
    poll.start(50);
    loop.exec();
}

} // namespace

Watch::Watch()
    : Command(QStringLiteral("watch"),
              QStringLiteral("关注域名：它进入赎回期、有了删除日期或可以注册时，桌面通知会告诉你")) {
    setPositional(QStringLiteral("add|remove|list|check|events [域名...]"),
                  QStringLiteral("add 关注、remove 取消关注域名；list 列出关注的域名；"
                                 "check 立即检查（默认：到期该检查的），等结果出来再列出；"
                                 "events 列出发生过的变化"));
    setDetails(QStringLiteral(
        "list 的列：域名、状态、删除时间（≈ 为估计值，注册局给出时刻时带上时刻）、"
        "上次检查（本地时间）、最近事件；csv 和 json 的字段为 name, status, deleted, "
        "approximate, checked, event, releaseTime，时间是 UTC（ISO 8601）。\n"
        "更改关注列表要用 lumo-sites 生成的令牌，只有你自己能读。"));
    addOption(QCommandLineOption(
        QStringLiteral("token-file"),
        QStringLiteral("关注令牌文件，默认 %1").arg(watch::defaultTokenPath()),
        QStringLiteral("FILE"), watch::defaultTokenPath()));
    addOption(QCommandLineOption(QStringLiteral("since"),
                                 QStringLiteral("events：只列出这一天（YYYY-MM-DD）起的"),
                                 QStringLiteral("DATE")));
}

std::optional<watch::WatchList> Services::watchList() {
    const QString url = watch::watchUrl(listing_, QStringLiteral("watch.json"));
    const std::optional<QString> answer = fetch(url, QStringLiteral("UTF-8"));
    if (!answer)
        return std::nullopt;
    std::optional<watch::WatchList> list = watch::parseWatchList(answer->toUtf8());
    if (!list)
        fail(url, QStringLiteral("回答不是关注列表"));
    return list;
}

std::optional<QList<watch::Event>> Services::watchEvents(const QString& since) {
    const QString url = watch::watchUrl(listing_, QStringLiteral("watch-events.json")) +
                        (since.isEmpty() ? QString() : QStringLiteral("?since=") + since);
    const std::optional<QString> answer = fetch(url, QStringLiteral("UTF-8"));
    if (!answer)
        return std::nullopt;
    std::optional<QList<watch::Event>> events = watch::parseEvents(answer->toUtf8());
    if (!events)
        fail(url, QStringLiteral("回答不是事件列表"));
    return events;
}

std::optional<watch::ChangeAnswer> Services::watchChange(const QString& path,
                                                         const QByteArray& token,
                                                         const QStringList& names,
                                                         QStringView doneField,
                                                         QStringView leftField) {
    const QString url = watch::watchUrl(listing_, QStringLiteral("watch/") + path);
    const Module1::Page page = watch::post(url, token, watch::namesBody(names));
    const std::optional<watch::ChangeAnswer> answer =
        watch::parseChangeAnswer(page.text.toUtf8(), doneField, leftField);
    if (page.failure == Module1::Failure::None && answer)
        return answer;
    if (page.failure == Module1::Failure::ErrorStatus && answer && !answer->invalid.isEmpty()) {
        complain(QStringLiteral("不是域名：%1").arg(answer->invalid.join(QStringLiteral(", "))));
        exitCode_ = Usage;
    } else if (page.failure == Module1::Failure::ErrorStatus && answer &&
               !answer->error.isEmpty()) {
        fail(url, Module1::describe(page) + QStringLiteral("：") + answer->error.simplified());
    } else {
        fail(url, page.failure == Module1::Failure::None ? QStringLiteral("回答不是 JSON")
                                                         : Module1::describe(page));
    }
    return std::nullopt;
}

namespace {

// What is wrong with `watch WHAT NAMES…` as typed; empty when nothing is.
QString argumentProblem(const QString& what, const QCommandLineParser& parser,
                        const QStringList& names) {
    if (!subcommands.split(QStringLiteral(", ")).contains(what))
        return what.isEmpty() ? QStringLiteral("watch 缺少子命令：%1").arg(subcommands)
                              : QStringLiteral("watch 没有子命令 %1；可选 %2").arg(what, subcommands);
    const QString since = parser.value(QStringLiteral("since"));
    if (parser.isSet(QStringLiteral("since")) && what != u"events")
        return QStringLiteral("--since 只用于 watch events");
    if (!since.isEmpty() &&
        !(since.size() == 10 && QDate::fromString(since, Qt::ISODate).isValid()))
        return QStringLiteral("--since 要 YYYY-MM-DD 形式的日期，不是 %1").arg(since);
    if ((what == u"list" || what == u"events") && !names.isEmpty())
        return QStringLiteral("watch %1 不接受参数 %2").arg(what, names.constFirst());
    if ((what == u"add" || what == u"remove") && names.isEmpty())
        return QStringLiteral("watch %1 要至少一个域名").arg(what);
    QStringList invalid;
    for (const QString& name : names)
        if (!watch::isDomainName(name))
            invalid << (name.isEmpty() ? QStringLiteral("\"\"") : name);
    if (!invalid.isEmpty())
        return QStringLiteral("不是域名：%1").arg(invalid.join(QStringLiteral(", ")));
    return {};
}

int written(const QString& text) {
    Output out;
    out.write(text);
    return out.failure();
}

// `watch list` and `watch events`: what the service keeps, read only.
int showWatched(const QString& what, const QString& since, Format format, Services& services) {
    if (what == u"list") {
        const std::optional<watch::WatchList> list = services.watchList();
        return list ? written(watchedText(list->names, format)) : services.exitCode();
    }
    const std::optional<QList<watch::Event>> events = services.watchEvents(since);
    if (!events)
        return services.exitCode();
    Records records{{QStringLiteral("name"), QStringLiteral("kind"), QStringLiteral("text"),
                     QStringLiteral("at")}};
    QList<QStringList> table;
    for (const watch::Event& e : *events) {
        records.rows.append({e.name, e.kind, e.text, e.at});
        table.append({watch::localTime(e.at), e.name, e.text});
    }
    return written(format == Format::Csv    ? records.csv()
                   : format == Format::Json ? records.json()
                                            : alignedTable(table));
}

// `watch add` and `watch remove`.
int changeWatched(const QString& what, const QByteArray& token, const QStringList& names,
                  Format format, Services& services) {
    const bool add = what == u"add";
    const std::optional<watch::ChangeAnswer> answer = services.watchChange(
        what, token, names, add ? u"added" : u"removed", add ? u"already" : u"unknown");
    if (!answer)
        return services.exitCode();
    return written(add ? changeText(*answer, format,
                                    {QStringLiteral("added"), QStringLiteral("already"),
                                     QStringLiteral("已关注"), QStringLiteral("早已关注")})
                       : changeText(*answer, format,
                                    {QStringLiteral("removed"), QStringLiteral("unknown"),
                                     QStringLiteral("已取消关注"), QStringLiteral("没有关注")}));
}

// The rows of `queued` once each has an answer newer than `asked`, or as far as they got when
// the queue ran dry, the service failed or the user stopped it.
std::optional<QList<watch::Watched>> answersTo(const QSet<QString>& queued, const QDateTime& asked,
                                               Services& services) {
    QList<watch::Watched> rows;
    int idle = 0; // polls in a row that found the queue empty and names still unanswered
    while (!interrupt::requested()) {
        const std::optional<watch::WatchList> list = services.watchList();
        if (!list)
            return std::nullopt;
        rows.clear();
        qsizetype answered = queued.size();
        for (const watch::Watched& w : list->names)
            if (queued.contains(w.name)) {
                rows.append(w);
                answered -= !watch::checkedSince(w, asked);
            }
        if (answered == queued.size())
            break;
        // An empty queue that still owes answers has dropped them: waiting longer brings none.
        if (list->pending == 0 && ++idle >= 3) {
            QStringList missing;
            for (const watch::Watched& w : rows)
                if (!watch::checkedSince(w, asked))
                    missing << w.name;
            services.fail(watch::watchUrl(services.listingUrl(), QStringLiteral("watch.json")),
                          QStringLiteral("检查队列已空，这些域名还没有结果：%1")
                              .arg(missing.join(QStringLiteral(", "))));
            break;
        }
        if (list->pending > 0)
            idle = 0;
        showProgress(QStringLiteral("正在检查 %1/%2，队列里还有 %3 个")
                         .arg(answered)
                         .arg(queued.size())
                         .arg(list->pending));
        pause();
    }
    return rows;
}

// `watch check`: ask, then wait until every name queued has an answer newer than the asking.
int checkWatched(const QByteArray& token, const QStringList& names, Format format,
                 Services& services) {
    const QDateTime asked = QDateTime::currentDateTimeUtc().addMSecs(
        -QDateTime::currentDateTimeUtc().time().msec());
    const std::optional<watch::ChangeAnswer> answer =
        services.watchChange(QStringLiteral("check"), token, names, u"queued", u"");
    if (!answer)
        return services.exitCode();
    const std::optional<QList<watch::Watched>> rows =
        answersTo(QSet<QString>(answer->done.begin(), answer->done.end()), asked, services);
    clearProgress();
    if (!rows)
        return services.exitCode();
    Output out;
    out.write(watchedText(*rows, format));
    if (out.failed())
        return out.failure();
    return interrupt::requested() ? int(Interrupted) : services.exitCode();
}

} // namespace

int Watch::run(const QCommandLineParser& parser, Format format, Services& services) {
    QStringList names = parser.positionalArguments();
    const QString what = names.isEmpty() ? QString() : names.takeFirst();
    if (const QString problem = argumentProblem(what, parser, names); !problem.isEmpty())
        return usage(problem);
    if (what == u"list" || what == u"events")
        return showWatched(what, parser.value(QStringLiteral("since")), format, services);
    const watch::Token token = watch::readToken(parser.value(QStringLiteral("token-file")));
    if (!token.problem.isEmpty()) {
        complain(token.problem);
        return ServiceFailed;
    }
    if (what == u"add" || what == u"remove")
        return changeWatched(what, token.value, names, format, services);
    return checkWatched(token.value, names, format, services);
}

} // namespace cli
