#include "window/frm_cadrel.h"

#include "core/beat_rules.h"
#include "platform/periodic_timer.h"
#include "platform/program_folder.h"
#include "platform/slider.h"
#include "platform/sound/sound.h"
#include "platform/text_box.h"
#include "platform/twips.h"
#include "window/control_factory.h"
#include "window/design.h"
#include "window/painted_accessible.h"
#include "window/painted_controls.h"
#include "window/picture_box.h"
#include "window/pictures.h"

#include <algorithm>
#include <QPushButton>
#include <QRadioButton>
#include <vector>

namespace window {

frmCadrel::frmCadrel(QWidget *parent) : Surface(parent), sound(std::make_unique<platform::Sound>())
{
    const WindowDesign &form = frmCadrelDesign;
    setWindowTitle(QString::fromUtf8(form.caption));
    setGeometry(platform::rectFromTwips(form.left, form.top, form.clientWidth, form.clientHeight));
    setFont(designFont(form.font));
    setBackground(platform::toQColor(form.back, palette()));

    setWindowIcon(programIcon());

    installPaintedAccessibility();
    createControls();
    // The click is read ahead of the first beat.
    sound->prepare(core::soundPath(platform::programFolder(), platform::pathSeparator()));
    // The pendulum only redraws from the count, so its tick is skipped while the count stands.
    Timer1->setTicksOnDemand(true);
    showPictures();
    setTabOrder();
    connectNotifications();
    cmdAbilitaDisabilita->setFocus();
}

frmCadrel::~frmCadrel()
{
    // No notification may reach a handler while the controls are being torn down.
    for (QObject *child : findChildren<QObject *>())
        child->disconnect(this);
}

void frmCadrel::createControls()
{
    Frame3 = makeFrame(design("Frame3"), *this);
    Text2 = makeTextBox(design("Text2"), *Frame3);
    Slider1 = makeSlider(design("Slider1"), *Frame3);
    Label3 = makeLabel(design("Label3"), *Frame3);
    Label4 = makeLabel(design("Label4"), *Frame3);
    Picture1 = makePictureBox(design("Picture1"), *this);
    cmdAbilitaDisabilita = makeCommandButton(design("cmdAbilitaDisabilita"), *this);
    Timer1 = makeTimer(design("Timer1"), *this);
    Frame1 = makeFrame(design("Frame1"), *this);
    Op1 = makeOptionButton(design("Op1"), *Frame1);
    Op2 = makeOptionButton(design("Op2"), *Frame1);
    tmrTimer = makeTimer(design("tmrTimer"), *this);
    Label2 = makeLabel(design("Label2"), *this);
    Shape1 = makeShape(design("Shape1"), *this);
    Line2 = makeLine(design("Line2"), *this);
    Line1 = makeLine(design("Line1"), *this);
    Label1 = makeLabel(design("Label1"), *this);
}

void frmCadrel::showPictures()
{
    Picture1->setPicture(bannerPicture());
    cmdAbilitaDisabilita->setCursor(toggleButtonCursor());
    Slider1->setCursor(sliderCursor());
}

void frmCadrel::setTabOrder()
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

// Tab enters an option group at its selected button, and leaves it from there.
bool frmCadrel::focusNextPrevChild(bool next)
{
    const QWidget *from = focusWidget();
    for (int stops = 0; stops < 32; ++stops) {
        if (!Surface::focusNextPrevChild(next))
            return false;
        auto *option = qobject_cast<QRadioButton *>(focusWidget());
        if (!option || option->isChecked())
            return true;
        QRadioButton *selected = selectedOption(*option->parentWidget());
        if (!selected)
            return true;
        if (from && from->parentWidget() == option->parentWidget())
            continue; // leaving the group: pass its other buttons by
        selected->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
    }
    return true;
}

void frmCadrel::connectNotifications()
{
    connect(Slider1, &platform::Slider::changed, this, &frmCadrel::Slider1_Change);
    connect(Slider1, &platform::Slider::clicked, this, &frmCadrel::Slider1_Click);
    connect(Text2, &platform::TextBox::changed, this, &frmCadrel::Text2_Change);
    Text2->setKeyPressHook([this](std::int16_t &KeyAscii) { Text2_KeyPress(KeyAscii); });
    connect(cmdAbilitaDisabilita, &QPushButton::clicked, this,
            &frmCadrel::cmdAbilitaDisabilita_Click);
    connect(tmrTimer, &platform::PeriodicTimer::tick, this, &frmCadrel::tmrTimer_Timer);
    connect(Timer1, &platform::PeriodicTimer::tick, this, &frmCadrel::Timer1_Timer);
}

} // namespace window
