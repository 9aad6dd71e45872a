#include "window/metronome_window.h"

#include "core/beat_rules.h"
#include "core/decimal_text.h"
#include "platform/buttons.h"
#include "platform/message_box.h"
#include "platform/slider.h"
#include "platform/text_box.h"
#include "platform/twips.h"
#include "window/accessible_roles.h"
#include "window/control_factory.h"
#include "window/design.h"
#include "window/pendulum.h"
#include "window/picture_box.h"
#include "window/pictures.h"

#include <algorithm>
#include <QLabel>
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

    installAccessibleRoles();
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

// Every row of the design in its container, in its order: a later control is stacked above an
// earlier one, and the labels and lines are drawn beneath the other controls of their container.
// The controls start out showing the metronome as it is.
void MetronomeWindow::createControls()
{
    std::vector<QWidget *> beneath;
    for (const ControlDesign &row : designRows()) {
        QWidget *container = this;
        if (row.container)
            container = findChild<Frame *>(QLatin1String(row.container));
        QWidget *control = nullptr;
        if (row.name == std::string_view("Line2")) {
            m_pendulum = new Pendulum(m_metronome, row, design("Shape1"), container);
            control = m_pendulum;
        } else {
            control = buildControl(row, *container);
        }
        if (control && (row.kind == Kind::Label || row.kind == Kind::Line))
            beneath.push_back(control);
    }
    for (auto control = beneath.rbegin(); control != beneath.rend(); ++control)
        (*control)->lower();

    m_tempoFrame = findChild<Frame *>(QStringLiteral("Frame3"));
    m_tempoBox = findChild<platform::TextBox *>(QStringLiteral("Text2"));
    m_tempoSlider = findChild<platform::Slider *>(QStringLiteral("Slider1"));
    m_banner = findChild<PictureBox *>(QStringLiteral("Picture1"));
    m_startStop = findChild<platform::CommandButton *>(QStringLiteral("cmdAbilitaDisabilita"));
    m_soundOn = findChild<platform::OptionButton *>(QStringLiteral("Op1"));
    m_soundOff = findChild<platform::OptionButton *>(QStringLiteral("Op2"));
    m_beatCounter = findChild<QLabel *>(QStringLiteral("Label1"));
    m_beatCounterFont = m_beatCounter->font();

    m_tempoSlider->setRange(core::kSlowestTempo, core::kFastestTempo);
    m_tempoSlider->setValue(m_metronome.tempo());
    showTempoInBox(m_metronome.tempo());
    showRunState(m_metronome.runState());
    showSoundOn(m_metronome.soundOn());
    showCount(m_metronome.count());
}

void MetronomeWindow::showPictures()
{
    m_banner->setPicture(bannerPicture());
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
    // The slider sets the tempo as it moves; the box shows it when the user's action ends.
    connect(m_tempoSlider, &platform::Slider::changed, this,
            [this] { m_metronome.setTempo(m_tempoSlider->value()); });
    connect(m_tempoSlider, &platform::Slider::clicked, this,
            [this] { showTempoInBox(m_metronome.tempo()); });
    connect(m_tempoBox, &platform::TextBox::changed, this, &MetronomeWindow::tempoTyped);
    m_tempoBox->setKeyPressHook(core::filterTempoKey);
    connect(m_startStop, &QPushButton::clicked, &m_metronome, &core::Metronome::startOrStop);
    connect(m_soundOn, &QRadioButton::toggled, &m_metronome, &core::Metronome::setSoundOn);
}

void MetronomeWindow::connectMetronome()
{
    connect(&m_metronome, &core::Metronome::tempoChanged, this, &MetronomeWindow::showTempo);
    connect(&m_metronome, &core::Metronome::runStateChanged, this, &MetronomeWindow::showRunState);
    connect(&m_metronome, &core::Metronome::soundChanged, this, &MetronomeWindow::showSoundOn);
    connect(&m_metronome, &core::Metronome::beat, this, &MetronomeWindow::showBeat);
}

// An empty box asks for a number; a number that is no tempo (yet) stays in the box, in red, and
// leaves the tempo alone, so that typing "1", "14", "140" digit by digit ends at 140.
void MetronomeWindow::tempoTyped()
{
    if (m_tempoBox->text().isEmpty()) {
        m_tempoBox->setMarkedInvalid(false);
        platform::showMessage(this, QString::fromUtf8(emptyTempoMessage),
                              QString::fromUtf8(messageTitle));
        return;
    }
    const auto tempo = core::tempoFromText(m_tempoBox->text());
    m_tempoBox->setMarkedInvalid(!tempo);
    if (tempo)
        m_metronome.setTempo(*tempo);
}

// The tempo shows in the frame's caption, on the slider and in the box, wherever it was set.
// The slider that is setting it needs no moving, and the box catches up with it when the
// user's action on it ends; a box that already stands for the tempo ("070") is left as typed.
void MetronomeWindow::showTempo(int bpm)
{
    m_tempoFrame->setCaption(core::tempoCaption(QString::fromUtf8(design("Frame3").caption), bpm));
    if (m_tempoSlider->value() == bpm)
        return;
    m_tempoSlider->setValue(bpm);
    if (core::tempoFromText(m_tempoBox->text()) != bpm)
        showTempoInBox(bpm);
}

void MetronomeWindow::showTempoInBox(int bpm)
{
    m_tempoBox->setText(core::toDecimalText(bpm));
    m_tempoBox->setMarkedInvalid(false);
}

void MetronomeWindow::showRunState(core::RunState state)
{
    m_startStop->setText(QString::fromUtf8(state == core::RunState::Running
                                               ? runningToggleCaption
                                               : design("cmdAbilitaDisabilita").caption));
    m_pendulum->update();
}

void MetronomeWindow::showSoundOn(bool on)
{
    (on ? m_soundOn : m_soundOff)->setChecked(true);
}

void MetronomeWindow::showBeat(const QString &count)
{
    showCount(count);
    setWindowTitle(isMinimized() ? core::minimisedCaption(count)
                                 : QString::fromUtf8(frmCadrelDesign.caption));
    m_pendulum->update();
}

// A screen reader hears the count change: the label's name is its text, and the label
// announces a new one.
void MetronomeWindow::showCount(const QString &count)
{
    m_beatCounter->setFont(
        fontToFit(m_beatCounterFont, count, m_beatCounter->contentsRect().width() - 2));
    m_beatCounter->setText(count);
}

} // namespace window
