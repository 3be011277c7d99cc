// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "cli/interrupt.h"
#include "listing/export.h"
#include "listing/filter.h"
#include "listing/retrieval.h"
#include "listing/urls.h"

#include <QRegularExpression>

namespace cli {
namespace {

// The window's export columns, and whether the day is an estimate (a zone's, not a registry's).
QString csvHeader() {
    return listing::csvRow({QStringLiteral("name"), QStringLiteral("length"),
                            QStringLiteral("suffix"), QStringLiteral("day"),
                            QStringLiteral("approximate")});
}

QString suffixChoices() {
    QStringList all;
    for (int i = 1; i <= 7; ++i)
        all << listing::suffix(i);
    return all.join(QStringLiteral(", ")) +
           QStringLiteral(" 或服务里有的其他后缀（如 se、top、net.cn）");
}

// ".se", "se" and "SE" alike; the empty text for what cannot be a suffix.
QString suffixNamed(QString text) {
    text = text.toLower();
    if (!text.startsWith(u'.'))
        text.prepend(u'.');
    static const QRegularExpression labels(QStringLiteral("^(\\.[\\w-]+)+$"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    return labels.match(text).hasMatch() ? text : QString();
}

// A whole number in [low, high], written plainly.
std::optional<int> numberIn(const QString& text, int low, int high) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < low || n > high || text != QString::number(n))
        return std::nullopt;
    return n;
}

} // namespace

List::List()
    : Command(QStringLiteral("list"), QStringLiteral("列出一天里某个后缀、某个长度的全部域名")) {
    setDetails(QStringLiteral("名字按列表页的顺序输出，读到格子里的数量为止，和窗口列出的一样。\n"
                              "筛选条件看的是不带后缀的名字，给出的都要满足。\n"
                              "Ctrl+C 像窗口的“停止查询”：已列出的照常输出，退出码 130。"));
    addOption(dayOption());
    addOption({QStringLiteral("suffix"), QStringLiteral("后缀：%1，可不带点").arg(suffixChoices()),
               QStringLiteral("S")});
    addOption({QStringLiteral("length"),
               QStringLiteral("名字（不带后缀）的长度：1 到 63；只有六天的旧服务为 3 到 7"),
               QStringLiteral("N")});
    addOption({QStringLiteral("jobs"), QStringLiteral("同时读取的页数：1 到 8（默认 1），输出不变"),
               QStringLiteral("N"), QStringLiteral("1")});
    addOption({QStringLiteral("letters-only"), QStringLiteral("只要纯字母的名字")});
    addOption({QStringLiteral("digits-only"), QStringLiteral("只要纯数字的名字")});
    addOption({QStringLiteral("no-hyphen"), QStringLiteral("不要带连字符的名字")});
    addOption({QStringLiteral("contains"), QStringLiteral("名字里含有这段文字（不分大小写）"),
               QStringLiteral("TEXT")});
    addOption({QStringLiteral("match"), QStringLiteral("名字里有符合这个正则表达式的部分"),
               QStringLiteral("REGEX")});
    addOption({QStringLiteral("pattern"),
               QStringLiteral("名字符合这个模式：L 字母，N 数字，C 辅音，V 元音，"
                              "其他大写字母同字同值（AABB），小写字母和数字照写"),
               QStringLiteral("P")});
    addOptionalValueOption({QStringLiteral("pinyin"),
                            QStringLiteral("名字由拼音音节组成；给出 K 时恰好 K 个音节（1 到 3）"),
                            QStringLiteral("K")},
                           {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
}

namespace {

// What the command line asks of `list`: everything checked before the first request.
struct Asked {
    QString suffix;
    int length = 0;
    int jobs = 1;
    std::optional<listing::NameFilter> filter;
};

// The cell and the pace asked for; empty, with `problem`, when the command line is wrong.
std::optional<Asked> cellAsked(const QCommandLineParser& parser, QString* problem) {
    if (!parser.isSet(QStringLiteral("suffix"))) {
        *problem = QStringLiteral("list 需要 --suffix，可选 %1").arg(suffixChoices());
        return std::nullopt;
    }
    Asked asked;
    asked.suffix = suffixNamed(parser.value(QStringLiteral("suffix")));
    if (asked.suffix.isEmpty()) {
        *problem = QStringLiteral("没有后缀 %1；可选 %2")
                       .arg(parser.value(QStringLiteral("suffix")), suffixChoices());
        return std::nullopt;
    }
    if (!parser.isSet(QStringLiteral("length"))) {
        *problem = QStringLiteral("list 需要 --length，可选 1 到 63");
        return std::nullopt;
    }
    const std::optional<int> length = numberIn(parser.value(QStringLiteral("length")), 1, 63);
    if (!length) {
        *problem = QStringLiteral("没有长度 %1；可选 1 到 63").arg(parser.value(QStringLiteral("length")));
        return std::nullopt;
    }
    asked.length = *length;
    const std::optional<int> jobs = numberIn(parser.value(QStringLiteral("jobs")), 1, 8);
    if (!jobs) {
        *problem = QStringLiteral("--jobs 只能是 1 到 8，不能是 %1").arg(parser.value(QStringLiteral("jobs")));
        return std::nullopt;
    }
    asked.jobs = *jobs;
    return asked;
}

// The filter the options make; empty, with `problem`, when one of them is wrong.
std::optional<listing::NameFilter> filterAsked(const QCommandLineParser& parser, QString* problem) {
    listing::FilterSpec criteria;
    criteria.lettersOnly = parser.isSet(QStringLiteral("letters-only"));
    criteria.digitsOnly = parser.isSet(QStringLiteral("digits-only"));
    criteria.noHyphen = parser.isSet(QStringLiteral("no-hyphen"));
    criteria.contains = parser.value(QStringLiteral("contains"));
    criteria.regex = parser.value(QStringLiteral("match"));
    criteria.pattern = parser.value(QStringLiteral("pattern"));
    if (parser.isSet(QStringLiteral("pinyin"))) {
        const QString k = parser.value(QStringLiteral("pinyin"));
        const std::optional<int> syllables = numberIn(k, 1, 3);
        if (!k.isEmpty() && !syllables) {
            *problem = QStringLiteral("--pinyin 的音节数只能是 1、2 或 3，不能是 %1").arg(k);
            return std::nullopt;
        }
        criteria.pinyinSyllables = syllables.value_or(0);
    }
    return listing::NameFilter::compile(criteria, problem);
}

// The caption of the asked cell on `day` (its count as the window's grid shows it); empty, with
// the exit code in `exit`, when the service has no such cell or no data for it.
std::optional<QString> captionOn(const DayCounts& day, const Asked& asked, int* exit) {
    if (!day.suffixes().contains(asked.suffix)) {
        *exit = usage(QStringLiteral("服务里没有后缀 %1；可选 %2")
                          .arg(asked.suffix, day.suffixes().join(QStringLiteral(", "))));
        return std::nullopt;
    }
    if (asked.length < day.shortest() || asked.length > day.longest()) {
        *exit = usage(QStringLiteral("没有长度 %1；可选 %2 到 %3")
                          .arg(asked.length)
                          .arg(day.shortest())
                          .arg(day.longest()));
        return std::nullopt;
    }
    const std::optional<QString> caption = day.caption(asked.suffix, asked.length);
    if (!caption) {
        complain(day.noData(asked.suffix)
                     ? QStringLiteral("%1 在 %2 还没有数据，列不出名字").arg(asked.suffix, day.date)
                     : QStringLiteral("%1 没有数据来源，列不出名字").arg(asked.suffix));
        *exit = ServiceFailed;
    }
    return caption;
}

// Names of the cell, written as `format` writes them.
class NameWriter {
public:
    NameWriter(Format format, const listing::Cell& cell, bool approximate)
        : format_(format), length_(QString::number(cell.length)), suffix_(cell.suffix),
          day_(cell.date), approximate_(approximate ? QStringLiteral("true") : QStringLiteral("false")) {}
    QString begin() {
        return format_ == Format::Csv ? csvHeader() : format_ == Format::Json ? array_.open() : QString();
    }
    QString end() { return format_ == Format::Json ? array_.close() : QString(); }
    QString names(const QStringList& names) {
        if (format_ == Format::Text)
            return listing::namesAsText(names);
        QString text;
        for (const QString& name : names) {
            const QStringList values{name, length_, suffix_, day_, approximate_};
            text += format_ == Format::Csv
                        ? listing::csvRow(values)
                        : array_.item(jsonObject({QStringLiteral("name"), QStringLiteral("length"),
                                                  QStringLiteral("suffix"), QStringLiteral("day"),
                                                  QStringLiteral("approximate")},
                                                 values, {false, true, false, false, true}));
        }
        return text;
    }

private:
    Format format_;
    QString length_, suffix_, day_, approximate_;
    JsonArray array_;
};

// A list cut short: why, and how much of it came, as the service's failure.
void reportCut(const listing::Retrieval& result, Services& services) {
    const QString reason = result.end == listing::Retrieval::End::Failed
                               ? Module1::describe(result.fetched)
                               : QStringLiteral("列表页到此为止");
    const QString listed = QStringLiteral("；只列出 %1 个").arg(result.listed);
    services.fail(result.url,
                  reason + listed +
                      (result.count ? QStringLiteral("，共 %1 个").arg(*result.count) : QString()));
}

} // namespace

int List::run(const QCommandLineParser& parser, Format format, Services& services) {
    // Everything the command line says is checked before the first request; whether the
    // service has the suffix and the length, once it has told its counts.
    QString problem;
    std::optional<Asked> asked = cellAsked(parser, &problem);
    if (asked)
        asked->filter = filterAsked(parser, &problem);
    if (!asked || !asked->filter)
        return usage(problem);

    const std::optional<DayCounts> day = services.counts(parser.value(QStringLiteral("day")));
    if (!day) {
        // Cut short before the first page, the output is still a whole, empty list.
        if (services.exitCode() == Interrupted && format != Format::Text) {
            Output out;
            out.write(format == Format::Csv ? csvHeader()
                                            : JsonArray().open() + JsonArray().close());
        }
        return services.exitCode();
    }
    int exit = 0;
    const std::optional<QString> caption = captionOn(*day, *asked, &exit);
    if (!caption)
        return exit;
    const listing::Cell cell{services.listingUrl(), day->date, 0, asked->length, *caption,
                             asked->suffix};
    if (format == Format::Text && day->approximate(asked->suffix))
        complain(QStringLiteral("%1 的删除日期为估计值，由区域文件的变化推算").arg(asked->suffix));
    Output out;
    NameWriter writer(format, cell, day->approximate(asked->suffix));
    if (const QString head = writer.begin(); !head.isEmpty())
        out.write(head);
    // A covered day without names of that length: the list is there, and empty.
    if (caption == QStringLiteral("0")) {
        if (const QString tail = writer.end(); !tail.isEmpty())
            out.write(tail);
        return out.failure();
    }
    qsizetype kept = 0;
    QString undecided;
    showProgress(QStringLiteral("正在读取第 1 页……"));
    const auto onPage = [&](const listing::ListedPage& page) {
        QStringList names;
        for (const QString& name : page.names) {
            const listing::Verdict verdict = asked->filter->judge(name);
            if (verdict == listing::Verdict::Undecided) {
                undecided = name; // a name left out unjudged would be one lost in silence
                return false;
            }
            if (verdict == listing::Verdict::Passes)
                names << name;
        }
        kept += names.size();
        if (const QString text = writer.names(names); !text.isEmpty() && !out.write(text))
            return false;
        QString line = QStringLiteral("已读 %1/%2 页，列出 %3 个域名")
                           .arg(page.page)
                           .arg(page.pages)
                           .arg(page.listed);
        if (!asked->filter->isEmpty())
            line += QStringLiteral("，%1 个符合条件").arg(kept);
        showProgress(line);
        return true;
    };
    const listing::Retrieval result = listing::retrieveNames(
        cell, onPage, &interrupt::requested, {asked->jobs, &interrupt::lane()});
    clearProgress();
    if (!result.complete())
        reportCut(result, services);
    if (const QString tail = writer.end(); !tail.isEmpty())
        out.write(tail);
    if (out.failed())
        return out.failure();
    if (!undecided.isEmpty())
        return usage(listing::undecidedReason(undecided));
    if (interrupt::requested())
        return Interrupted;
    return services.exitCode();
}

} // namespace cli
