// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "watch/watchlist.h"

#include <QDateTime>
#include <QDialog>
#include <QSet>

class Following;
class Form1;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

// 关注列表: the followed names with their status, deletion day, last check and latest event.
// From here the user stops following names, has them checked now and exports the list. While
// checks it asked for are under way, it asks lumo-sites again every two seconds until each
// has its answer.
class WatchDialog : public QDialog {
    Q_OBJECT
public:
    WatchDialog(Following& following, Form1& form);

    // Reads the list again and shows it.
    void refresh();
    // Checks the selected names now, or every name when none is selected.
    void checkNow();
    void removeSelected();
    void exportList();

    QTableWidget* table = nullptr;
    QLabel* state = nullptr;
    QPushButton* checkButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* exportButton = nullptr;

    // The columns, left to right.
    enum Column { Name, Status, Deleted, Checked, Event, Columns };

private:
    QStringList selectedNames() const;
    void show(const watch::WatchList& list);
    void updateButtons();

    Following& following_;
    Form1& form_;
    QList<watch::Watched> names_;
    QTimer* poll_ = nullptr;
    QDateTime asked_;        // when the checks waited for were asked for
    QSet<QString> waiting_;  // the names whose answers are waited for
    int idlePolls_ = 0;      // polls in a row with an empty queue and answers still owed
};
