// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/domainlist.h"

#include "listing/urls.h"
#include "net/module1.h"
#include "scrape/split.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QListWidget>

namespace listing {

std::optional<qint64> countValue(QStringView caption) {
    const QStringView numeral = caption.trimmed();
    const QStringView digits =
        numeral.startsWith(u'+') || numeral.startsWith(u'-') ? numeral.sliced(1) : numeral;
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits)
        if (c < u'0' || c > u'9')
            return std::nullopt;
    bool ok = false;
    const qint64 value = numeral.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

int pageCount(QStringView caption) {
    const std::optional<qint64> count = countValue(caption);
    if (!count || *count <= 0)
        return 1;
    const qint64 pages = (*count + namesPerPage - 1) / namesPerPage;
    return pages > 32767 ? 1 : int(pages);
}

EndTest::EndTest(int length, QString caption)
    : textual_(length == 3), caption_(std::move(caption)), value_(countValue(caption_)) {}

bool EndTest::met(qsizetype entries) const {
    if (textual_)
        return QString::number(entries) == caption_;
    return value_ && entries == *value_;
}

qsizetype EndTest::take(qsizetype entries, qsizetype offered) const {
    for (qsizetype k = 1; k <= offered; ++k)
        if (met(entries + k))
            return k;
    return offered;
}

QStringList namesOnPage(QStringView page, QStringView marker, qsizetype maxPieces) {
    QStringList names;
    scrape::Pieces pieces(page, marker);
    pieces.next(); // what comes before the first name
    for (qsizetype k = 1; k <= maxPieces; ++k) {
        const std::optional<QStringView> link = pieces.next();
        if (!link)
            break;
        if (const auto name = scrape::piece(*link, u">", 0))
            names.append(name->toString());
    }
    return names;
}

} // namespace listing

namespace {

using Row = ControlArray<Label, 1, 7>;

// Lists the names of one cell, page by page. It works on the date and the count it started
// with; a newer cell click overtakes it, and then it leaves the list and the status line to
// the newer one.
void retrieveList(Form1& form, quint64& latestRun, Module1::Lane& lane, const Row& row, int length,
                  int suffixIndex) {
    form.Text10->setText(QStringLiteral("0"));
    if (!Row::contains(suffixIndex))
        return;
    const quint64 run = ++latestRun;
    lane.abort();
    form.List1->clear();
    form.Label7->setText(QStringLiteral("0"));
    form.Label8->setText(QStringLiteral("正在查询，请等待！"));

    const QString date = form.Text7->text();
    const QString caption = row(suffixIndex)->text();
    const listing::EndTest end(length, caption);
    const int pages = listing::pageCount(caption);
    if (suffixIndex == 1)
        form.Text8->setText(QString::number(pages));
    const QString base = form.addresses().listing;
    const QString marker = listing::linkMarker(base);

    for (int page = 1; page <= pages; ++page) {
        if (end.met(form.List1->count()))
            break; // nothing more to ask for
        const QString text = Module1::GetPageUtf8(
            listing::listPageUrl(base, date, suffixIndex, length, page), &lane);
        if (latestRun != run)
            return;
        QStringList names = listing::namesOnPage(text, marker);
        names.resize(end.take(form.List1->count(), names.size()));
        // One batch per page: thousands of names stay quick to list.
        form.List1->addItems(names);
        form.Label7->setText(QString::number(form.List1->count()));
        if (form.Text10->text() == u"1")
            break;
    }
    form.Label8->setText(QStringLiteral("恭喜查询完毕！"));
}

} // namespace

void Form1::Label2_Click(int Index) {
    retrieveList(*this, listRun_, listLane_, Label2, 3, Index);
}
void Form1::Label3_Click(int Index) {
    retrieveList(*this, listRun_, listLane_, Label3, 4, Index);
}
void Form1::Label4_Click(int Index) {
    retrieveList(*this, listRun_, listLane_, Label4, 5, Index);
}
void Form1::Label5_Click(int Index) {
    retrieveList(*this, listRun_, listLane_, Label5, 6, Index);
}
void Form1::Label6_Click(int Index) {
    retrieveList(*this, listRun_, listLane_, Label6, 7, Index);
}

void Form1::Command7_Click() {
    Text10->setText(QStringLiteral("1"));
    Label8->setText(QStringLiteral("正在停止，请等待！"));
}
