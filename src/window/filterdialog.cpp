// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/filterdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QLineEdit* field(const QString& accessibleName, const QString& placeholder, const QString& text) {
    auto* edit = new QLineEdit(text);
    edit->setAccessibleName(accessibleName);
    edit->setPlaceholderText(placeholder);
    edit->setClearButtonEnabled(true);
    return edit;
}

// Where a field's reason goes: red, wrapped, and taking no room while there is none.
QLabel* reasonLabel() {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(200, 0, 0));
    label->setPalette(palette);
    label->hide();
    return label;
}

void showReason(QLabel* label, QLineEdit* field, const QString& reason) {
    label->setText(reason);
    label->setVisible(!reason.isEmpty());
    field->setAccessibleDescription(reason);
}

} // namespace

QString shownOfListed(qsizetype shown, qsizetype listed) {
    return QStringLiteral("显示 %1 / 共 %2 个").arg(shown).arg(listed);
}

FilterDialog::FilterDialog(const listing::FilterSpec& current, Source source, QWidget* parent)
    : QDialog(parent), source_(std::move(source)) {
    setObjectName(QStringLiteral("filterDialog"));
    setWindowTitle(QStringLiteral("筛选域名"));
    setAccessibleName(QStringLiteral("筛选域名"));

    lettersOnly = new QCheckBox(QStringLiteral("只含字母(&L)"));
    digitsOnly = new QCheckBox(QStringLiteral("只含数字(&D)"));
    noHyphen = new QCheckBox(QStringLiteral("不含连字符(&H)"));
    lettersOnly->setChecked(current.lettersOnly);
    digitsOnly->setChecked(current.digitsOnly);
    noHyphen->setChecked(current.noHyphen);
    contains = field(QStringLiteral("包含"), QStringLiteral("不分大小写"), current.contains);
    pattern = field(QStringLiteral("模式"), QStringLiteral("如 AABB、LL88、CVCV"), current.pattern);
    patternError = reasonLabel();
    pinyin = new QComboBox;
    pinyin->setAccessibleName(QStringLiteral("拼音音节数"));
    pinyin->addItem(QStringLiteral("不限"), -1);
    pinyin->addItem(QStringLiteral("拼音，音节数任意"), 0);
    for (int n = 1; n <= 3; ++n)
        pinyin->addItem(QStringLiteral("拼音，%1 个音节").arg(n), n);
    pinyin->setCurrentIndex(qMax(0, pinyin->findData(current.pinyinSyllables)));
    regex =
        field(QStringLiteral("正则表达式"), QStringLiteral("如 ^a.*z$，不分大小写"), current.regex);
    regexError = reasonLabel();
    count = new QLabel;
    count->setTextFormat(Qt::PlainText);
    count->setAccessibleName(QStringLiteral("筛选结果"));
    progress_ = new QTimer(this);
    progress_->setInterval(150);
    connect(progress_, &QTimer::timeout, this, &FilterDialog::showState);

    auto* kinds = new QHBoxLayout;
    for (QWidget* w : {lettersOnly, digitsOnly, noHyphen})
        kinds->addWidget(w);
    kinds->addStretch();
    auto* form = new QFormLayout;
    form->addRow(kinds);
    form->addRow(QStringLiteral("包含(&C)："), contains);
    form->addRow(QStringLiteral("模式(&P)："), pattern);
    form->addRow(QString(), patternError);
    form->addRow(QStringLiteral("拼音(&Y)："), pinyin);
    form->addRow(QStringLiteral("正则(&R)："), regex);
    form->addRow(QString(), regexError);

    auto* buttons = new QDialogButtonBox;
    okButton = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    clearButton = buttons->addButton(QStringLiteral("清除筛选"), QDialogButtonBox::ResetRole);
    okButton->setDefault(true);
    clearButton->setEnabled(!current.isEmpty());
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(clearButton, &QPushButton::clicked, this, [this] {
        emit clearRequested();
        reject();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(count);
    layout->addWidget(buttons);
    // Long reasons wrap instead of widening the dialog past its fields.
    setMinimumWidth(360);
    patternError->setMaximumWidth(420);
    regexError->setMaximumWidth(420);

    for (QCheckBox* box : {lettersOnly, digitsOnly, noHyphen})
        connect(box, &QCheckBox::toggled, this, &FilterDialog::check);
    for (QLineEdit* edit : {contains, pattern, regex})
        connect(edit, &QLineEdit::textChanged, this, &FilterDialog::check);
    connect(pinyin, &QComboBox::currentIndexChanged, this, &FilterDialog::check);
    check();
}

listing::FilterSpec FilterDialog::criteria() const {
    listing::FilterSpec criteria;
    criteria.lettersOnly = lettersOnly->isChecked();
    criteria.digitsOnly = digitsOnly->isChecked();
    criteria.noHyphen = noHyphen->isChecked();
    criteria.contains = contains->text();
    criteria.pattern = pattern->text();
    criteria.pinyinSyllables = pinyin->currentData().toInt();
    criteria.regex = regex->text();
    return criteria;
}

FilterDialog::~FilterDialog() = default;

void FilterDialog::check() {
    const listing::FilterSpec wanted = criteria();
    // Each field on its own, so that its reason stands under it.
    QString patternReason;
    listing::FilterSpec alone;
    alone.pattern = wanted.pattern;
    listing::NameFilter::compile(alone, &patternReason);
    alone = {};
    alone.regex = wanted.regex;
    regexReason_.clear();
    listing::NameFilter::compile(alone, &regexReason_);
    showReason(patternError, pattern, patternReason);

    filter_ = listing::NameFilter::compile(wanted);
    // A new filter: what was counted for the last one says nothing.
    run_.reset();
    verdicts_.clear();
    passed_ = 0;
    undecided_.clear();
    counted_ = false;
    recount();
    adjustSize();
}

void FilterDialog::recount() {
    if (!filter_) {
        run_.reset();
        showState();
        return;
    }
    const Listed listed = source_();
    listed_ = listed.names.size();
    if (listed.generation != generation_ || listed_ < qsizetype(verdicts_.size())) {
        run_.reset();
        verdicts_.clear();
        passed_ = 0;
        undecided_.clear();
        counted_ = false;
        generation_ = listed.generation;
    }
    const qsizetype from = qsizetype(verdicts_.size());
    // A run under way goes on; what came meanwhile is counted after it.
    if (!run_ && undecided_.isEmpty() && from < listed_) {
        if (filter_->isEmpty()) {
            verdicts_.resize(std::size_t(listed_), listing::Verdict::Passes);
            passed_ = listed_;
        } else {
            run_ = std::make_unique<listing::FilterRun>(*filter_, listed.names.mid(from));
            connect(run_.get(), &listing::FilterRun::finished, this, &FilterDialog::runDone);
        }
    }
    if (!run_ && undecided_.isEmpty() && qsizetype(verdicts_.size()) == listed_ && !counted_) {
        counted_ = true;
        emit countDone();
    }
    showState();
}

void FilterDialog::runDone() {
    const std::unique_ptr<listing::FilterRun> run = std::move(run_);
    const std::vector<listing::Verdict>& got = run->verdicts();
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] == listing::Verdict::Undecided && undecided_.isEmpty())
            undecided_ = run->names().at(qsizetype(i));
        passed_ += got[i] == listing::Verdict::Passes;
    }
    verdicts_.insert(verdicts_.end(), got.begin(), got.end());
    if (!undecided_.isEmpty())
        emit countDone();
    recount();
}

void FilterDialog::showState() {
    const QString regexReason =
        regexReason_.isEmpty() && !undecided_.isEmpty() ? listing::undecidedReason(undecided_)
                                                        : regexReason_;
    if (regexReason != regexError->text()) {
        showReason(regexError, regex, regexReason);
        adjustSize(); // the reason may come long after the keystroke, and wraps
    }
    if (run_)
        progress_->start();
    else
        progress_->stop();
    // OK once every name has been counted: a filter that fails on a name is refused before
    // it hides anything.
    okButton->setEnabled(filter_ && counted_ && undecided_.isEmpty());
    if (!filter_ || !undecided_.isEmpty())
        count->setText(QString());
    else if (counted_)
        count->setText(shownOfListed(passed_, qsizetype(verdicts_.size())));
    else
        count->setText(QStringLiteral("正在计数……已看 %1 / 共 %2 个")
                           .arg(qsizetype(verdicts_.size()) + (run_ ? run_->judged() : 0))
                           .arg(listed_));
}
