// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/command.h"

namespace cli {

// The six days the window's date buttons load.
class Days : public Command {
public:
    Days();

protected:
    int run(const QCommandLineParser& parser, Format format, Services& services) override;
};

// A day's 35 counts, as the window's grid shows them.
class Counts : public Command {
public:
    Counts();

protected:
    int run(const QCommandLineParser& parser, Format format, Services& services) override;
};

// Every name of one cell of a day's grid, page by page as the window lists them.
class List : public Command {
public:
    List();

protected:
    int run(const QCommandLineParser& parser, Format format, Services& services) override;
};

// The deletion dates of names, as the window's lookup shows them.
class Lookup : public Command {
public:
    Lookup();

protected:
    int run(const QCommandLineParser& parser, Format format, Services& services) override;
};

// Where the service's names come from and how their last fetches went.
class Sources : public Command {
public:
    Sources();

protected:
    int run(const QCommandLineParser& parser, Format format, Services& services) override;
};

// The names the user follows: add, remove, list, check and their events.
class Watch : public Command {
public:
    Watch();

protected:
    int run(const QCommandLineParser& parser, Format format, Services& services) override;
};

// The option that chooses a day, shared by counts and list.
QCommandLineOption dayOption();

} // namespace cli
