// SPDX-License-Identifier: GPL-3.0-or-later
#include "droplists.h"

#include "names/domainname.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace sites::sources {

namespace {

// Second-level suffixes under .cn that keep their own suffix: the kinds and the provinces.
constexpr const char16_t* CnSecondLevel[] = {
    u"com", u"net", u"org", u"gov", u"edu", u"ac", u"mil", u"bj", u"sh", u"tj", u"cq", u"he",
    u"sx", u"nm", u"ln", u"jl", u"hl", u"js", u"zj", u"ah", u"fj", u"jx", u"sd", u"ha", u"hb",
    u"hn", u"gd", u"gx", u"hi", u"sc", u"gz", u"yn", u"xz", u"sn", u"gs", u"qh", u"nx", u"xj",
    u"tw", u"hk", u"mo"};
// CNNIC also runs these top-level domains; its lists may carry them beside .cn.
constexpr const char16_t* CnnicChineseTlds[] = {u"中国", u"公司", u"网络"};
constexpr const char16_t* OtherTlds[] = {u"cn", u"se", u"nu", u"top", u"com", u"net", u"org", u"info", u"biz"};

QString dotted(const char16_t* label) {
    return u'.' + QString::fromUtf16(label);
}

// Every known suffix made once, so that the names of a list share their suffix's text.
struct SuffixTexts {
    QStringList cnSecondLevel, other, chinese;
    SuffixTexts() {
        for (const char16_t* known : CnSecondLevel)
            cnSecondLevel << dotted(known) + QStringLiteral(".cn");
        for (const char16_t* known : OtherTlds)
            other << dotted(known);
        for (const char16_t* known : CnnicChineseTlds)
            chinese << dotted(known);
    }
};
const SuffixTexts& suffixTexts() {
    static const SuffixTexts texts;
    return texts;
}

bool isCnnicSuffix(QStringView suffix) {
    if (suffix.endsWith(u".cn"))
        return true;
    return std::any_of(std::begin(CnnicChineseTlds), std::end(CnnicChineseTlds),
                       [&](const char16_t* tld) { return suffix.mid(1) == QStringView(tld); });
}

qsizetype codePoints(QStringView text) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!text[i].isLowSurrogate())
            ++n;
    return n;
}

// A list's one name, from a line or field; nullopt when it is not a registrable name: one
// label under a known registry suffix.
std::optional<DropName> dropName(QStringView raw) {
    const QString name = normalizedName(raw);
    if (name.isEmpty())
        return std::nullopt;
    QString suffix = registrySuffix(name);
    if (suffix.isEmpty())
        return std::nullopt;
    const QStringView label = QStringView(name).chopped(suffix.size());
    if (label.isEmpty() || label.contains(u'.'))
        return std::nullopt;
    return DropName{name, std::move(suffix), int(codePoints(label)), {}};
}

// The bytes as text: UTF-8 (or UTF-16) with a byte order mark, UTF-8 when they are valid
// UTF-8, GBK otherwise.
QString decodeText(const QByteArray& bytes) {
    if (auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding, QStringConverter::Flag::Stateless);
        return decoder.decode(bytes); // skips the mark
    }
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("windows-936", QStringConverter::Flag::Stateless);
    if (!gbk.isValid())
        return text;
    // A lead byte alone at the very end would vanish; the newline makes it U+FFFD.
    text = gbk.decode(bytes + '\n');
    text.chop(1);
    return text;
}

QStringView trimmed(QStringView text) {
    return text.trimmed();
}

// Refusals every format shares: nothing in it, or a page of markup.
QString refuseText(QStringView text) {
    const QStringView body = trimmed(text);
    if (body.isEmpty())
        return QStringLiteral("the list is empty");
    if (body.front() == u'<')
        return QStringLiteral("the answer is markup (an HTML or XML page), not a list of names");
    return {};
}

// Calls `take` with each non-blank line of `text`, trimmed; LF, CRLF and CR all end a line.
template <typename Take>
void forEachLine(QStringView text, Take take) {
    qsizetype start = 0;
    const qsizetype size = text.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && text[end] != u'\n' && text[end] != u'\r')
            ++end;
        const QStringView line = trimmed(text.sliced(start, end - start));
        if (!line.isEmpty())
            take(line);
        start = end + 1;
    }
}

// The names kept once each, and the refusal when too few of the entries were names.
class Collector {
public:
    void add(DropName name) {
        ++entries_;
        const qsizetype before = seen_.size();
        seen_.insert(name.name);
        if (seen_.size() != before)
            list_.names.append(std::move(name));
    }
    void skip() {
        ++entries_;
        ++list_.skipped;
    }
    // `units`: "lines", "entries" ...; `what`: what each of them should be.
    ParsedList finish(const char* units, const char* what) {
        if (list_.names.isEmpty())
            return fail(QStringLiteral("the list has no %1 (%3 read: %2)")
                            .arg(QLatin1String(what))
                            .arg(entries_)
                            .arg(QLatin1String(units)));
        if (list_.skipped > maxSkipped(entries_))
            return fail(QStringLiteral("%1 of %2 %3 are not %4")
                            .arg(list_.skipped)
                            .arg(entries_)
                            .arg(QLatin1String(units), QLatin1String(what)));
        return std::move(list_);
    }
    ParsedList fail(const QString& why) {
        ParsedList refused;
        refused.error = why;
        refused.skipped = list_.skipped;
        return refused;
    }

private:
    ParsedList list_;
    QSet<QString> seen_;
    qsizetype entries_ = 0;
};

ParsedList refused(const QString& why) {
    ParsedList list;
    list.error = why;
    return list;
}

int digitsAt(QStringView text, qsizetype& at, int minDigits, int maxDigits) {
    int value = 0;
    int n = 0;
    while (at < text.size() && n < maxDigits && text[at].unicode() >= u'0' && text[at].unicode() <= u'9') {
        value = value * 10 + (text[at].unicode() - u'0');
        ++at;
        ++n;
    }
    return n >= minDigits ? value : -1;
}

// "2026/12/09 14:30", also "2026-12-9" or "2026/12/09" alone; the date written there.
QDate topDate(QStringView field, QTime* clock = nullptr) {
    qsizetype at = 0;
    const int year = digitsAt(field, at, 4, 4);
    if (year < 0 || at >= field.size() || (field[at] != u'/' && field[at] != u'-'))
        return {};
    const QChar separator = field[at++];
    const int month = digitsAt(field, at, 1, 2);
    if (month < 0 || at >= field.size() || field[at++] != separator)
        return {};
    const int day = digitsAt(field, at, 1, 2);
    if (day < 0)
        return {};
    if (at < field.size()) {
        // A time may follow: "HH:MM", maybe with seconds.
        if (field[at] != u' ' && field[at] != u'T')
            return {};
        const QStringView time = trimmed(field.sliced(at + 1));
        qsizetype t = 0;
        const int hour = digitsAt(time, t, 1, 2);
        if (hour < 0 || hour > 23 || t >= time.size() || time[t++] != u':')
            return {};
        const int minute = digitsAt(time, t, 2, 2);
        if (minute < 0 || minute > 59)
            return {};
        if (t < time.size()) {
            if (time[t++] != u':' || digitsAt(time, t, 2, 2) < 0 || t != time.size())
                return {};
        }
        if (clock)
            *clock = QTime(hour, minute);
    }
    return QDate(year, month, day);
}

// One CSV field starting at `at`, quotes taken off; `at` ends past its comma.
QStringView csvField(QStringView line, qsizetype& at) {
    const qsizetype comma = line.indexOf(u',', at);
    const qsizetype end = comma < 0 ? line.size() : comma;
    QStringView field = trimmed(line.sliced(at, end - at));
    at = end + 1;
    if (field.size() >= 2 && field.front() == u'"' && field.back() == u'"')
        field = trimmed(field.sliced(1, field.size() - 2));
    return field;
}

} // namespace

QString normalizedName(QStringView raw) {
    QStringView token = trimmed(raw);
    if (token.startsWith(u'[') && token.endsWith(u']'))
        token = token.sliced(1, token.size() - 2);
    return names::unicodeName(token);
}

QString registrySuffix(QStringView name) {
    QStringView rest = name;
    if (rest.endsWith(u'.'))
        rest.chop(1);
    const qsizetype lastDot = rest.lastIndexOf(u'.');
    if (lastDot <= 0)
        return {};
    const QStringView tld = rest.sliced(lastDot + 1);
    const SuffixTexts& texts = suffixTexts();
    if (tld.compare(u"cn", Qt::CaseInsensitive) == 0) {
        const qsizetype secondDot = rest.lastIndexOf(u'.', lastDot - 1);
        const QStringView second = rest.sliced(secondDot + 1, lastDot - secondDot - 1);
        for (qsizetype i = 0; i < texts.cnSecondLevel.size(); ++i) {
            // "com.cn" alone is the suffix itself, not a name under .cn.
            if (second.compare(QStringView(CnSecondLevel[i]), Qt::CaseInsensitive) == 0)
                return secondDot > 0 ? texts.cnSecondLevel[i] : QString();
        }
        return texts.other.front(); // ".cn"
    }
    for (qsizetype i = 0; i < texts.other.size(); ++i)
        if (tld.compare(QStringView(OtherTlds[i]), Qt::CaseInsensitive) == 0)
            return texts.other[i];
    for (qsizetype i = 0; i < texts.chinese.size(); ++i)
        if (tld == QStringView(CnnicChineseTlds[i]))
            return texts.chinese[i];
    return {};
}

QStringList registrySuffixes() {
    const SuffixTexts& texts = suffixTexts();
    return texts.cnSecondLevel + texts.other + texts.chinese;
}

int maxSkipped(qsizetype lines) {
    return int(std::max<qsizetype>(5, lines / 100));
}

QString refuseShrunk(qsizetype now, qsizetype before) {
    if (now <= 0)
        return QStringLiteral("the list holds no names");
    if (before >= 100 && now * 10 < before)
        return QStringLiteral("the list holds %1 names, under a tenth of the %2 it held last time")
            .arg(now)
            .arg(before);
    return {};
}

ParsedList parseCnnic(const QByteArray& bytes, QDate day) {
    if (!day.isValid())
        return refused(QStringLiteral("no valid day given for the list"));
    const QString text = decodeText(bytes);
    if (QString why = refuseText(text); !why.isEmpty())
        return refused(why);
    Collector names;
    forEachLine(text, [&](QStringView line) {
        std::optional<DropName> name = dropName(line);
        if (!name || !isCnnicSuffix(name->suffix))
            return names.skip();
        name->day = day;
        names.add(std::move(*name));
    });
    return names.finish("lines", "domain names");
}

ParsedList parseSwedish(const QByteArray& bytes, const QString& suffix) {
    if (suffix != u".se" && suffix != u".nu")
        return refused(QStringLiteral("no Swedish list for the suffix \"%1\"").arg(suffix));
    // The JSON parser reads UTF-8 itself; only other text is decoded first.
    const auto mark = QStringConverter::encodingForData(bytes);
    QByteArray json = !mark ? bytes
                      : *mark == QStringConverter::Utf8 ? bytes.sliced(3)
                                                         : decodeText(bytes).toUtf8();
    if (QString why = refuseText(QString::fromLatin1(json.trimmed().left(1))); !why.isEmpty())
        return refused(why);
    QJsonParseError parseError;
    QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull() && parseError.error == QJsonParseError::IllegalUTF8String)
        document = QJsonDocument::fromJson(decodeText(json).toUtf8(), &parseError);
    if (document.isNull())
        return refused(QStringLiteral("the answer is not JSON (%1 at byte %2)")
                           .arg(parseError.errorString())
                           .arg(parseError.offset));
    const QJsonValue data = document.object().value(QLatin1String("data"));
    if (!data.isArray())
        return refused(QStringLiteral("the JSON has no \"data\" list"));
    const QJsonArray entries = data.toArray();
    if (entries.isEmpty())
        return refused(QStringLiteral("the list is empty"));
    Collector names;
    for (const QJsonValue& entry : entries) {
        const QJsonObject object = entry.toObject();
        const QString releaseAt = object.value(QLatin1String("release_at")).toString();
        std::optional<DropName> name = dropName(object.value(QLatin1String("name")).toString());
        // The date, then nothing or a time.
        const QDate day = QDate::fromString(QStringView(releaseAt).left(10), Qt::ISODate);
        if (!name || name->suffix != suffix || !day.isValid() ||
            (releaseAt.size() > 10 && releaseAt[10] != u'T' && releaseAt[10] != u' '))
            names.skip();
        else
            names.add({std::move(name->name), suffix, name->length, day});
    }
    return names.finish("entries", "domain names with a release date");
}

ParsedList parseTop(const QByteArray& bytes) {
    const QString text = decodeText(bytes);
    if (QString why = refuseText(text); !why.isEmpty())
        return refused(why);
    Collector names;
    bool first = true;
    forEachLine(text, [&](QStringView line) {
        qsizetype at = 0;
        std::optional<DropName> name = dropName(csvField(line, at));
        QTime time;
        const QDate day = at <= line.size() ? topDate(csvField(line, at), &time) : QDate();
        const bool header = first;
        first = false;
        if (!name || name->suffix != u".top" || !day.isValid()) {
            // The header row names the columns; it is not a row gone wrong.
            if (!header)
                names.skip();
            return;
        }
        name->day = day;
        name->time = time;
        names.add(std::move(*name));
    });
    return names.finish("rows", "domain names with a deletion date");
}

} // namespace sites::sources
