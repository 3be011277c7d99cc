// SPDX-License-Identifier: GPL-3.0-or-later
#include "names/domainname.h"

#include <QUrl>

#include <algorithm>

namespace sites::names {
namespace {

constexpr auto IdnOptions = QUrl::AceProcessingOption::IgnoreIDNWhitelist;

// Every label LDH, at least two of them, within the length a name may have.
bool isLdhName(QStringView ascii) {
    if (ascii.isEmpty() || ascii.size() > MaxNameChars)
        return false;
    qsizetype start = 0;
    int labels = 0;
    while (start <= ascii.size()) {
        qsizetype dot = ascii.indexOf(u'.', start);
        if (dot < 0)
            dot = ascii.size();
        if (!isLdhLabel(ascii.sliced(start, dot - start)))
            return false;
        ++labels;
        start = dot + 1;
    }
    return labels >= 2;
}

bool hasAceLabel(QStringView ascii) {
    return ascii.startsWith(u"xn--") || ascii.contains(u".xn--");
}

// The Unicode form of an ACE name, when it decodes and encodes back to the same name.
QString fromAceChecked(const QString& ascii) {
    const QString unicode = QUrl::fromAce(ascii.toLatin1(), IdnOptions);
    // Qt leaves a label that does not decode as it was.
    if (unicode.isEmpty() || hasAceLabel(unicode))
        return {};
    if (QString::fromLatin1(QUrl::toAce(unicode, IdnOptions)) != ascii)
        return {};
    return unicode;
}

// Both forms of `raw`, the ACE form returned; empty when it is not a domain name. Plain ASCII,
// nearly every name, is only lower-cased; only an IDN takes the IDN machinery.
QString bothForms(QStringView raw, QString* unicode) {
    QStringView token = raw.trimmed();
    if (token.endsWith(u'.'))
        token.chop(1);
    // Longer than any name even in Unicode form: not worth the IDN machinery.
    if (token.isEmpty() || token.size() > MaxNameChars)
        return {};
    QString ascii(token.size(), Qt::Uninitialized);
    bool plain = true;
    for (qsizetype i = 0; i < token.size() && plain; ++i) {
        char16_t c = token[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        plain = c < 0x80;
        ascii[i] = QChar(c);
    }
    // UTS #46 maps the U-labels (case, width, the ideographic full stop) on the way.
    if (!plain)
        ascii = QString::fromLatin1(QUrl::toAce(token.toString(), IdnOptions));
    if (!isLdhName(ascii))
        return {};
    if (!plain || hasAceLabel(ascii)) {
        *unicode = fromAceChecked(ascii);
        return unicode->isEmpty() ? QString() : ascii;
    }
    *unicode = ascii;
    return ascii;
}

} // namespace

bool isLdhLabel(QStringView label) {
    if (label.isEmpty() || label.size() > 63 || label.front() == u'-' || label.back() == u'-')
        return false;
    return std::all_of(label.begin(), label.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'-';
    });
}

QString unicodeName(QStringView name) {
    QString unicode;
    bothForms(name, &unicode);
    return unicode;
}

QString aceName(QStringView name) {
    QString unicode;
    return bothForms(name, &unicode);
}

bool endsInNumber(QStringView name) {
    const QStringView top = name.sliced(name.lastIndexOf(u'.') + 1);
    return !top.isEmpty() && std::all_of(top.begin(), top.end(), [](QChar c) { return c.isDigit(); });
}

} // namespace sites::names
