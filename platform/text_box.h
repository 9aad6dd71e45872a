#pragma once

#include <cstdint>
#include <functional>
#include <QLineEdit>

namespace platform {

// A one-line text box whose owner sees every typed character first. The hook gets the 16-bit
// character code by reference and may replace it; 0 discards the character. Keys that produce
// no character (Delete, arrows, Home, End) never reach the hook and keep their usual effect;
// Delete is known by its key, since X11 and Wayland give it the text U+007F.
class TextBox : public QLineEdit
{
    Q_OBJECT

public:
    using KeyPressHook = std::function<void(std::int16_t &keyAscii)>;

    explicit TextBox(QWidget *parent = nullptr);

    void setKeyPressHook(KeyPressHook hook) { m_keyPress = std::move(hook); }

    // A text the owner cannot use is shown in red until it is mended.
    void setMarkedInvalid(bool invalid);
    bool isMarkedInvalid() const { return m_invalid; }

signals:
    // After every change of the text, typed, pasted, dropped or assigned.
    void changed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    // The usual menu, without the keys it would name: the owner's hook refuses them.
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QString filtered(const QString &typed) const;

    KeyPressHook m_keyPress;
    bool m_invalid = false;
};

} // namespace platform
