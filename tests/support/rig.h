// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fixtureserver.h"
#include "window/form1.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A list page of `count` names "n<from>.com", "n<from+1>.com", ... behind the link marker of a
// listing at `origin`.
QByteArray listPageOf(const QString& origin, int count, int from = 1);

// A window pointed at its own loopback server, its timers stopped, and what it asks of the
// desktop recorded instead of shown: the message boxes' texts (each answered with
// `answer`) and the addresses it opens.
struct Rig {
    explicit Rig(int answer = MsgBoxOk);
    // A count cell by its row's name length (3 to 7) and its suffix index (1 to 7).
    Label* cell(int length, int index) const;

    FixtureServer server;
    // The window's token for changes to the followed names, in a file of its own.
    QTemporaryDir tokenDir;
    QString tokenPath() const { return tokenDir.filePath(QStringLiteral("watch-token")); }
    static constexpr char token[] = "00112233445566778899aabbccddeeff";
    std::unique_ptr<Form1> form;
    int answer;
    QStringList boxes;
    QStringList opened;
};
