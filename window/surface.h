#pragma once

#include <memory>
#include <QColor>
#include <QWidget>
#include <vector>

namespace window {

class Surface;

// A label, shape or line: not a window of its own but painted on its container's surface,
// beneath every child window of that container, in creation order.
class PaintedControl
{
public:
    explicit PaintedControl(Surface &container) : m_container(container) {}
    virtual ~PaintedControl() = default;
    PaintedControl(const PaintedControl &) = delete;
    PaintedControl &operator=(const PaintedControl &) = delete;

    virtual void paint(QPainter &painter) const = 0;

protected:
    void repaint(const QRect &area) const;
    const Surface &container() const { return m_container; }

private:
    Surface &m_container;
};

// The client area of the window, or a frame: a background colour with painted controls on it.
class Surface : public QWidget
{
    Q_OBJECT

public:
    explicit Surface(QWidget *parent = nullptr);

    QColor background() const { return m_background; }
    void setBackground(const QColor &colour);

    // Takes ownership; the control is painted above those added before it.
    template <class Control, class... Args> Control *addPainted(Args &&...args)
    {
        auto control = std::make_unique<Control>(*this, std::forward<Args>(args)...);
        Control *raw = control.get();
        m_painted.push_back(std::move(control));
        return raw;
    }

    // The painted controls of one kind, in creation order.
    template <class Control> std::vector<const Control *> painted() const
    {
        std::vector<const Control *> found;
        for (const auto &control : m_painted)
            if (const auto *one = dynamic_cast<const Control *>(control.get()))
                found.push_back(one);
        return found;
    }

protected:
    void paintEvent(QPaintEvent *event) override;
    // What a kind of container draws of its own between its background and its painted controls.
    virtual void paintDecoration(QPainter &) {}

private:
    QColor m_background = Qt::black;
    std::vector<std::unique_ptr<PaintedControl>> m_painted;
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
