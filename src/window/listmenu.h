// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listing/filter.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <vector>

class Form1;
class FilterDialog;
class QAction;
class QMenu;
class QPoint;
class QWidget;

// What the user can do with the listed names besides picking one: select several, copy them,
// export them to a file and show only those a filter passes. It all lives in List1's context
// menu and its shortcuts; the window's face stays as it is.
//
// A filter hides names, it never removes them: the list, its running count and the
// retrieval's end test keep every name listed, and names listed later are filtered as they
// come.
class ListMenu : public QObject {
    Q_OBJECT
public:
    explicit ListMenu(Form1& form);

    // The cell whose names the list holds from now on, as its retrieval read it.
    void setCell(const QString& day, int suffixIndex, int length);

    // The menu's entries.
    void copySelected();
    void copyAll();
    void selectAll();
    void exportList();
    void editFilter();
    void clearFilter();
    // The selected names followed, or no longer; the followed names' dialog.
    void followSelected();
    void unfollowSelected();
    void showFollowed();

    // Judges every listed name on this thread; `known` holds verdicts already reached for the
    // first names of the list of `generation`.
    void setFilter(const listing::NameFilter& filter,
                   const std::vector<listing::Verdict>& known = {}, quint64 generation = 0);
    const listing::NameFilter& filter() const { return filter_; }

    // In list order.
    QStringList shownNames() const;
    QStringList selectedShownNames() const;
    qsizetype shownCount() const { return shownCount_; }
    // Names the filter's regular expression could not judge: they stay shown.
    qsizetype undecidedCount() const { return undecidedCount_; }

    // The filter dialog while it is open.
    FilterDialog* filterDialog() const;

    QAction* copyAction = nullptr;
    QAction* copyAllAction = nullptr;
    QAction* selectAllAction = nullptr;
    QAction* exportAction = nullptr;
    QAction* filterAction = nullptr;
    QAction* clearFilterAction = nullptr;
    QAction* followAction = nullptr;
    QAction* unfollowAction = nullptr;
    QAction* followedAction = nullptr;

private:
    void popUp(const QPoint& viewportPos);
    void popUpAtCurrent();
    void namesInserted(int first, int last);
    void namesRemoved(int first, int last);
    void listReset();
    void listChanged();
    void updateActions();
    // Whether row `row` is shown under the filter, noting a name it cannot judge.
    bool passes(int row, listing::Verdict verdict);
    std::vector<int> selectedShownRows(bool firstOnly) const;

    Form1& form_;
    QMenu* menu_;
    QPointer<FilterDialog> dialog_;
    listing::NameFilter filter_;
    std::vector<char> shown_; // per row: whether the filter passes it
    qsizetype shownCount_ = 0;
    std::vector<char> undecided_; // per row: whether the filter could not judge it
    qsizetype undecidedCount_ = 0;
    // The listed names for the filter dialog's count, and what changes when they change other
    // than by names added at the end.
    QStringList names_;
    quint64 generation_ = 0;
    QString day_;
    int suffixIndex_ = 0;
    int length_ = 0;
    QString exportFolder_; // the folder of the last export, for the next one
};

// The desktop's save dialog, offering text and CSV; the chosen path, or empty.
QString askSaveFileName(QWidget* owner, const QString& proposedPath);
