// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <optional>

#include <QString>
#include <QStringList>
#include <QStringView>

// How a cell's names leave the program: plain text and CSV, the same bytes from the window's
// export and from lumo-cli.
namespace listing {

// The names one to a line, each line ended by "\n".
QString namesAsText(const QStringList& names);

// One CSV field as RFC 4180 writes it: in double quotes, with its quotes doubled, when it
// holds a comma, a double quote, CR or LF; as it is otherwise.
QString csvField(QStringView field);
// Fields joined by commas, ended by CR LF.
QString csvRow(const QStringList& fields);

// The columns of a list in CSV: name, length, suffix, day.
QString listCsvHeader();
// One row a name; `suffix` as the grid heads it (".com"), `day` as the day's summary printed it.
QString listCsvRows(const QStringList& names, int length, const QString& suffix,
                    const QString& day);

// A file name for a cell's list: "2011-05-10_com_5" for the 5-letter .com names of that
// day, without an extension; characters a file name cannot hold become "_".
QString listFileStem(const QString& day, const QString& suffix, int length);

// Writes `bytes` to `path` whole or not at all; the reason when it could not.
std::optional<QString> saveWhole(const QString& path, const QByteArray& bytes);

} // namespace listing
