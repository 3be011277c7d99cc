// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace cli {

enum ExitCode {
    Success = 0,
    ServiceFailed = 1, // a service did not answer, or not with what it should
    Usage = 2,         // the command line asks for something that does not exist
    Interrupted = 130, // Ctrl+C
    PipeClosed = 141,  // the reader went away
};

enum class Format { Text, Csv, Json };
std::optional<Format> formatNamed(const QString& name);

// One line to stderr, after the program's name; it clears a progress line first.
void complain(const QString& line);

// A line on stderr that rewrites itself, for a person watching a terminal; nothing when
// stderr goes elsewhere.
void showProgress(const QString& line);
void clearProgress();

// Standard output, written and flushed at once so that long output streams. A reader that
// has gone ends the output quietly; any other write error is reported once.
class Output {
public:
    bool write(const QString& text);
    bool failed() const { return failure_ != Success; }
    int failure() const { return failure_; }

private:
    int failure_ = Success;
};

// Columns in the width a terminal gives them (CJK characters take two cells); the columns
// marked in `right` are aligned right.
int displayWidth(QStringView text);
QString alignedTable(const QList<QStringList>& rows, const QList<bool>& right = {});

// JSON: one object with the given fields in order, the values strings unless marked numeric.
QString jsonString(QStringView text);
QString jsonObject(const QStringList& fields, const QStringList& values,
                   const QList<bool>& numeric = {});

// Rows with named fields: a header row and RFC 4180 rows, or an array of objects.
struct Records {
    QStringList fields;
    QList<bool> numeric{};
    QList<QStringList> rows{};
    QString csv() const;
    QString json() const;
};

// How a JSON array streams: "[" first, then the objects, then "]".
class JsonArray {
public:
    QString open() const { return QStringLiteral("["); }
    QString item(const QString& object);
    QString close() const;

private:
    bool any_ = false;
};

} // namespace cli
