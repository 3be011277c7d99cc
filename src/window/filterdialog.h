// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listing/filter.h"
#include "listing/filterrun.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// Asks which names the list shows. Every change is checked at once: a bad pattern or regular
// expression says why under its field and greys OK. The listed names are counted on another
// thread, each change dropping the count before it, so that the window stays responsive
// whatever is typed; OK waits for the count, and a name the regular expression cannot judge
// marks the expression and keeps OK grey.
class FilterDialog : public QDialog {
    Q_OBJECT
public:
    // The listed names; `generation` changes whenever they change other than by names added
    // at the end.
    struct Listed {
        QStringList names;
        quint64 generation = 0;
    };
    using Source = std::function<Listed()>;

    FilterDialog(const listing::FilterSpec& current, Source source, QWidget* parent = nullptr);
    ~FilterDialog() override;

    // The filter as the fields ask for it; nullopt while one of them is invalid.
    const std::optional<listing::NameFilter>& filter() const { return filter_; }
    // The filter's verdicts on the first names of the list of `generation()` counted so far.
    const std::vector<listing::Verdict>& verdicts() const { return verdicts_; }
    quint64 generation() const { return generation_; }
    // Whether every listed name has been counted once for the filter as it stands.
    bool counted() const { return counted_; }
    // Counts the names the list has gained, or all again for a list that has changed.
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
    // A count has reached the end of the list (for tests and benchmarks).
    void countDone();

private:
    listing::FilterSpec criteria() const;
    void check();
    void runDone();
    void showState();

    Source source_;
    std::optional<listing::NameFilter> filter_;
    QString regexReason_; // why the expression does not compile
    std::vector<listing::Verdict> verdicts_;
    qsizetype passed_ = 0;
    qsizetype listed_ = 0;
    QString undecided_; // the first name the expression could not judge
    quint64 generation_ = 0;
    bool counted_ = false;
    std::unique_ptr<listing::FilterRun> run_;
    QTimer* progress_ = nullptr;
};

// "显示 12 / 共 986 个".
QString shownOfListed(qsizetype shown, qsizetype listed);
