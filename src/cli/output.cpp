// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output.h"

#include "listing/export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace cli {
namespace {

bool g_progressShown = false;

void toStderr(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

bool isWide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

std::optional<Format> formatNamed(const QString& name) {
    if (name == u"text")
        return Format::Text;
    if (name == u"csv")
        return Format::Csv;
    if (name == u"json")
        return Format::Json;
    return std::nullopt;
}

void complain(const QString& line) {
    clearProgress();
    toStderr((QStringLiteral("lumo-cli：") + line + u'\n').toUtf8());
}

void showProgress(const QString& line) {
    static const bool terminal = isatty(STDERR_FILENO);
    if (!terminal)
        return;
    toStderr((u'\r' + line + QStringLiteral("\x1b[K")).toUtf8());
    g_progressShown = true;
}

void clearProgress() {
    if (g_progressShown)
        toStderr("\r\x1b[K");
    g_progressShown = false;
}

bool Output::write(const QString& text) {
    if (failed())
        return false;
    const QByteArray bytes = text.toUtf8();
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) ==
            std::size_t(bytes.size()) &&
        std::fflush(stdout) == 0)
        return true;
    if (errno == EPIPE) {
        failure_ = PipeClosed;
    } else {
        failure_ = ServiceFailed;
        complain(QStringLiteral("写入标准输出失败：") + QString::fromLocal8Bit(strerror(errno)));
    }
    return false;
}

int displayWidth(QStringView text) {
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing ||
            category == QChar::Other_Format)
            continue;
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

QString alignedTable(const QList<QStringList>& rows, const QList<bool>& right) {
    QList<int> widths;
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = qMax(widths[i], displayWidth(row.at(i)));
        }
    QString out;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i) {
            const QString pad(widths[i] - displayWidth(row.at(i)), u' ');
            line += (i ? QStringLiteral("  ") : QString()) +
                    (right.value(i) ? pad + row.at(i) : row.at(i) + pad);
        }
        while (line.endsWith(u' '))
            line.chop(1);
        out += line + u'\n';
    }
    return out;
}

QString jsonString(QStringView text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + u'"';
}

QString jsonObject(const QStringList& fields, const QStringList& values,
                   const QList<bool>& numeric) {
    QString out = QStringLiteral("{");
    for (qsizetype i = 0; i < fields.size(); ++i)
        out += (i ? QStringLiteral(", ") : QString()) + jsonString(fields.at(i)) +
               QStringLiteral(": ") + (numeric.value(i) ? values.at(i) : jsonString(values.at(i)));
    return out + u'}';
}

QString Records::csv() const {
    QString out = listing::csvRow(fields);
    for (const QStringList& row : rows)
        out += listing::csvRow(row);
    return out;
}

QString Records::json() const {
    JsonArray array;
    QString out = array.open();
    for (const QStringList& row : rows)
        out += array.item(jsonObject(fields, row, numeric));
    return out + array.close();
}

QString JsonArray::item(const QString& object) {
    const QString separator = any_ ? QStringLiteral(",\n  ") : QStringLiteral("\n  ");
    any_ = true;
    return separator + object;
}

QString JsonArray::close() const {
    return any_ ? QStringLiteral("\n]\n") : QStringLiteral("]\n");
}

} // namespace cli
