// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command.h"

#include "launch/bundledsites.h"

#include "lumo/config.h"

#include <QRegularExpression>

namespace cli {

Command::Command(QString name, QString summary)
    : name_(std::move(name)), summary_(std::move(summary)) {}

void Command::addOption(const QCommandLineOption& option) {
    options_.append(option);
}

void Command::addOptionalValueOption(const QCommandLineOption& option,
                                     const QStringList& detached) {
    options_.append(option);
    optionalValues_.insert(option.names().constLast(), detached);
}

void Command::setPositional(const QString& syntax, const QString& description) {
    positional_ = syntax;
    positionalHelp_ = description;
}

QList<QCommandLineOption> Command::allOptions() const {
    QList<QCommandLineOption> all = options_;
    all << QCommandLineOption(QStringLiteral("format"),
                              QStringLiteral("输出格式：text（给人看，默认）、csv 或 json"),
                              QStringLiteral("FORMAT"), QStringLiteral("text"))
        << QCommandLineOption(QStringLiteral("listing-url"),
                              QStringLiteral("删除列表服务的地址，默认 %1")
                                  .arg(QString::fromUtf8(lumo::config::ListingUrl)),
                              QStringLiteral("URL"), QString::fromUtf8(lumo::config::ListingUrl))
        << QCommandLineOption(QStringLiteral("lookup-url"),
                              QStringLiteral("删除时间查询服务的地址，默认 %1")
                                  .arg(QString::fromUtf8(lumo::config::LookupUrl)),
                              QStringLiteral("URL"), QString::fromUtf8(lumo::config::LookupUrl))
        << QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("显示本命令的帮助"));
    return all;
}

QString Command::helpText() const {
    QString text = QStringLiteral("用法：lumo-cli %1 [选项]").arg(name_);
    if (!positional_.isEmpty())
        text += u' ' + positional_;
    text += QStringLiteral("\n\n") + summary_ + u'\n';
    if (!details_.isEmpty())
        text += details_ + u'\n';
    text += u'\n';
    QList<QStringList> rows;
    if (!positional_.isEmpty())
        rows.append({QStringLiteral("  ") + positional_, positionalHelp_});
    for (const QCommandLineOption& option : allOptions()) {
        QStringList names;
        for (const QString& n : option.names())
            names << (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
        QString syntax = QStringLiteral("  ") + names.join(QStringLiteral(", "));
        if (optionalValues_.contains(option.names().constLast()))
            syntax += QStringLiteral(" [%1]").arg(option.valueName());
        else if (!option.valueName().isEmpty())
            syntax += QStringLiteral(" <%1>").arg(option.valueName());
        rows.append({syntax, option.description()});
    }
    return text + QStringLiteral("选项：\n") + alignedTable(rows);
}

QStringList Command::withOptionalValues(QStringList arguments) const {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == u"--")
            break;
        if (!arguments.at(i).startsWith(QStringLiteral("--")))
            continue;
        const auto detached = optionalValues_.constFind(arguments.at(i).mid(2));
        if (detached == optionalValues_.constEnd())
            continue;
        if (i + 1 < arguments.size() && detached->contains(arguments.at(i + 1)))
            arguments[i] += u'=' + arguments.takeAt(i + 1);
        else
            arguments[i] += u'=';
    }
    return arguments;
}

int Command::execute(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(allOptions());
    if (!parser.parse(withOptionalValues(arguments))) {
        if (!parser.unknownOptionNames().isEmpty())
            return usage(QStringLiteral("%1 没有选项 %2；“lumo-cli %1 --help”列出它的选项")
                             .arg(name_, (parser.unknownOptionNames().constFirst().size() == 1
                                              ? QStringLiteral("-")
                                              : QStringLiteral("--")) +
                                             parser.unknownOptionNames().constFirst()));
        // The parser's other complaints name the option between quotes.
        const QString option =
            QRegularExpression(QStringLiteral("'([^']*)'")).match(parser.errorText()).captured(1);
        if (parser.errorText().startsWith(QLatin1String("Missing value")))
            return usage(QStringLiteral("选项 %1 缺少值").arg(option));
        if (parser.errorText().startsWith(QLatin1String("Unexpected value")))
            return usage(QStringLiteral("选项 %1 不带值").arg(option));
        return usage(parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help"))) {
        Output out;
        out.write(helpText());
        return out.failure();
    }
    if (positional_.isEmpty() && !parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("%1 不接受参数 %2")
                         .arg(name_, parser.positionalArguments().constFirst()));
    const std::optional<Format> format = formatNamed(parser.value(QStringLiteral("format")));
    if (!format)
        return usage(QStringLiteral("没有格式 %1；可选 text, csv, json")
                         .arg(parser.value(QStringLiteral("format"))));
    Services services(parser.value(QStringLiteral("listing-url")),
                      parser.value(QStringLiteral("lookup-url")));
    // As for the window: where no socket unit serves the bundled sites, they come up, shared
    // with the user's other programs.
    BundledSites sites;
    if (sites.startFor({parser.value(QStringLiteral("listing-url")),
                        parser.value(QStringLiteral("lookup-url"))}) ==
        BundledSites::Outcome::Foreign) {
        complain(sites.problem());
        return ServiceFailed;
    }
    return run(parser, *format, services);
}

int usage(const QString& message) {
    complain(message);
    return Usage;
}

} // namespace cli
