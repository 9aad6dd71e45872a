#include "platform/text_box.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>

namespace platform {

namespace {

// The character a key produces, as the keyboard reports it: with Ctrl held a letter is the
// matching control character (Ctrl+C is 3, Ctrl+V 22, Ctrl+X 24), whatever the platform put in
// the event's text.
QString typedCharacters(const QKeyEvent &event)
{
    const QString text = event.text();
    // Ctrl+Backspace is the delete character, not a backspace.
    if ((event.modifiers() & Qt::ControlModifier) && event.key() == Qt::Key_Backspace)
        return QString(QChar(char16_t(0x7F)));
    if ((event.modifiers() & Qt::ControlModifier) && text.size() == 1) {
        const char16_t c = text.front().unicode();
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
            return QString(QChar(char16_t(c & 0x1F)));
    }
    if ((event.modifiers() & Qt::ControlModifier) && text.isEmpty() && event.key() >= Qt::Key_A &&
        event.key() <= Qt::Key_Z)
        return QString(QChar(char16_t(event.key() - Qt::Key_A + 1)));
    return text;
}

} // namespace

TextBox::TextBox(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &TextBox::changed);
}

void TextBox::setMarkedInvalid(bool invalid)
{
    if (invalid == m_invalid)
        return;
    m_invalid = invalid;
    QPalette colours = palette();
    colours.setColor(QPalette::Text, invalid ? QColor(Qt::red) : QPalette().color(QPalette::Text));
    setPalette(colours);
}

QString TextBox::filtered(const QString &typed) const
{
    QString kept;
    for (const QChar c : typed) {
        auto code = static_cast<std::int16_t>(c.unicode());
        m_keyPress(code);
        if (code != 0)
            kept += QChar(static_cast<char16_t>(code));
    }
    return kept;
}

void TextBox::keyPressEvent(QKeyEvent *event)
{
    // The Delete key edits the box, whatever text the keyboard gives it (X11 and Wayland give
    // it the delete character, U+007F, which the hook would discard).
    if (event->key() == Qt::Key_Delete) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QString typed = typedCharacters(*event);
    if (typed.isEmpty() || !m_keyPress) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QString kept = filtered(typed);
    if (kept.isEmpty()) {
        event->accept(); // discarded: the box never sees the key
        return;
    }
    if (kept == typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // The hook replaced a character: the box gets the replacement as plain typing.
    QKeyEvent replaced(event->type(), Qt::Key_unknown, Qt::NoModifier, kept);
    QLineEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

void TextBox::inputMethodEvent(QInputMethodEvent *event)
{
    if (!m_keyPress || event->commitString().isEmpty()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent replaced(event->preeditString(), event->attributes());
    replaced.setCommitString(filtered(event->commitString()), event->replacementStart(),
                             event->replacementLength());
    QLineEdit::inputMethodEvent(&replaced);
}

void TextBox::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    if (m_keyPress) {
        for (QAction *action : menu->actions()) {
            action->setText(action->text().section(QLatin1Char('\t'), 0, 0));
            action->setShortcut(QKeySequence());
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

} // namespace platform
