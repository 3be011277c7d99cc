// SPDX-License-Identifier: GPL-3.0-or-later
#include "sitescore/pages.h"

#include "sitescore/calendar.h"
#include "sitescore/generatednames.h"
#include "sitescore/names.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>
#include <QUrl>
#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace sites {
namespace {

// < > & " and ' are all below 64: one bit each.
constexpr bool special(char16_t c) {
    constexpr quint64 bits = (1ull << '<') | (1ull << '>') | (1ull << '&') | (1ull << '"') |
                             (1ull << '\'');
    return c < 64 && (bits >> c) & 1;
}

bool needsEscaping(QStringView text) {
    for (const QChar c : text)
        if (special(c.unicode()))
            return true;
    return false;
}

QString escaped(QStringView text) {
    if (!needsEscaping(text))
        return text.toString();
    return text.toString().toHtmlEscaped().replace(u'\'', QLatin1String("&#39;"));
}

// Shared, not copied, when nothing in it needs escaping, as in every domain name: the list
// pages escape a hundred names each.
QString escaped(const QString& text) {
    return needsEscaping(text) ? escaped(QStringView(text)) : text;
}

// What a page repeats of a request, escaped and cut short so a huge value stays harmless.
QString echoed(QStringView text) {
    constexpr qsizetype Shown = 80;
    if (text.size() <= Shown)
        return escaped(text);
    return escaped(text.first(Shown)) + QStringLiteral("…");
}

// A page up to its body, and after it: a list page is written into one string from the start.
QString documentStart(const QString& title, qsizetype room = 0) {
    static const QString head = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>");
    static const QString middle = QStringLiteral("</title>\n</head>\n<body>\n");
    QString out;
    out.reserve(head.size() + title.size() + middle.size() + room);
    out.append(head).append(title).append(middle);
    return out;
}

constexpr QStringView DocumentEnd = u"</body>\n</html>\n";

QString document(const QString& title, const QString& body) {
    QString out = documentStart(title, body.size() + DocumentEnd.size());
    out.append(body).append(DocumentEnd);
    return out;
}

// A page written straight in UTF-8 into one buffer: the list pages are asked for most, and
// building them as text to encode afterwards cost as much again.
class Utf8Page {
public:
    explicit Utf8Page(qsizetype room) { bytes_.reserve(room); }
    Utf8Page& operator<<(std::string_view text) {
        std::memcpy(grow(qsizetype(text.size())), text.data(), text.size());
        return *this;
    }
    Utf8Page& operator<<(qint64 number) {
        char digits[24];
        return *this << std::string_view(
                   digits, std::size_t(std::to_chars(digits, digits + sizeof digits, number).ptr - digits));
    }
    Utf8Page& operator<<(QStringView text) {
        const qsizetype from = bytes_.size();
        if (!narrowed(grow(text.size()), text)) {
            bytes_.truncate(from);
            const QByteArray utf8 = text.toUtf8();
            *this << std::string_view(utf8.constData(), std::size_t(utf8.size()));
        }
        return *this;
    }
    // Each name twice, as its link and its caption, written into room measured first: plain
    // names are narrowed as they are copied, and from the first that is not, the rest are
    // escaped and encoded one by one.
    void nameLines(std::string_view marker, const QStringList& names) {
        static constexpr std::string_view open = "<li><a ", close = "</a></li>\n";
        qsizetype room = 0;
        for (const QString& name : names)
            room += qsizetype(open.size() + marker.size() + close.size()) + 2 * name.size() + 1;
        const qsizetype from = bytes_.size();
        char* at = grow(room);
        const auto put = [&at](std::string_view piece) {
            at = std::copy(piece.begin(), piece.end(), at);
        };
        for (qsizetype i = 0; i < names.size(); ++i) {
            char* const line = at;
            put(open);
            put(marker);
            if (!narrowed(at, names[i], true)) {
                bytes_.truncate(line - bytes_.constData());
                for (; i < names.size(); ++i) {
                    const QByteArray text = escaped(names[i]).toUtf8();
                    const std::string_view name(text.constData(), std::size_t(text.size()));
                    *this << open << marker << name << ">" << name << close;
                }
                return;
            }
            const std::string_view name(at, std::size_t(names[i].size()));
            at += name.size();
            *at++ = '>';
            put(name);
            put(close);
        }
        bytes_.truncate(at - bytes_.constData());
        Q_ASSERT(bytes_.size() == from + room);
    }
    QByteArray take() { return std::move(bytes_); }

private:
    // Room for `size` more bytes at the end, where the caller writes them.
    char* grow(qsizetype size) {
        const qsizetype from = bytes_.size();
        bytes_.resize(from + size);
        return bytes_.data() + from;
    }
    // Writes `text` to `to` when it is ASCII (and holds nothing to escape, if asked).
    static bool narrowed(char* to, QStringView text, bool plain = false) {
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u >= 0x80 || (plain && special(u)))
                return false;
            *to++ = char(u);
        }
        return true;
    }
    QByteArray bytes_;
};

QString weekday(QDate day) {
    static const char16_t* names[] = {u"一", u"二", u"三", u"四", u"五", u"六", u"日"};
    return QStringLiteral("星期") + QString::fromUtf16(names[day.dayOfWeek() - 1]);
}

QString summaryLink(QDate day) {
    const QString date = formatDate(day);
    return QStringLiteral("<a href=\"deleteddate.php?date=%1\">%1</a>").arg(date);
}

// `date` as the request wrote it: a 2011 date stays one, so the window's dates match.
QString listHref(const QString& date, const QString& kind, const QString& suffix, int length,
                 qint64 page) {
    // Appended into room made once: a day summary holds 35 of these, a list page two.
    QString href;
    href.reserve(96 + date.size() + suffix.size());
    href.append(QLatin1StringView("deleteddomain.php?date="))
        .append(escaped(date))
        .append(QLatin1StringView("&amp;t="))
        .append(kind)
        .append(QLatin1StringView("&amp;page="))
        .append(QString::number(page))
        .append(QLatin1StringView("&amp;tld="))
        .append(escaped(suffix))
        .append(QLatin1StringView("&amp;length="))
        .append(QString::number(length));
    return href;
}

QString isoTime(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODate) : QString();
}

QJsonValue jsonTime(const QDateTime& time) {
    return time.isValid() ? QJsonValue(isoTime(time)) : QJsonValue(QJsonValue::Null);
}

// A positive decimal without sign or blanks, or 0 for anything else (including overflow).
qint64 positiveNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 18)
        return 0;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return 0;
    return text.toLongLong();
}

QString lookupForm(const QString& value) {
    return QStringLiteral(
               "<form action=\"/DomainDel/\" method=\"get\">域名：<input name=\"wd\" "
               "value=\"%1\" size=\"30\"> <input type=\"submit\" value=\"查询\"></form>\n")
        .arg(echoed(value));
}

QString ageText(QDate from, QDate to) {
    int months = (to.year() - from.year()) * 12 + (to.month() - from.month());
    if (to.day() < from.day())
        --months;
    months = qMax(0, months);
    return QStringLiteral("%1年%2个月").arg(months / 12).arg(months % 12);
}

QString statusText(QDate deleted, QDate today) {
    if (deleted < today)
        return QStringLiteral("已删除");
    if (today.daysTo(deleted) <= 5)
        return QStringLiteral("pendingDelete");
    return QStringLiteral("redemptionPeriod");
}

QByteArray html(const QString& page) {
    return page.toUtf8();
}

const QString& generatedLine() {
    static const QString line = QStringLiteral(
        "<p class=\"generated\">演示数据：这些域名是生成的，不是注册局的删除列表。</p>\n");
    return line;
}

const QString& noDataLine() {
    static const QString line = QStringLiteral("<p class=\"nodata\">这一天还没有数据</p>\n");
    return line;
}

// What a column of the day summary holds for its day.
enum class Column { Exact, Approximate, NoData, NoSource, Generated };

Column columnOf(const NameSource& source, QDate day, const QString& suffix,
                const QStringList& approximate) {
    if (source.generated())
        return Column::Generated;
    if (!source.serves(suffix))
        return Column::NoSource;
    if (!source.covers(day, suffix))
        return Column::NoData;
    return approximate.contains(suffix) ? Column::Approximate : Column::Exact;
}

QString columnHeader(Column column, const QString& suffix) {
    switch (column) {
    case Column::Exact:
        return QStringLiteral("<th class=\"exact\">%1</th>").arg(suffix);
    case Column::Approximate:
        return QStringLiteral("<th class=\"approximate\" title=\"删除日期为估计值，由区域文件的变化"
                              "推算\">%1</th>")
            .arg(suffix);
    case Column::NoData:
        return QStringLiteral("<th class=\"nodata\" title=\"这一天还没有数据\">%1</th>").arg(suffix);
    case Column::NoSource:
        return QStringLiteral("<th class=\"nosource\" title=\"没有数据来源\">%1</th>").arg(suffix);
    case Column::Generated:
        break;
    }
    return QStringLiteral("<th class=\"generated\">%1</th>").arg(suffix);
}

// The day summary's 35 cells, appended piece by piece: formatting them was most of the page's
// cost.
void appendSummaryRows(QString& body, const QString& date, const Column* columns,
                       const QMap<QString, QMap<int, qint64>>& counts) {
    body.reserve(body.size() + 8192);
    for (int length = MinLength; length <= MaxLength; ++length) {
        const QString lengthText = QString::number(length);
        body += u"<tr><td>";
        body += lengthText;
        body += u"位</td>";
        for (int s = 1; s <= SuffixCount; ++s) {
            if (columns[s] == Column::NoSource || columns[s] == Column::NoData) {
                // No link to follow, but the same "length=N\">" before the caption, so that
                // every count after it is still found in its place.
                body += u"<td><span title=\"tld=";
                body += suffixName(s);
                body += u"&amp;length=";
                body += lengthText;
                body += u"\">-</span></td>";
                continue;
            }
            body += u"<td><a href=\"deleteddomain.php?date=";
            body += date;
            body += u"&amp;t=";
            body += suffixKind(s);
            body += u"&amp;page=1&amp;tld=";
            body += suffixName(s);
            body += u"&amp;length=";
            body += lengthText;
            body += u"\">";
            body += QString::number(counts.value(suffixName(s)).value(length));
            body += u"</a></td>";
        }
        body += u"</tr>\n";
    }
}

} // namespace

QString homePage(QDate today, bool generated) {
    const QList<QDate> days = siteDays(today);
    QString table = QStringLiteral("<table class=\"days\">\n<tr>");
    for (const QDate& day : days) {
        if (day == today)
            continue; // today has its own link at the top
        table += QStringLiteral("<td>%1</td>").arg(summaryLink(day));
    }
    table += QStringLiteral("</tr>\n</table>\n");

    QString body;
    body += QStringLiteral(
                "<div class=\"top\">今天是 <a href=\"deleteddate.php?date=%1\">今天删除的域名"
                "</a> &nbsp;&nbsp; %1 %2</div>\n")
                .arg(formatDate(today), weekday(today));
    body += QStringLiteral("<h1>过期域名删除列表</h1>\n");
    if (generated)
        body += generatedLine();
    body += QStringLiteral("<p>每天更新，按后缀和长度列出当天删除的域名。</p>\n");
    body += QStringLiteral("<h2>四天后的删除域名查询</h2>\n") + table;
    body += QStringLiteral(
        "<p>点击日期查看当天各后缀、各长度的删除数量，再点击数量查看域名列表。</p>\n");
    body += QStringLiteral("<p><a href=\"/DomainDel/\">单个域名删除时间查询</a></p>\n");
    return document(QStringLiteral("过期域名删除列表"), body);
}

QString daySummaryPage(const QString& date, const NameSource& source, QDate realToday) {
    const std::optional<QDate> day = source.dayOf(date, realToday);
    if (!day) {
        return document(
            QStringLiteral("删除域名统计"),
            QStringLiteral("<p>没有 %1 的删除记录。</p>\n<p><a href=\"/\">返回首页</a></p>\n")
                .arg(echoed(date)));
    }
    // A date that reads is digits and hyphens: nothing in it to escape.
    QString body =
        QStringLiteral("<table class=\"summary\" border=\"1\">\n<tr><td noWrap><font color=red>"
                       "%1</font></td><td colspan=\"7\">删除域名统计</td></tr>\n<tr><th>"
                       "长度</th>")
            .arg(date);
    const QStringList approximate = source.approximateSuffixes(*day);
    Column columns[SuffixCount + 1];
    for (int s = 1; s <= SuffixCount; ++s) {
        columns[s] = columnOf(source, *day, suffixName(s), approximate);
        body += columnHeader(columns[s], suffixName(s));
    }
    body += QStringLiteral("</tr>\n");
    appendSummaryRows(body, date, columns, source.counts(*day));
    // The real day shown, and whether its names are generated, where the window can read them.
    body += QStringLiteral("</table>\n<div id=\"lumo-day\" data-day=\"%1\" data-generated=\"%2\">"
                           "</div>\n")
                .arg(formatDate(source.realDay(*day, realToday)),
                     source.generated() ? u"1" : u"0");
    if (source.generated())
        body += generatedLine();
    body += QStringLiteral("<p><a href=\"/\">返回首页</a></p>\n");
    return document(QStringLiteral("%1 删除域名统计").arg(date), body);
}

namespace {

// The cell a list page asks for, checked against what `source` lists.
struct AskedCell {
    QDate day;
    int length = 0;
    qint64 page = 0;
};

std::optional<AskedCell> cellOf(const NameSource& source, const QString& date, const QString& kind,
                           const QString& page, const QString& suffix, const QString& length,
                           QDate realToday) {
    const std::optional<QDate> day = source.dayOf(date, realToday);
    const int suffixIndex = suffixIndexOf(suffix);
    const qint64 pageNumber = positiveNumber(page);
    // No more digits than the longest length has: "03" is no length where 7 is the longest.
    const int digits = int(QString::number(source.longestLabel()).size());
    const int len = length.size() <= digits ? int(positiveNumber(length)) : 0;
    // The grid's suffixes keep their own kind; any other is found under either.
    const bool kindFits = suffixIndex != 0 ? kind == suffixKind(suffixIndex)
                                           : (kind == u"cn" || kind == u"inter");
    if (!day || !suffix.startsWith(u'.') || !source.serves(suffix) || !kindFits ||
        len < source.shortestLabel() || len > source.longestLabel() || pageNumber <= 0)
        return std::nullopt;
    return AskedCell{*day, len, pageNumber};
}

} // namespace

QByteArray listPageUtf8(const QString& base, const QString& date, const QString& kind,
                        const QString& page, const QString& suffix, const QString& length,
                        const NameSource& source, QDate realToday) {
    const std::optional<AskedCell> cell = cellOf(source, date, kind, page, suffix, length, realToday);
    // A served suffix on a day no fetch covers: nothing to list, and no zero either.
    const bool noData = cell && !source.covers(cell->day, suffix);
    if (!cell || noData) {
        return document(
                   QStringLiteral("删除域名列表"),
                   QStringLiteral(
                       "<p>没有符合条件的域名：日期 %1，类别 %2，后缀 %3，长度 %4，第 %5 页。</p>\n%6"
                       "<p><a href=\"/\">返回首页</a></p>\n")
                       .arg(echoed(date), echoed(kind), echoed(suffix), echoed(length),
                            echoed(page), noData ? noDataLine() : QString()))
            .toUtf8();
    }
    const qint64 count = source.count(cell->day, suffix, cell->length);
    const qint64 pages = qMax<qint64>(1, (count + NamesPerPage - 1) / NamesPerPage);
    // A page past the last holds nothing; its number is never multiplied, so no size overflows.
    const qint64 first = cell->page <= pages ? (cell->page - 1) * NamesPerPage : count;
    const qint64 last = qMin<qint64>(count, first + NamesPerPage);
    const QByteArray marker = "href=" + escaped(base).toUtf8() + "whois.php?domain=";

    Utf8Page out((last - first) * (marker.size() + 64) + 1024);
    // A date that reads is digits and hyphens: nothing in it to escape.
    out << "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>"
        << QStringView(date) << " 删除域名列表</title>\n</head>\n<body>\n<h2>" << QStringView(date)
        << " 删除的 " << qint64(cell->length) << " 位 " << QStringView(escaped(suffix))
        << " 域名</h2>\n<p>共 " << count << " 个，第 " << cell->page << " 页，共 " << pages
        << " 页</p>\n";
    // Before the first name, where the window's scraper does not look.
    if (source.approximateSuffixes(cell->day).contains(suffix))
        out << "<p class=\"approximate\">删除日期为估计值，由区域文件的变化推算。</p>\n";
    if (source.generated())
        out << QStringView(generatedLine());
    out << "<ol start=\"" << first + 1 << "\">\n";
    out.nameLines(std::string_view(marker.constData(), std::size_t(marker.size())),
                  last > first ? source.names(cell->day, suffix, cell->length, first,
                                              int(last - first))
                               : QStringList());
    out << "</ol>\n<p>";
    const auto href = [&](qint64 number) {
        return listHref(date, kind, suffix, cell->length, number);
    };
    if (cell->page > 1 && cell->page <= pages)
        out << "<a href=\"" << QStringView(href(cell->page - 1)) << "\">上一页</a> ";
    if (cell->page < pages)
        out << "<a href=\"" << QStringView(href(cell->page + 1)) << "\">下一页</a> ";
    out << "<a href=\"deleteddate.php?date=" << QStringView(date) << "\">返回统计</a></p>\n"
        << "</body>\n</html>\n";
    return out.take();
}

QString listPage(const QString& base, const QString& date, const QString& kind, const QString& page,
                 const QString& suffix, const QString& length, const NameSource& source,
                 QDate realToday) {
    return QString::fromUtf8(
        listPageUtf8(base, date, kind, page, suffix, length, source, realToday));
}

namespace {

// What the pages know of a listed name.
struct Known {
    QString registered;
    QString expires;
    QDate deleted;
    QString age; // "N年M个月"
    bool approximate = false; // the day is a zone's estimate
};

std::optional<Known> known(const QString& name, QDate today, const NameSource& source) {
    const std::optional<ListedDay> shown = shownDay(source.findName(name), today);
    if (!shown)
        return std::nullopt;
    // The lists name a day only; the registry's dates come from a lookup of their own.
    const std::optional<NameRecord> r = source.record(name);
    const QString none = QStringLiteral("-");
    return Known{r ? formatDate(r->registered) : none, r ? formatDate(r->expires) : none,
                 shown->day, r ? ageText(r->registered, today) : none, shown->approximate};
}

} // namespace

QString whoisPage(const QString& domain, QDate today, const NameSource& source) {
    const QString wanted = domain.trimmed().toLower();
    const std::optional<Known> r = known(wanted, today, source);
    if (!r) {
        return document(QStringLiteral("域名信息"),
                        QStringLiteral("<p>%1 不在删除列表中。</p>\n").arg(echoed(wanted)));
    }
    const QString name = escaped(wanted);
    QString body = QStringLiteral("<h2>%1</h2>\n<ul>\n").arg(name);
    body += QStringLiteral("<li>注册日期：%1</li>\n").arg(r->registered);
    body += QStringLiteral("<li>过期日期：%1</li>\n").arg(r->expires);
    body += QStringLiteral("<li>删除日期：%1%2</li>\n")
                .arg(formatDate(r->deleted), r->approximate ? QStringLiteral("(近似值)") : QString());
    body += QStringLiteral("<li>状态：%1</li>\n</ul>\n").arg(statusText(r->deleted, today));
    body += QStringLiteral("<p><a href=\"/DomainDel/?wd=%1\">查看删除倒计时</a> "
                           "<a href=\"deleteddate.php?date=%2\">返回当天统计</a></p>\n")
                .arg(name, formatDate(r->deleted));
    return document(QStringLiteral("%1 域名信息").arg(name), body);
}

QString lookupPage(const QString& domain, const QDateTime& now2011, const NameSource& source) {
    const QString wanted = domain.trimmed().toLower();
    const QDate today = now2011.date();
    if (wanted.isEmpty()) {
        return document(QStringLiteral("域名删除时间查询"),
                        QStringLiteral("<h2>域名删除时间查询</h2>\n") + lookupForm(QString()) +
                            QStringLiteral("<p>请输入要查询的域名。</p>\n"));
    }
    const std::optional<Known> r = known(wanted, today, source);
    if (!r) {
        return document(
            QStringLiteral("域名删除时间查询"),
            QStringLiteral("<h2>域名删除时间查询</h2>\n") + lookupForm(wanted) +
                QStringLiteral("<p>没有找到 %1 的删除记录：该域名不在删除列表中。</p>\n")
                    .arg(echoed(wanted)));
    }
    auto row = [](const QString& caption, const QString& value) {
        return QStringLiteral("<tr><td class=\"deltdl\">%1</td><td class=\"deltd1\">%2</td></tr>\n")
            .arg(caption, value);
    };
    QString body = QStringLiteral("<h2>域名删除时间查询</h2>\n") + lookupForm(wanted);
    body += QStringLiteral("<h3>%1</h3>\n<table class=\"del\">\n").arg(escaped(wanted));
    body += row(QStringLiteral("域名年龄："), QStringLiteral("<b>%1</b>(近似值)").arg(r->age));
    body += row(QStringLiteral("域名状态："), statusText(r->deleted, today));
    body += row(QStringLiteral("注册时间："), r->registered);
    body += row(QStringLiteral("到期时间："), r->expires);
    body += row(QStringLiteral("删除时间："),
                formatDate(r->deleted) + (r->approximate ? QStringLiteral("(近似值)") : QString()));
    body += QStringLiteral("</table>\n<p>删除倒计时：<span class=\"count\">还剩：%1</span></p>\n")
                .arg(countdown(now2011, r->deleted));
    return document(QStringLiteral("%1 删除时间").arg(escaped(wanted)), body);
}

QString lookupFactsPage(const QString& domain, const LookupFacts& facts, const QDateTime& now) {
    auto row = [](const QString& caption, const QString& value) {
        return QStringLiteral("<tr><td class=\"deltdl\">%1</td><td class=\"deltd1\">%2</td></tr>\n")
            .arg(caption, value);
    };
    auto day = [](const std::optional<QDate>& date) {
        return date ? formatDate(*date) : QString();
    };
    const QString age = facts.registered ? QStringLiteral("<b>%1</b>(近似值)")
                                               .arg(ageText(*facts.registered, now.date()))
                                         : QString();
    QString deleted = day(facts.deleted);
    if (facts.deleted && facts.deletedApproximate)
        deleted += QStringLiteral("(近似值)");
    QString body = QStringLiteral("<h2>域名删除时间查询</h2>\n") + lookupForm(domain);
    body += QStringLiteral("<h3>%1</h3>\n<table class=\"del\">\n").arg(echoed(domain));
    body += row(QStringLiteral("域名年龄："), age);
    body += row(QStringLiteral("域名状态："), escaped(facts.status));
    body += row(QStringLiteral("注册时间："), day(facts.registered));
    body += row(QStringLiteral("到期时间："), day(facts.expires));
    body += row(QStringLiteral("删除时间："), deleted);
    body += QStringLiteral("</table>\n<p>删除倒计时：<span class=\"count\">还剩：%1</span></p>\n")
                .arg(facts.deleted ? countdown(now, *facts.deleted) : QString());
    if (facts.estimatedFromZone)
        body += QStringLiteral("<p>删除时间由区域文件的变化推算，仅供参考。</p>\n");
    else if (facts.deletedApproximate)
        body += QStringLiteral("<p>删除时间按注册局最后更新日期推算（赎回期加 35 天，待删除加 5 "
                               "天），仅供参考。</p>\n");
    if (!facts.note.isEmpty())
        body += QStringLiteral("<p>说明：%1</p>\n").arg(echoed(facts.note));
    return document(QStringLiteral("%1 删除时间").arg(echoed(domain)), body);
}

QString makerPage(const QString& versionLine, const NameSource& source) {
    QString body = QStringLiteral("<h1>Lumo过期域名查询工具</h1>\n");
    body += QStringLiteral(
        "<p>查看三天内删除的域名：按日期、后缀和长度统计，逐页列出域名，并查询单个域名的删除时间。<"
        "/p>\n");
    body += QStringLiteral("<p>最新版本：%1</p>\n").arg(echoed(versionLine));
    body += QStringLiteral(
        "<p><a href=\"/\">删除域名列表</a> <a href=\"/DomainDel/\">删除时间查询</a></p>\n");
    if (source.generated())
        body += generatedLine();
    QList<SourceRow> rows = source.sourceRows();
    rows.removeIf([](const SourceRow& row) { return row.generated; });
    if (!rows.isEmpty()) {
        static const QMap<QString, QString> states = {{QStringLiteral("ok"), QStringLiteral("已更新")},
                                                      {QStringLiteral("unchanged"), QStringLiteral("未变")},
                                                      {QStringLiteral("failed"), QStringLiteral("失败")},
                                                      {QStringLiteral("never"), QStringLiteral("尚未获取")}};
        body += QStringLiteral(
            "<h2>数据来源</h2>\n<table class=\"sources\" border=\"1\">\n<tr><th>来源</th><th>地址"
            "</th><th>上次获取</th><th>上次成功</th><th>状态</th><th>域名数</th><th>错误</th></tr>\n");
        for (const SourceRow& row : std::as_const(rows)) {
            const auto when = [](const QDateTime& time) {
                return time.isValid() ? isoTime(time) : QStringLiteral("从未");
            };
            body += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                                   "<td>%6</td><td>%7</td></tr>\n")
                        .arg(escaped(row.source), escaped(row.url), when(row.lastAttempt),
                             when(row.lastSuccess), states.value(row.status, escaped(row.status)))
                        .arg(row.names)
                        .arg(escaped(row.error));
        }
        body += QStringLiteral("</table>\n<p>.com、.net、.org、.info、.biz 没有公开的删除列表："
                               "导入区域文件（czds-）后按区域的变化推算删除日期（估计值），"
                               "没有数据来源时统计表中显示为“-”。</p>\n");
    }
    return document(QStringLiteral("Lumo过期域名查询工具"), body);
}

QByteArray versionFile(const QString& versionLine) {
    QStringEncoder encoder("GB2312");
    if (!encoder.isValid())
        encoder = QStringEncoder("windows-936");
    return encoder.encode(versionLine + QStringLiteral("\r\n"));
}

QString countdown(const QDateTime& now2011, QDate day) {
    // Both ends on one clock without daylight saving, so every day is 24 hours.
    const QDateTime from(now2011.date(), now2011.time(), Qt::UTC);
    const QDateTime to(day, QTime(0, 0), Qt::UTC);
    const qint64 seconds = qMax<qint64>(0, from.secsTo(to));
    return QStringLiteral("%1天 %2小时").arg(seconds / 86400).arg((seconds % 86400) / 3600);
}

QByteArray sourcesJson(const NameSource& source) {
    QJsonArray rows;
    for (const SourceRow& row : source.sourceRows())
        rows.append(QJsonObject{
            {"source", row.source},
            {"url", row.generated ? QJsonValue(QJsonValue::Null) : QJsonValue(row.url)},
            {"lastAttempt", jsonTime(row.lastAttempt)},
            {"lastSuccess", jsonTime(row.lastSuccess)},
            {"status", row.status},
            {"names", row.names},
            {"error", row.error.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(row.error)},
            {"generated", row.generated}});
    return QJsonDocument(rows).toJson(QJsonDocument::Compact);
}

std::optional<QByteArray> countsJson(const QString& date, const NameSource& source,
                                     QDate realToday) {
    const std::optional<QDate> real = realDayOf(date, realToday);
    if (!real)
        return std::nullopt;
    // The generated names live on the site days, and their list pages are asked by those.
    const QDate day = source.dayOfReal(*real, realToday);
    auto lengths = [](const QMap<int, qint64>& byLength) {
        QJsonObject out;
        for (auto it = byLength.begin(); it != byLength.end(); ++it)
            if (it.value() > 0)
                out.insert(QString::number(it.key()), it.value());
        return out;
    };
    const QMap<QString, QMap<int, qint64>> stored = source.counts(day);
    QStringList suffixes = stored.keys();
    for (int s = 1; s <= SuffixCount; ++s)
        suffixes.append(suffixName(s));
    suffixes += source.listSuffixes();
    QJsonObject counts;
    QStringList noData;
    for (const QString& suffix : std::as_const(suffixes)) {
        if (counts.contains(suffix))
            continue;
        const bool known = source.serves(suffix) && source.covers(day, suffix);
        counts.insert(suffix, known ? QJsonValue(lengths(stored.value(suffix))) : QJsonValue());
        if (source.serves(suffix) && !known)
            noData.append(suffix);
    }
    noData.sort();
    const QJsonObject out{{"date", formatDate(day)},
                          {"counts", counts},
                          {"approximate", QJsonArray::fromStringList(source.approximateSuffixes(day))},
                          {"nodata", QJsonArray::fromStringList(noData)},
                          {"generated", source.generated()}};
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

QByteArray daysJson(QDate realToday) {
    static const char* const keys[] = {"-2", "-1", "today", "+1", "+2", "+3"};
    const QList<QDate> days = siteDays(siteToday(realToday));
    QJsonArray rows;
    for (qsizetype i = 0; i < days.size(); ++i)
        rows.append(QJsonObject{{"key", QLatin1String(keys[i])},
                                {"site", formatDate(days[i])},
                                {"date", formatDate(realToday.addDays(i - 2))}});
    return QJsonDocument(rows).toJson(QJsonDocument::Compact);
}

QByteArray storedJson(const NameSource& source) {
    QJsonArray rows;
    for (const StoredDay& held : source.storedDays())
            rows.append(QJsonObject{{"list", held.list},
                                    {"day", formatDate(held.day)},
                                    {"names", held.names},
                                    {"approximate", held.approximate}});
    return QJsonDocument(rows).toJson(QJsonDocument::Compact);
}

Query::Query(QString encoded) : encoded_(std::move(encoded)) {
    for (qsizetype from = 0; from < encoded_.size();) {
        qsizetype end = encoded_.indexOf(u'&', from);
        if (end < 0)
            end = encoded_.size();
        qsizetype equals = encoded_.indexOf(u'=', from);
        if (equals < 0 || equals > end)
            equals = end;
        items_.append({from, equals, end});
        from = end + 1;
    }
}

QString Query::value(QLatin1StringView key) const {
    for (const Item& item : items_) {
        if (QStringView(encoded_).sliced(item.name, item.equals - item.name) != key)
            continue;
        const QStringView value =
            item.equals < item.end ? QStringView(encoded_).sliced(item.equals + 1, item.end - item.equals - 1)
                                   : QStringView();
        return value.contains(u'%') ? QUrl::fromPercentEncoding(value.toLatin1()) : value.toString();
    }
    return {};
}

Reply respond(const Request& request) {
    const QDate realToday = request.now.date();
    const NameSource* lists = request.source;
    struct Scope {
        const NameSource* lists;
        ~Scope() {
            if (lists)
                lists->endRequest();
        }
    } scope{lists};
    if (lists)
        lists->beginRequest();
    // Generated names, marked so, while the store holds nothing at all.
    const GeneratedNames generated(realToday, request.cellSize, lists);
    const NameSource& source = lists && lists->holdsAnything() ? *lists : generated;
    const QDateTime now = source.clock(request.now);
    auto value = [&](const char* key) { return request.query.value(QLatin1StringView(key)); };
    const QByteArray htmlType = "text/html; charset=utf-8";
    const QString& path = request.path;

    if (path == u"/")
        return {200, htmlType, html(homePage(siteToday(realToday), source.generated()))};
    if (path == u"/deleteddate.php")
        return {200, htmlType, html(daySummaryPage(value("date"), source, realToday))};
    if (path == u"/deleteddomain.php") {
        const QString base = QStringLiteral("http://") + request.host + QStringLiteral("/");
        return {200, htmlType,
                listPageUtf8(base, value("date"), value("t"), value("page"), value("tld"),
                             value("length"), source, realToday)};
    }
    if (path == u"/whois.php")
        return {200, htmlType,
                html(whoisPage(value("domain"), now.date(), source))};
    if (path == u"/DomainDel/" || path == u"/DomainDel")
        return {200, htmlType, html(lookupPage(value("wd"), now, source))};
    const QByteArray jsonType = "application/json";
    if (path == u"/lumo/sources.json")
        return {200, jsonType, sourcesJson(source)};
    if (path == u"/lumo/days.json")
        return {200, jsonType, daysJson(realToday)};
    if (path == u"/lumo/stored.json")
        return {200, jsonType, storedJson(source)};
    if (path == u"/lumo/counts.json") {
        if (const std::optional<QByteArray> counts = countsJson(value("date"), source, realToday))
            return {200, jsonType, *counts};
        return {400, jsonType, R"({"error":"date wants a day like 2026-12-09"})"};
    }
    if (path == u"/lumo/rideve.txt")
        return {200, "text/plain; charset=gb2312", versionFile(request.versionLine)};
    if (path == u"/lumo/" || path == u"/lumo")
        return {200, htmlType, html(makerPage(request.versionLine, source))};

    return {404, htmlType,
            html(document(
                QStringLiteral("找不到页面"),
                QStringLiteral(
                    "<h1>404</h1>\n<p>没有这个页面：%1</p>\n<p><a href=\"/\">返回首页</a></p>\n")
                    .arg(echoed(path))))};
}

} // namespace sites
