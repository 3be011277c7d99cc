// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

// Keeps the keyboard off the controls a cover lies over, as the cover keeps the mouse off
// them: while the cover is shown they leave the focus chain, and when one of them has the
// focus the cover takes it, and gives it back when it goes.
class CoverGuard : public QObject {
public:
    // `cover` is watched from now on; `up` says whether it is shown at this moment. The focus
    // goes back where it was, or to `home` when it was nowhere yet.
    CoverGuard(QWidget* cover, QList<QWidget*> covered, QWidget* home, bool up);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void raise();
    void lower();

    QWidget* cover_;
    QList<QPointer<QWidget>> covered_;
    QHash<QWidget*, Qt::FocusPolicy> policies_;
    QPointer<QWidget> home_;
    QPointer<QWidget> focusBefore_;
    bool up_ = false;
};
