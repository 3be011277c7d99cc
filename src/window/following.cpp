// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/following.h"

#include "watch/watchpost.h"
#include "window/form1.h"
#include "window/watchdialog.h"

namespace {

const QString caption = QStringLiteral("关注");

} // namespace

Following::Following(Form1& form) : QObject(&form), form_(form) {}

std::optional<watch::WatchList> Following::load(QString* problem) {
    const QString url = watch::watchUrl(form_.addresses().listing, QStringLiteral("watch.json"));
    const Module1::Page page = Module1::Fetch(url, QStringLiteral("UTF-8"), &lane_);
    if (page.failure == Module1::Failure::Aborted)
        return std::nullopt;
    std::optional<watch::WatchList> list = watch::parseWatchList(page.text.toUtf8());
    if (page.failure != Module1::Failure::None || !list) {
        if (problem)
            *problem = page.failure != Module1::Failure::None ? Module1::describe(page)
                                                              : QStringLiteral("回答不是关注列表");
        return std::nullopt;
    }
    followed_.clear();
    for (const watch::Watched& w : list->names)
        followed_.insert(w.name);
    known_ = true;
    emit changed();
    return list;
}

bool Following::isFollowed(const QString& name) const {
    return followed_.contains(watch::normalized(name));
}

std::optional<watch::ChangeAnswer> Following::change(const QString& path, const QStringList& names,
                                                     QStringView doneField,
                                                     QStringView leftField) {
    QStringList invalid;
    for (const QString& name : names)
        if (!watch::isDomainName(name))
            invalid << name;
    if (!invalid.isEmpty()) {
        form_.MsgBox(QStringLiteral("不是域名：%1").arg(invalid.join(QStringLiteral("、"))),
                     MsgBoxStyle::OkOnly, caption);
        return std::nullopt;
    }
    // Read at each change: lumo-sites may have made it since the window opened.
    const watch::Token token = watch::readToken(form_.addresses().watchToken);
    if (!token.problem.isEmpty()) {
        form_.MsgBox(token.problem, MsgBoxStyle::OkOnly, caption);
        return std::nullopt;
    }
    const Module1::Page page =
        watch::post(watch::watchUrl(form_.addresses().listing, QStringLiteral("watch/") + path),
                    token.value, watch::namesBody(names));
    const std::optional<watch::ChangeAnswer> answer =
        watch::parseChangeAnswer(page.text.toUtf8(), doneField, leftField);
    if (page.failure == Module1::Failure::None && answer)
        return answer;
    QString why = page.failure == Module1::Failure::None ? QStringLiteral("回答不是 JSON")
                                                         : Module1::describe(page);
    if (answer && !answer->invalid.isEmpty())
        why = QStringLiteral("不是域名：%1").arg(answer->invalid.join(QStringLiteral("、")));
    else if (answer && !answer->error.isEmpty())
        why += QStringLiteral("：") + answer->error.simplified();
    form_.MsgBox(QStringLiteral("关注列表没有更改：%1").arg(why), MsgBoxStyle::OkOnly, caption);
    return std::nullopt;
}

void Following::note(const QStringList& followed, const QStringList& unfollowed) {
    for (const QString& name : followed)
        followed_.insert(name);
    for (const QString& name : unfollowed)
        followed_.remove(name);
    emit changed();
}

bool Following::follow(const QStringList& names) {
    const std::optional<watch::ChangeAnswer> answer =
        change(QStringLiteral("add"), names, u"added", u"already");
    if (!answer)
        return false;
    note(answer->done + answer->left, {});
    form_.Label8->setText(answer->done.size() + answer->left.size() == 1
                              ? QStringLiteral("已关注 %1").arg((answer->done + answer->left).first())
                              : QStringLiteral("已关注 %1 个域名")
                                    .arg(answer->done.size() + answer->left.size()));
    if (dialog_)
        dialog_->refresh();
    return true;
}

bool Following::unfollow(const QStringList& names) {
    const std::optional<watch::ChangeAnswer> answer =
        change(QStringLiteral("remove"), names, u"removed", u"unknown");
    if (!answer)
        return false;
    note({}, answer->done + answer->left);
    form_.Label8->setText(QStringLiteral("已取消关注 %1 个域名").arg(answer->done.size()));
    if (dialog_)
        dialog_->refresh();
    return true;
}

std::optional<QStringList> Following::check(const QStringList& names) {
    const std::optional<watch::ChangeAnswer> answer =
        change(QStringLiteral("check"), names, u"queued", u"");
    if (!answer)
        return std::nullopt;
    return answer->done;
}

void Following::showList() {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    auto* dialog = new WatchDialog(*this, form_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog_ = dialog;
    // Not exec(): the window's own work goes on while the list is open.
    dialog->open();
    dialog->refresh();
}

WatchDialog* Following::dialog() const {
    return dialog_;
}
