#pragma once

#include "platform/text_box.h"
#include "window/metronome_window.h"
#include "window/surface.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>

// How much room a control leaves for its caption, and how much the caption takes in the font
// the control actually draws it with (after the desktop's font substitution).
namespace look {

struct CaptionRoom {
    QString caption;     // as the control holds it now
    QSize needed;        // the caption in the control's font
    QSize room;          // what the control leaves for it
    QString family = {}; // the font face that was measured
    QString fault = {};  // something else that hides the caption, if any
};

inline QSize textSize(const QWidget &control, const QString &text)
{
    return {control.fontMetrics().horizontalAdvance(text), control.fontMetrics().height()};
}

inline CaptionRoom roomIn(const QPushButton &button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const QRect contents =
        button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    return {button.text(), button.fontMetrics().size(Qt::TextShowMnemonic, button.text()),
            contents.size()};
}

// The style lays out the round button and, beside it, the room for the caption.
inline CaptionRoom roomIn(const QRadioButton &option)
{
    QStyleOptionButton style;
    style.initFrom(&option);
    style.text = option.text();
    const QStyle &layout = *option.style();
    const QRect indicator = layout.subElementRect(QStyle::SE_RadioButtonIndicator, &style, &option);
    const QRect contents = layout.subElementRect(QStyle::SE_RadioButtonContents, &style, &option);
    CaptionRoom result{option.text(),
                       option.fontMetrics().size(Qt::TextShowMnemonic, option.text()),
                       contents.intersected(option.rect()).size()};
    if (!option.rect().contains(indicator))
        result.fault = QStringLiteral("the round button is cut off");
    return result;
}

// A frame sets its caption into its top edge, 8 pixels in; no child window may cover it.
inline CaptionRoom roomIn(const window::Frame &frame)
{
    const QFontMetrics metrics = frame.fontMetrics();
    const QRect set(8, 0, metrics.horizontalAdvance(frame.caption()) + 2, metrics.height());
    CaptionRoom result{frame.caption(), set.size() + QSize(set.left(), 0),
                       frame.size() - QSize(2, 0)}; // the etched edge on the right
    for (const QWidget *child : frame.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child->geometry().intersects(set))
            result.fault = QStringLiteral("covered by ") + child->objectName();
    return result;
}

inline CaptionRoom roomIn(const platform::TextBox &box)
{
    QStyleOptionFrame option;
    option.initFrom(&box);
    option.lineWidth = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &box);
    const QRect contents = box.style()->subElementRect(QStyle::SE_LineEditContents, &option, &box);
    // A line edit keeps two pixels clear on either side of its text.
    const QSize room = contents.marginsRemoved(box.textMargins()).size() - QSize(4, 0);
    return {box.text(), textSize(box, box.text()), room};
}

// A label writes its caption inside its edge, if it has one.
inline CaptionRoom roomIn(const QLabel &label)
{
    return {label.text(), textSize(label, label.text()), label.contentsRect().size()};
}

inline CaptionRoom roomFor(const window::MetronomeWindow &form, const QString &name)
{
    const QWidget *control = form.findChild<QWidget *>(name);
    CaptionRoom measured{{}, {}, {}, {}, QStringLiteral("no such control")};
    if (const auto *button = qobject_cast<const QPushButton *>(control))
        measured = roomIn(*button);
    else if (const auto *option = qobject_cast<const QRadioButton *>(control))
        measured = roomIn(*option);
    else if (const auto *frame = qobject_cast<const window::Frame *>(control))
        measured = roomIn(*frame);
    else if (const auto *box = qobject_cast<const platform::TextBox *>(control))
        measured = roomIn(*box);
    else if (const auto *label = qobject_cast<const QLabel *>(control))
        measured = roomIn(*label);
    if (control)
        measured.family = QFontInfo(control->font()).family();
    return measured;
}

} // namespace look
