// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/domainlist.h"
#include "listing/retrieval.h"
#include "window/form1.h"
#include "window/listmenu.h"

#include <QLineEdit>
#include <QListWidget>

namespace {

using Row = ControlArray<Label, 1, 7>;

// The status line after a retrieval: a list that holds less than it should says so first,
// with what came, where the narrow line still shows it; the names listed stay.
QString listStatus(const listing::Retrieval& result, bool approximate) {
    if (result.complete())
        return approximate ? QStringLiteral("恭喜查询完毕！(估计值)")
                           : QStringLiteral("恭喜查询完毕！");
    QString status = QStringLiteral("列表不完整：%1").arg(result.listed);
    if (result.count)
        status += QStringLiteral("/%1").arg(*result.count);
    status += u'个';
    if (result.end == listing::Retrieval::End::Failed)
        status += QStringLiteral("，第%1页载入失败").arg(result.page);
    return status;
}

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
    const listing::ColumnState state = form.columnStates[std::size_t(suffixIndex - 1)];
    // "-" is no count at all: there is nothing to list, and the list is not finished either.
    if (row(suffixIndex)->text() == u"-") {
        form.Label8->setText(state == listing::ColumnState::NoData
                                 ? QStringLiteral("这一天还没有数据")
                                 : QStringLiteral("这个后缀没有数据来源"));
        return;
    }
    form.Label8->setText(QStringLiteral("正在查询，请等待！"));

    const listing::Cell cell{form.addresses().listing, form.Text7->text(), suffixIndex, length,
                             row(suffixIndex)->text()};
    // Exported files are named after the real day where the service tells it.
    form.listMenu->setCell(form.realDay.isEmpty() ? cell.date : form.realDay, suffixIndex, length);
    if (suffixIndex == 1)
        form.Text8->setText(QString::number(listing::pageCount(cell.caption)));
    const listing::Retrieval result = listing::retrieveNames(
        cell,
        [&](const listing::ListedPage& page) {
            if (latestRun != run)
                return false;
            // One batch per page: thousands of names stay quick to list.
            form.List1->addItems(page.names);
            form.Label7->setText(QString::number(form.List1->count()));
            return true;
        },
        [&] { return form.Text10->text() == u"1"; }, {1, &lane});
    if (latestRun == run)
        form.Label8->setText(
            listStatus(result, state == listing::ColumnState::Approximate));
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
