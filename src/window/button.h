// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

// A command button whose caption breaks onto more lines when one line is too wide for it,
// as "访问官网" must in its narrow, tall button.
class Button : public QPushButton {
    Q_OBJECT
public:
    explicit Button(const QString& caption, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The room the caption has inside the bevel.
    QRect captionRect() const;
};
