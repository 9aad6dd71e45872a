#pragma once

#include <QColor>
#include <QWidget>

namespace window {

// The client area of the window, or a frame: a background colour beneath its controls.
class Surface : public QWidget
{
    Q_OBJECT

public:
    explicit Surface(QWidget *parent = nullptr);

    QColor background() const { return m_background; }
    void setBackground(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;
    // What a kind of container draws of its own above its background.
    virtual void paintDecoration(QPainter &) {}

private:
    QColor m_background = Qt::black;
};

// A frame: a container with an etched border and a caption set into its top edge.
class Frame : public Surface
{
    Q_OBJECT

public:
    explicit Frame(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    void setCaptionColour(const QColor &colour);

protected:
    void paintDecoration(QPainter &painter) override;

private:
    QString m_caption;
    QColor m_captionColour = Qt::black;
};

} // namespace window
