#pragma once

#include <QPixmap>
#include <QWidget>

namespace window {

// A flat picture box: its picture is drawn unscaled from the top-left corner, and whatever
// does not fit the box is cut off. While it has the focus a focus rectangle shows it, and
// assistive technology finds it as a picture under its accessible name.
class PictureBox : public QWidget
{
    Q_OBJECT

public:
    explicit PictureBox(QWidget *parent = nullptr);

    void setPicture(const QPixmap &picture);

protected:
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QPixmap m_picture;
};

} // namespace window
