// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

Button::Button(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

QRect Button::captionRect() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
}

void Button::paintEvent(QPaintEvent* event) {
    const QRect room = captionRect();
    if (fontMetrics().horizontalAdvance(text()) <= room.width()) {
        QPushButton::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option); // bevel and focus frame, no caption
    // Lines of even length: the narrowest width that needs no more lines than the whole room.
    const QFontMetrics metrics = fontMetrics();
    const auto heightAt = [&](int width) {
        return metrics.boundingRect(QRect(0, 0, width, QWIDGETSIZE_MAX), Qt::TextWordWrap, caption)
            .height();
    };
    const int height = heightAt(room.width());
    int narrow = 1;
    int wide = room.width();
    while (narrow < wide) {
        const int middle = (narrow + wide) / 2;
        if (heightAt(middle) <= height)
            wide = middle;
        else
            narrow = middle + 1;
    }
    QRect area(0, 0, wide, room.height());
    area.moveCenter(room.center());
    const int flags = Qt::AlignCenter | Qt::TextWordWrap;
    if (isDown())
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    painter.drawItemText(area, flags, option.palette, isEnabled(), caption, QPalette::ButtonText);
}
