// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listing/filter.h"

#include <QDialog>
#include <functional>
#include <optional>
#include <utility>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks which names the list shows. Every change is checked at once: a bad pattern or regular
// expression says why under its field and greys OK, and the count says how many listed names
// the filter as it stands would show.
class FilterDialog : public QDialog {
    Q_OBJECT
public:
    // How many of the listed names a filter passes, and how many are listed.
    using Counter = std::function<std::pair<qsizetype, qsizetype>(const listing::NameFilter&)>;

    FilterDialog(const listing::FilterSpec& current, Counter counter, QWidget* parent = nullptr);

    // The filter as the fields ask for it; nullopt while one of them is invalid.
    const std::optional<listing::NameFilter>& filter() const { return filter_; }
    // Counts again, for a list that has changed.
    void recount();

    QCheckBox* lettersOnly = nullptr;
    QCheckBox* digitsOnly = nullptr;
    QCheckBox* noHyphen = nullptr;
    QLineEdit* contains = nullptr;
    QLineEdit* pattern = nullptr;
    QLabel* patternError = nullptr;
    QComboBox* pinyin = nullptr;
    QLineEdit* regex = nullptr;
    QLabel* regexError = nullptr;
    QLabel* count = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* clearButton = nullptr;

signals:
    // The user asked for no filter at all.
    void clearRequested();

private:
    listing::FilterSpec criteria() const;
    void check();

    Counter counter_;
    std::optional<listing::NameFilter> filter_;
};

// "显示 12 / 共 986 个".
QString shownOfListed(qsizetype shown, qsizetype listed);
