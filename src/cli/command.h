// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/output.h"
#include "cli/services.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace cli {

// One command of lumo-cli: its name, a line saying what it does, its options, and the work.
// Every command also takes --format, --listing-url, --lookup-url and --help.
class Command {
public:
    Command(QString name, QString summary);
    virtual ~Command() = default;

    const QString& name() const { return name_; }
    const QString& summary() const { return summary_; }
    QString helpText() const;

    // `arguments` start with the command's name; gives the program's exit code.
    int execute(const QStringList& arguments);

protected:
    void addOption(const QCommandLineOption& option);
    // An option whose value may be left out ("--pinyin", "--pinyin=2"); after it, a separate
    // argument is taken as its value only when it is one of `detached` ("--pinyin 2").
    // A value left out reads as the empty text.
    void addOptionalValueOption(const QCommandLineOption& option, const QStringList& detached);
    // More about the command, for its own help only.
    void setDetails(const QString& details) { details_ = details; }
    // What the command takes besides its options, for the help; none unless set.
    void setPositional(const QString& syntax, const QString& description);

    virtual int run(const QCommandLineParser& parser, Format format, Services& services) = 0;

private:
    QList<QCommandLineOption> allOptions() const;
    QStringList withOptionalValues(QStringList arguments) const;

    QString name_;
    QString summary_;
    QString details_;
    QString positional_;
    QString positionalHelp_;
    QList<QCommandLineOption> options_;
    QHash<QString, QStringList> optionalValues_;
};

// A usage error: the message on stderr, and the exit code for it.
int usage(const QString& message);

// Every command, in the order the help lists them.
std::vector<std::unique_ptr<Command>> allCommands();

} // namespace cli
