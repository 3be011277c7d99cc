// SPDX-License-Identifier: GPL-3.0-or-later
#include "listing/daysummary.h"
#include "listing/urls.h"
#include "net/module1.h"
#include "window/form1.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace {

const QString loadFailed = QStringLiteral("数据载入失败，请重试");

// The header label of each suffix index, as the grid's columns run.
constexpr int headerOfColumn[] = {0, 1, 5, 6, 4, 3, 2, 12};

// Each header says how far its column's counts can be trusted: estimates carry a mark
// beside the suffix (never in the counts, which the cells read as numbers), and a tooltip
// says what the mark or a "-" below means.
void markColumns(Form1& form, const listing::DaySummary& summary) {
    for (int i = 1; i <= 7; ++i) {
        const listing::ColumnState state = summary.column(i);
        QString tip;
        switch (state) {
        case listing::ColumnState::Approximate:
            tip = QStringLiteral("删除日期为估计值，由区域文件的变化推算");
            break;
        case listing::ColumnState::NoData:
            tip = QStringLiteral("这一天还没有数据");
            break;
        case listing::ColumnState::NoSource:
            tip = QStringLiteral("没有数据来源");
            break;
        case listing::ColumnState::Generated:
            tip = QStringLiteral("演示数据：这些域名是生成的，不是注册局的删除列表。");
            break;
        default:
            break;
        }
        Label* header = form.Label1(headerOfColumn[i]);
        header->setText((state == listing::ColumnState::Approximate ? QStringLiteral("≈")
                                                                     : QString()) +
                        listing::suffix(i));
        header->setToolTip(tip);
        header->setAccessibleDescription(tip);
        form.columnStates[std::size_t(i - 1)] = state;
    }
    form.realDay = summary.realDay.value_or(QString());
    form.showGenerated(summary.generated);
}

enum class Charset { Utf8, Gb2312 };

// Fills the grid from one day-summary page. The grid, the title and Text7 always show one
// day: a page without its date changes none of them, and a count the page lacks shows
// "..." rather than the previous day's figure.
void loadDay(Form1& form, const QLineEdit* slot, Charset charset) {
    // The cover keeps the mouse off the date buttons during a load, but a focused button can
    // still be pressed from the keyboard; one load at a time.
    if (!form.Frame4->isHidden())
        return;
    form.Frame4->show();
    const QString url = listing::daySummaryUrl(form.addresses().listing, slot->text());
    const QString page =
        charset == Charset::Utf8 ? Module1::GetPageUtf8(url) : Module1::GetPageGb2312(url);
    const listing::DaySummary summary = listing::parseDaySummary(page);
    if (summary.printedDate) {
        form.Text7->setText(*summary.printedDate);
        form.Label1(0)->setText(*summary.printedDate + QStringLiteral("删除的域名"));
        const ControlArray<Label, 1, 7>* rows[] = {&form.Label2, &form.Label3, &form.Label4,
                                                   &form.Label5, &form.Label6};
        for (int length = 3; length <= 7; ++length)
            for (int i = 1; i <= 7; ++i)
                (*rows[length - 3])(i)->setText(
                    summary.count(length, i).value_or(QStringLiteral("...")));
        markColumns(form, summary);
        if (form.Label8->text() == loadFailed) // the retry worked
            form.Label8->setText(QStringLiteral(".."));
    } else {
        form.Label8->setText(loadFailed);
    }
    form.Frame4->hide();
}

} // namespace

void Form1::Command1_Click() {
    loadDay(*this, Text3, Charset::Utf8);
}
void Form1::Command2_Click() {
    loadDay(*this, Text2, Charset::Gb2312);
}
void Form1::Command3_Click() {
    loadDay(*this, Text1, Charset::Utf8);
}
void Form1::Command4_Click() {
    loadDay(*this, Text4, Charset::Gb2312);
}
void Form1::Command5_Click() {
    loadDay(*this, Text5, Charset::Gb2312);
}
void Form1::Command6_Click() {
    loadDay(*this, Text6, Charset::Gb2312);
}
