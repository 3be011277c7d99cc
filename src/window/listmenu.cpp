// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/listmenu.h"

#include "listing/export.h"
#include "listing/urls.h"
#include "window/filterdialog.h"
#include "window/following.h"
#include "window/form1.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QStandardPaths>
#include <algorithm>

namespace {

// Keys List1 handles itself that must not act behind a greyed entry or open no menu: Qt's
// own Ctrl+C copies the current row even when nothing is selected, and Shift+F10 is the
// menu key's stand-in on keyboards without one.
class ListKeys : public QObject {
public:
    ListKeys(QObject* parent, std::function<void()> openMenu)
        : QObject(parent), openMenu_(std::move(openMenu)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            openMenu_();
            return true;
        }
        return key->matches(QKeySequence::Copy);
    }

private:
    std::function<void()> openMenu_;
};

const QString txtFilter = QStringLiteral("文本文件，每行一个域名 (*.txt)");
const QString csvFilter = QStringLiteral("CSV 表格 (*.csv)");

} // namespace

ListMenu::ListMenu(Form1& form) : QObject(&form), form_(form), menu_(new QMenu(form.List1)) {
    QListWidget* list = form.List1;
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    menu_->setObjectName(QStringLiteral("List1Menu"));
    menu_->setAccessibleName(QStringLiteral("域名列表菜单"));

    // Each entry's shortcut works while the list has the keyboard, and only then: a cover
    // that takes the keyboard off the list takes the shortcuts with it.
    const auto entry = [&](const QString& text, const QKeySequence& keys,
                           void (ListMenu::*handler)()) {
        auto* action = new QAction(text, list);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        action->setShortcutVisibleInContextMenu(true);
        connect(action, &QAction::triggered, this, handler);
        list->addAction(action);
        menu_->addAction(action);
        return action;
    };
    copyAction = entry(QStringLiteral("复制"), QKeySequence::Copy, &ListMenu::copySelected);
    copyAllAction = entry(QStringLiteral("复制全部"), {}, &ListMenu::copyAll);
    selectAllAction = entry(QStringLiteral("全选"), QKeySequence::SelectAll, &ListMenu::selectAll);
    menu_->addSeparator();
    exportAction = entry(QStringLiteral("导出…"), QKeySequence::Save, &ListMenu::exportList);
    menu_->addSeparator();
    filterAction = entry(QStringLiteral("筛选…"), {}, &ListMenu::editFilter);
    clearFilterAction = entry(QStringLiteral("清除筛选"), {}, &ListMenu::clearFilter);
    menu_->addSeparator();
    followAction = entry(QStringLiteral("关注"), {}, &ListMenu::followSelected);
    unfollowAction = entry(QStringLiteral("取消关注"), {}, &ListMenu::unfollowSelected);
    followedAction = entry(QStringLiteral("关注列表…"), {}, &ListMenu::showFollowed);
    connect(form.following, &Following::changed, this, &ListMenu::updateActions);

    list->installEventFilter(new ListKeys(this, [this] { popUpAtCurrent(); }));
    connect(list, &QWidget::customContextMenuRequested, this, &ListMenu::popUp);
    QAbstractItemModel* model = list->model();
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { namesInserted(first, last); });
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int last) { namesRemoved(first, last); });
    connect(model, &QAbstractItemModel::modelReset, this, &ListMenu::listReset);
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ListMenu::updateActions);
    // The model and the selection outlive the list's own destructor and still signal then.
    connect(list, &QObject::destroyed, this, [this, model, selection = list->selectionModel()] {
        model->disconnect(this);
        selection->disconnect(this);
    });

    exportFolder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (exportFolder_.isEmpty() || !QFileInfo(exportFolder_).isDir())
        exportFolder_ = QDir::homePath();
    listReset();
}

void ListMenu::setCell(const QString& day, int suffixIndex, int length) {
    day_ = day;
    suffixIndex_ = suffixIndex;
    length_ = length;
}

// --- The entries ----------------------------------------------------------------------------

void ListMenu::copySelected() {
    const QStringList names = selectedShownNames();
    if (!names.isEmpty())
        QGuiApplication::clipboard()->setText(names.join(u'\n'));
}

void ListMenu::copyAll() {
    const QStringList names = shownNames();
    if (!names.isEmpty())
        QGuiApplication::clipboard()->setText(names.join(u'\n'));
}

void ListMenu::selectAll() {
    // Qt selects the shown rows only, a range for each run of them. Replacing a selection of
    // many ranges by another takes Qt time that grows with both (a second with a filter that
    // hides every other of 20,000 names); emptying it first does not.
    form_.List1->clearSelection();
    form_.List1->selectAll();
}

void ListMenu::exportList() {
    if (shownCount_ == 0)
        return;
    const QString suffix = listing::suffix(suffixIndex_);
    const QString stem = listing::listFileStem(day_, suffix, length_);
    const QString path = form_.SaveFileName(QDir(exportFolder_).filePath(stem + ".txt"));
    if (path.isEmpty())
        return;
    exportFolder_ = QFileInfo(path).absolutePath();

    // The names as they stand now: a retrieval may have gone on while the dialog was open.
    const QStringList names = shownNames();
    const bool csv = QFileInfo(path).suffix().compare(u"csv", Qt::CaseInsensitive) == 0;
    const QByteArray bytes =
        (csv ? listing::listCsvHeader() + listing::listCsvRows(names, length_, suffix, day_)
             : listing::namesAsText(names))
            .toUtf8();
    const std::optional<QString> reason = listing::saveWhole(path, bytes);
    if (!reason)
        return;
    form_.MsgBox(QStringLiteral("导出失败：%1\n%2").arg(QDir::toNativeSeparators(path), *reason),
                 MsgBoxStyle::OkOnly, QStringLiteral("导出"));
}

void ListMenu::editFilter() {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    auto* dialog = new FilterDialog(
        filter_.criteria(), [this] { return FilterDialog::Listed{names_, generation_}; }, &form_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (dialog->filter())
            setFilter(*dialog->filter(), dialog->verdicts(), dialog->generation());
    });
    connect(dialog, &FilterDialog::clearRequested, this, &ListMenu::clearFilter);
    dialog_ = dialog;
    // Not exec(): a retrieval waiting for its next page must go on while the dialog is open.
    dialog->open();
}

void ListMenu::followSelected() {
    const QStringList names = selectedShownNames();
    if (!names.isEmpty())
        form_.following->follow(names);
}

void ListMenu::unfollowSelected() {
    const QStringList names = selectedShownNames();
    if (!names.isEmpty())
        form_.following->unfollow(names);
}

void ListMenu::showFollowed() {
    form_.following->showList();
}

FilterDialog* ListMenu::filterDialog() const {
    return dialog_;
}

void ListMenu::clearFilter() {
    setFilter(listing::NameFilter());
}

void ListMenu::setFilter(const listing::NameFilter& filter,
                         const std::vector<listing::Verdict>& known, quint64 generation) {
    filter_ = filter;
    QListWidget* list = form_.List1;
    const int n = list->count();
    shown_.resize(std::size_t(n), 1);
    undecided_.assign(std::size_t(n), 0);
    undecidedCount_ = 0;
    const std::size_t counted = generation == generation_ ? std::min(known.size(), shown_.size()) : 0;
    qsizetype shown = 0;
    // Only the rows whose state changes: each change costs the view a little.
    for (int row = 0; row < n; ++row) {
        const listing::Verdict verdict =
            filter_.isEmpty()            ? listing::Verdict::Passes
            : std::size_t(row) < counted ? known[std::size_t(row)]
                                         : filter_.judge(names_.at(row));
        const bool pass = passes(row, verdict);
        if (pass != bool(shown_[std::size_t(row)])) {
            shown_[std::size_t(row)] = pass;
            list->setRowHidden(row, !pass);
        }
        shown += pass;
    }
    shownCount_ = shown;
    listChanged();
}

bool ListMenu::passes(int row, listing::Verdict verdict) {
    if (verdict != listing::Verdict::Undecided)
        return verdict == listing::Verdict::Passes;
    // Hiding it would be losing it in silence; the list's tooltip counts it instead.
    undecided_[std::size_t(row)] = 1;
    ++undecidedCount_;
    return true;
}

// --- The names ------------------------------------------------------------------------------

QStringList ListMenu::shownNames() const {
    QStringList names;
    names.reserve(shownCount_);
    for (std::size_t row = 0; row < shown_.size(); ++row)
        if (shown_[row])
            names.append(form_.List1->item(int(row))->text());
    return names;
}

QStringList ListMenu::selectedShownNames() const {
    QStringList names;
    for (int row : selectedShownRows(false))
        names.append(form_.List1->item(row)->text());
    return names;
}

// The selection's rows in list order, hidden ones left out; with `firstOnly`, one at most.
std::vector<int> ListMenu::selectedShownRows(bool firstOnly) const {
    std::vector<int> rows;
    for (const QItemSelectionRange& range : form_.List1->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (std::size_t(row) < shown_.size() && shown_[std::size_t(row)]) {
                rows.push_back(row);
                if (firstOnly)
                    return rows;
            }
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void ListMenu::namesInserted(int first, int last) {
    QListWidget* list = form_.List1;
    if (first != names_.size())
        ++generation_;
    for (int row = first; row <= last; ++row)
        names_.insert(row, list->item(row)->text());
    shown_.insert(shown_.begin() + first, std::size_t(last - first + 1), 1);
    undecided_.insert(undecided_.begin() + first, std::size_t(last - first + 1), 0);
    for (int row = first; row <= last; ++row) {
        const bool pass =
            filter_.isEmpty() || passes(row, filter_.judge(names_.at(row)));
        if (!pass) {
            shown_[std::size_t(row)] = 0;
            list->setRowHidden(row, true);
        }
        shownCount_ += pass;
    }
    listChanged();
}

void ListMenu::namesRemoved(int first, int last) {
    ++generation_;
    names_.remove(first, last - first + 1);
    const auto from = shown_.begin() + first, to = shown_.begin() + last + 1;
    shownCount_ -= std::count(from, to, 1);
    shown_.erase(from, to);
    const auto ufrom = undecided_.begin() + first, uto = undecided_.begin() + last + 1;
    undecidedCount_ -= std::count(ufrom, uto, 1);
    undecided_.erase(ufrom, uto);
    listChanged();
}

void ListMenu::listReset() {
    ++generation_;
    names_.clear();
    shown_.clear();
    shownCount_ = 0;
    undecided_.clear();
    undecidedCount_ = 0;
    if (form_.List1->count() > 0)
        namesInserted(0, form_.List1->count() - 1);
    else
        listChanged();
}

void ListMenu::listChanged() {
    QString tip;
    if (!filter_.isEmpty())
        tip = shownOfListed(shownCount_, form_.List1->count());
    if (undecidedCount_ > 0)
        tip += QStringLiteral("，其中 %1 个正则表达式无法判断，照常显示").arg(undecidedCount_);
    form_.List1->setToolTip(tip);
    updateActions();
    if (dialog_)
        dialog_->recount();
}

void ListMenu::updateActions() {
    const bool any = shownCount_ > 0;
    copyAction->setEnabled(!selectedShownRows(true).empty());
    copyAllAction->setEnabled(any);
    selectAllAction->setEnabled(any);
    exportAction->setEnabled(any);
    clearFilterAction->setVisible(!filter_.isEmpty());
    // Selections change often and may hold thousands: which of them are followed is looked
    // at when the menu opens.
    const bool picked = copyAction->isEnabled();
    followAction->setEnabled(picked);
    unfollowAction->setEnabled(picked);
}

// --- The menu -------------------------------------------------------------------------------

void ListMenu::popUp(const QPoint& viewportPos) {
    // Once, so that 取消关注 is offered where it applies; a failure leaves both offered.
    if (!form_.following->known())
        form_.following->load();
    updateActions();
    if (form_.following->known() && unfollowAction->isEnabled()) {
        const QStringList selected = selectedShownNames();
        unfollowAction->setEnabled(std::any_of(
            selected.begin(), selected.end(),
            [this](const QString& name) { return form_.following->isFollowed(name); }));
    }
    menu_->popup(form_.List1->viewport()->mapToGlobal(viewportPos));
}

// At the current name when it is in view, else at the list's top left corner.
void ListMenu::popUpAtCurrent() {
    QListWidget* list = form_.List1;
    const QRect item = list->visualRect(list->currentIndex());
    const QRect view = list->viewport()->rect();
    popUp(item.intersects(view) ? item.center() : QPoint(4, 4));
}

// --- The save dialog ------------------------------------------------------------------------

QString askSaveFileName(QWidget* owner, const QString& proposedPath) {
    QFileDialog dialog(owner, QStringLiteral("导出域名"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({txtFilter, csvFilter});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(proposedPath);
    // Choosing the other kind changes the name's extension with it.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        const QString ext = f == csvFilter ? QStringLiteral("csv") : QStringLiteral("txt");
        dialog.setDefaultSuffix(ext);
        const QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty())
            return;
        const QFileInfo file(chosen.first());
        const QString now = file.suffix().toLower();
        if (now == u"txt" || now == u"csv")
            dialog.selectFile(file.completeBaseName() + u'.' + ext);
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}
