// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/watchdialog.h"

#include "listing/export.h"
#include "window/following.h"
#include "window/form1.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

WatchDialog::WatchDialog(Following& following, Form1& form)
    : QDialog(&form), following_(following), form_(form) {
    setObjectName(QStringLiteral("watchDialog"));
    setWindowTitle(QStringLiteral("关注列表"));
    setAccessibleName(QStringLiteral("关注列表"));

    table = new QTableWidget(0, Columns);
    table->setObjectName(QStringLiteral("watchTable"));
    table->setAccessibleName(QStringLiteral("关注的域名"));
    table->setHorizontalHeaderLabels({QStringLiteral("域名"), QStringLiteral("状态"),
                                      QStringLiteral("删除时间"), QStringLiteral("上次检查"),
                                      QStringLiteral("最近事件")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->setWordWrap(false);
    state = new QLabel;
    state->setTextFormat(Qt::PlainText);
    state->setAccessibleName(QStringLiteral("关注列表状态"));

    auto* buttons = new QDialogButtonBox;
    checkButton = buttons->addButton(QStringLiteral("立即检查(&C)"), QDialogButtonBox::ActionRole);
    removeButton = buttons->addButton(QStringLiteral("取消关注(&R)"), QDialogButtonBox::ActionRole);
    exportButton = buttons->addButton(QStringLiteral("导出(&E)…"), QDialogButtonBox::ActionRole);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    checkButton->setToolTip(QStringLiteral("检查选中的域名；没有选中时检查全部"));
    connect(checkButton, &QPushButton::clicked, this, &WatchDialog::checkNow);
    connect(removeButton, &QPushButton::clicked, this, &WatchDialog::removeSelected);
    connect(exportButton, &QPushButton::clicked, this, &WatchDialog::exportList);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &WatchDialog::updateButtons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(state);
    layout->addWidget(buttons);
    resize(720, 320);

    poll_ = new QTimer(this);
    poll_->setInterval(2000);
    connect(poll_, &QTimer::timeout, this, &WatchDialog::refresh);
    updateButtons();
}

void WatchDialog::refresh() {
    QString problem;
    const std::optional<watch::WatchList> list = following_.load(&problem);
    if (!list) {
        // An empty reason: a newer read overtook this one and shows the list itself.
        if (!problem.isEmpty())
            state->setText(QStringLiteral("关注列表载入失败：%1").arg(problem));
        return;
    }
    show(*list);
}

void WatchDialog::show(const watch::WatchList& list) {
    names_ = list.names;
    const QStringList before = selectedNames();
    table->setRowCount(int(names_.size()));
    for (int row = 0; row < names_.size(); ++row) {
        const watch::Watched& w = names_.at(row);
        const QString cells[Columns] = {w.name, w.status,
                                        watch::deletedText(w).isEmpty() ? QStringLiteral("-")
                                                                        : watch::deletedText(w),
                                        watch::localTime(w.checked),
                                        w.event ? w.event->text : QStringLiteral("-")};
        for (int column = 0; column < Columns; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            table->setItem(row, column, item);
        }
        if (w.approximate && w.deleted)
            table->item(row, Deleted)->setToolTip(QStringLiteral("删除日期为估计值"));
        // A long reason or event is cut short in its column and read whole in its tooltip.
        table->item(row, Status)->setToolTip(w.status);
        if (w.event)
            table->item(row, Event)->setToolTip(watch::localTime(w.event->at) + u' ' +
                                                w.event->text);
        if (before.contains(w.name))
            table->selectRow(row);
    }

    table->resizeColumnsToContents();
    for (int column = 0; column < Event; ++column)
        table->setColumnWidth(column, qMin(table->columnWidth(column), 180));

    QString text = QStringLiteral("共 %1 个域名").arg(names_.size());
    if (!waiting_.isEmpty()) {
        qsizetype answered = 0;
        QSet<QString> present;
        for (const watch::Watched& w : names_)
            if (waiting_.contains(w.name)) {
                present.insert(w.name);
                answered += watch::checkedSince(w, asked_);
            }
        // Names removed meanwhile owe no answer.
        answered += waiting_.size() - present.size();
        idlePolls_ = list.pending == 0 ? idlePolls_ + 1 : 0;
        const bool all = answered == waiting_.size();
        if (all || idlePolls_ >= 3) {
            waiting_.clear();
            poll_->stop();
            text += all ? QStringLiteral("，检查完毕") : QStringLiteral("，有的域名没有等到结果");
        } else {
            text += QStringLiteral("，正在检查 %1/%2").arg(answered).arg(waiting_.size());
        }
    }
    if (list.pending > 0)
        text += QStringLiteral("，队列里还有 %1 个待检查").arg(list.pending);
    state->setText(text);
    updateButtons();
}

QStringList WatchDialog::selectedNames() const {
    QStringList names;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        if (index.row() < names_.size())
            names << names_.at(index.row()).name;
    return names;
}

void WatchDialog::updateButtons() {
    removeButton->setEnabled(!selectedNames().isEmpty());
    checkButton->setEnabled(!names_.isEmpty());
    exportButton->setEnabled(!names_.isEmpty());
}

void WatchDialog::checkNow() {
    QStringList names = selectedNames();
    if (names.isEmpty())
        for (const watch::Watched& w : names_)
            names << w.name;
    if (names.isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::optional<QStringList> queued = following_.check(names);
    if (!queued)
        return;
    asked_ = now.addMSecs(-now.time().msec());
    waiting_ = QSet<QString>(queued->begin(), queued->end());
    idlePolls_ = 0;
    poll_->start();
    refresh();
}

void WatchDialog::removeSelected() {
    const QStringList names = selectedNames();
    if (!names.isEmpty())
        following_.unfollow(names);
}

void WatchDialog::exportList() {
    if (names_.isEmpty())
        return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    const QString path = form_.SaveFileName(QDir(folder).filePath(QStringLiteral("关注列表.csv")));
    if (path.isEmpty())
        return;
    QStringList plain;
    for (const watch::Watched& w : names_)
        plain << w.name;
    // CSV with every column as lumo-cli writes it; a text file the names alone.
    const bool csv = QFileInfo(path).suffix().compare(u"csv", Qt::CaseInsensitive) == 0;
    const QByteArray bytes = (csv ? watch::csv(names_) : listing::namesAsText(plain)).toUtf8();
    const std::optional<QString> reason = listing::saveWhole(path, bytes);
    if (!reason)
        return;
    form_.MsgBox(QStringLiteral("导出失败：%1\n%2").arg(QDir::toNativeSeparators(path), *reason),
                 MsgBoxStyle::OkOnly, QStringLiteral("导出"));
}
