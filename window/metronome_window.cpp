#include "window/metronome_window.h"

#include "core/decimal_text.h"
#include "platform/buttons.h"
#include "platform/message_box.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "platform/twips.h"
#include "window/control_factory.h"
#include "window/design.h"
#include "window/painted_accessible.h"
#include "window/painted_controls.h"
#include "window/picture_box.h"
#include "window/pictures.h"

#include <algorithm>
#include <vector>

namespace window {

MetronomeWindow::MetronomeWindow(core::Metronome &metronome, QWidget *parent)
    : Surface(parent), m_metronome(metronome)
{
    const WindowDesign &form = frmCadrelDesign;
    setObjectName(QStringLiteral("frmCadrel"));
    setWindowTitle(QString::fromUtf8(form.caption));
    setGeometry(platform::rectFromTwips(form.left, form.top, form.clientWidth, form.clientHeight));
    setFont(designFont(form.font));
    setBackground(platform::toQColor(form.back, palette()));
    setWindowIcon(programIcon());

    installPaintedAccessibility();
    createControls();
    showPictures();
    setTabOrder();
    connectControls();
    connectMetronome();
    m_startStop->setFocus();
}

MetronomeWindow::~MetronomeWindow()
{
    // No notification may reach a handler while the controls are being torn down.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
    m_metronome.disconnect(this);
}

// Every row of the design, in its order (a later control is stacked above an earlier one),
// in its container.
void MetronomeWindow::createControls()
{
    for (const ControlDesign &row : designRows()) {
        Surface *container = this;
        if (row.container)
            container = findChild<Frame *>(QLatin1String(row.container));
        const BuiltControl built = buildControl(row, *container);
        if (built.painted)
            m_painted.emplace(row.name, built.painted);
    }
    const auto painted = [this](const char *name) { return m_painted.at(name); };
    m_tempoFrame = findChild<Frame *>(QStringLiteral("Frame3"));
    m_tempoBox = findChild<platform::TextBox *>(QStringLiteral("Text2"));
    m_tempoSlider = findChild<platform::Slider *>(QStringLiteral("Slider1"));
    m_banner = findChild<PictureBox *>(QStringLiteral("Picture1"));
    m_startStop = findChild<platform::CommandButton *>(QStringLiteral("cmdAbilitaDisabilita"));
    m_soundOn = findChild<platform::OptionButton *>(QStringLiteral("Op1"));
    m_beatCounter = static_cast<Label *>(painted("Label1"));
    m_beatLight = static_cast<Shape *>(painted("Shape1"));
    m_pendulum = static_cast<Line *>(painted("Line2"));
}

void MetronomeWindow::showPictures()
{
    m_banner->setPicture(bannerPicture());
    m_banner->setAccessibleName(QStringLiteral("Ritmolino"));
    m_startStop->setCursor(toggleButtonCursor());
    m_tempoSlider->setCursor(sliderCursor());
}

void MetronomeWindow::setTabOrder()
{
    // Tab visits the controls that take the focus in the order of their tab indexes.
    std::vector<std::pair<int, QWidget *>> stops;
    for (QWidget *widget : findChildren<QWidget *>()) {
        if (widget->focusPolicy() & Qt::TabFocus)
            stops.emplace_back(design(widget->objectName().toStdString()).tabIndex, widget);
    }
    std::sort(stops.begin(), stops.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (std::size_t i = 1; i < stops.size(); ++i)
        QWidget::setTabOrder(stops[i - 1].second, stops[i].second);
}

namespace {

QRadioButton *selectedOption(const QWidget &group)
{
    for (auto *option : group.findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly))
        if (option->isChecked())
            return option;
    return nullptr;
}

} // namespace

// Tab enters an option group at its selected button, and leaves it from there. The focus goes
// straight there: a screen reader hears only the button that gets it.
bool MetronomeWindow::focusNextPrevChild(bool next)
{
    QWidget *const from = focusWidget();
    QWidget *stop = from ? from : this;
    for (int steps = 0; steps < 64; ++steps) {
        stop = next ? stop->nextInFocusChain() : stop->previousInFocusChain();
        if (stop == nullptr || stop == from)
            return false;
        if (stop == this || !(stop->focusPolicy() & Qt::TabFocus) || !stop->isEnabled() ||
            !stop->isVisibleTo(this) || !isAncestorOf(stop))
            continue;
        if (auto *option = qobject_cast<QRadioButton *>(stop); option && !option->isChecked()) {
            QRadioButton *selected = selectedOption(*option->parentWidget());
            if (from && from->parentWidget() == option->parentWidget())
                continue; // leaving the group: pass its other buttons by
            if (selected)
                stop = selected;
        }
        stop->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return false;
}

void MetronomeWindow::connectControls()
{
    connect(m_tempoSlider, &platform::Slider::changed, this,
            [this] { m_metronome.setTempo(m_tempoSlider->value()); });
    // A click on the slider writes its tempo into the box.
    connect(m_tempoSlider, &platform::Slider::clicked, this,
            [this] { m_tempoBox->setText(core::toDecimalText(m_tempoSlider->value())); });
    connect(m_tempoBox, &platform::TextBox::changed, this, &MetronomeWindow::tempoTyped);
    m_tempoBox->setKeyPressHook(core::filterTempoKey);
    connect(m_startStop, &QPushButton::clicked, &m_metronome, &core::Metronome::startOrStop);
    connect(m_soundOn, &QRadioButton::toggled, &m_metronome, &core::Metronome::setSoundOn);
}

void MetronomeWindow::connectMetronome()
{
    connect(&m_metronome, &core::Metronome::tempoApplied, this,
            [this](int bpm) { m_tempoFrame->setCaption(core::tempoCaption(bpm)); });
    connect(&m_metronome, &core::Metronome::runStateChanged, this, &MetronomeWindow::showRunState);
    connect(&m_metronome, &core::Metronome::beat, this, &MetronomeWindow::showBeat);
}

// An empty box asks for a number; a number that is no tempo (yet) stays in the box, in red, and
// leaves the tempo alone, so that typing "1", "14", "140" digit by digit ends at 140.
void MetronomeWindow::tempoTyped()
{
    if (m_tempoBox->text().isEmpty()) {
        m_tempoBox->setMarkedInvalid(false);
        platform::showMessage(this, QStringLiteral("Inserire un numero!"),
                              QStringLiteral("Cadrel"));
        return;
    }
    const auto tempo = core::tempoFromText(m_tempoBox->text());
    m_tempoBox->setMarkedInvalid(!tempo);
    if (tempo)
        m_tempoSlider->setValue(*tempo);
}

// Once started, the pendulum and the light follow the count until the program ends.
void MetronomeWindow::showRunState(core::RunState state)
{
    m_startStop->setText(QString::fromUtf8(state == core::RunState::Running
                                               ? runningToggleCaption
                                               : design("cmdAbilitaDisabilita").caption));
    showPose(m_metronome.count());
}

void MetronomeWindow::showBeat(const QString &count)
{
    m_beatCounter->setCaption(count);
    setWindowTitle(isMinimized() ? core::minimisedCaption(count)
                                 : QString::fromUtf8(frmCadrelDesign.caption));
    showPose(count);
}

// The pose of the count's parity; showing the pose the display already shows repaints nothing.
void MetronomeWindow::showPose(const QString &count)
{
    const PoseDesign &pose = core::isOddCount(count) ? oddCountPose : evenCountPose;
    m_pendulum->setX1(pose.x1);
    m_pendulum->setX2(pose.x2);
    m_pendulum->setY1(pose.y1);
    m_pendulum->setY2(pose.y2);
    m_beatLight->setFillColor(platform::toQColor(pose.light, palette()));
}

} // namespace window
