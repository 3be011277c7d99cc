// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/cover.h"

#include <QEvent>

CoverGuard::CoverGuard(QWidget* cover, QList<QWidget*> covered, QWidget* home, bool up)
    : QObject(cover), cover_(cover), home_(home) {
    for (QWidget* w : covered)
        covered_.append(w);
    cover_->setFocusPolicy(Qt::NoFocus);
    cover_->installEventFilter(this);
    if (up)
        raise();
}

bool CoverGuard::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cover_) {
        if (event->type() == QEvent::ShowToParent)
            raise();
        // Hide comes before Qt moves the focus off a hidden widget, HideToParent after it;
        // only the latter comes for a window never shown.
        else if ((event->type() == QEvent::Hide || event->type() == QEvent::HideToParent) &&
                 cover_->isHidden())
            lower();
    }
    return false;
}

void CoverGuard::raise() {
    if (up_)
        return;
    up_ = true;
    QWidget* const focus = cover_->window()->focusWidget();
    bool focusCovered = focus == nullptr;
    for (const QPointer<QWidget>& w : covered_) {
        if (!w)
            continue;
        policies_.insert(w, w->focusPolicy());
        w->setFocusPolicy(Qt::NoFocus);
        focusCovered = focusCovered || w == focus;
    }
    if (focusCovered) {
        focusBefore_ = focus;
        // Keys then reach the cover, which does nothing with them.
        cover_->setFocusPolicy(Qt::StrongFocus);
        cover_->setFocus(Qt::OtherFocusReason);
    }
}

void CoverGuard::lower() {
    if (!up_)
        return;
    up_ = false;
    for (const QPointer<QWidget>& w : covered_)
        if (w)
            w->setFocusPolicy(policies_.value(w, w->focusPolicy()));
    policies_.clear();
    const bool hadFocus = cover_->hasFocus() || cover_->window()->focusWidget() == cover_;
    cover_->setFocusPolicy(Qt::NoFocus);
    if (hadFocus) {
        QWidget* const back = focusBefore_ ? focusBefore_.data() : home_.data();
        if (back)
            back->setFocus(Qt::OtherFocusReason);
    }
    focusBefore_.clear();
}
