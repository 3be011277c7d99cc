// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/output.h"

#include <QCoreApplication>

namespace cli {

std::vector<std::unique_ptr<Command>> allCommands() {
    std::vector<std::unique_ptr<Command>> all;
    all.push_back(std::make_unique<Days>());
    all.push_back(std::make_unique<Counts>());
    all.push_back(std::make_unique<List>());
    all.push_back(std::make_unique<Lookup>());
    all.push_back(std::make_unique<Sources>());
    all.push_back(std::make_unique<Watch>());
    return all;
}

namespace {

QString programHelp(const std::vector<std::unique_ptr<Command>>& commands) {
    QList<QStringList> rows;
    for (const auto& command : commands)
        rows.append({QStringLiteral("  ") + command->name(), command->summary()});
    return QStringLiteral("用法：lumo-cli 命令 [选项]\n\n"
                          "在终端和脚本里查看过期域名：可查询的日期、每天的删除数量、"
                          "某一格的全部域名和单个域名的删除时间，关注想要的域名，规则与 Lumo 窗口相同。\n\n"
                          "命令：\n") +
           alignedTable(rows) + QStringLiteral("\n选项：\n") +
           alignedTable({{QStringLiteral("  -h, --help"), QStringLiteral("显示本帮助")},
                         {QStringLiteral("  -v, --version"), QStringLiteral("显示版本")}}) +
           QStringLiteral("\n“lumo-cli 命令 --help”列出该命令的选项。\n\n"
                          "每个页面有三个限制：30 秒内收不到任何数据（连接也算在内）、开始后 "
                          "120 秒还没有传完、或超过 32 MiB，就算失败；失败的页面连同地址写在"
                          "标准错误输出里，退出码 1。\n");
}

// The addresses may also come before the command, for an alias or a wrapper script:
// "lumo-cli --listing-url URL list ..." is "lumo-cli list --listing-url URL ...".
QStringList addressesAfterCommand(QStringList arguments) {
    QStringList addresses;
    while (!arguments.isEmpty()) {
        const QString& first = arguments.constFirst();
        if (first.startsWith(QLatin1String("--listing-url=")) ||
            first.startsWith(QLatin1String("--lookup-url="))) {
            addresses << arguments.takeFirst();
        } else if ((first == u"--listing-url" || first == u"--lookup-url") &&
                   arguments.size() > 1) {
            addresses << arguments.takeFirst();
            addresses << arguments.takeFirst();
        } else {
            break;
        }
    }
    if (!arguments.isEmpty())
        arguments = arguments.mid(0, 1) + addresses + arguments.mid(1);
    return arguments;
}

int run(const QStringList& given) {
    const auto commands = allCommands();
    const QStringList arguments = addressesAfterCommand(given);
    const QString first = arguments.value(0);
    if (first == u"-h" || first == u"--help" || first == u"help") {
        for (const auto& command : commands)
            if (arguments.size() > 1 && command->name() == arguments.at(1))
                return command->execute({command->name(), QStringLiteral("--help")});
        Output out;
        out.write(programHelp(commands));
        return out.failure();
    }
    if (first == u"-v" || first == u"--version") {
        Output out;
        out.write(QStringLiteral("lumo-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return out.failure();
    }
    for (const auto& command : commands)
        if (command->name() == first)
            return command->execute(arguments);
    QStringList names;
    for (const auto& command : commands)
        names << command->name();
    return usage(
        (first.isEmpty() ? QStringLiteral("缺少命令") : QStringLiteral("没有命令 %1").arg(first)) +
        QStringLiteral("；可用命令：%1（lumo-cli --help 显示帮助）")
            .arg(names.join(QStringLiteral(", "))));
}

} // namespace
} // namespace cli

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMO_VERSION));
    cli::interrupt::install();
    const int code = cli::run(QCoreApplication::arguments().mid(1));
    // A finished request's connection waits for a deferred delete.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}
