#include "main_window/row_pair.h"

#include "main_window/row_font.h"
#include "main_window/row_label.h"

#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

// The type size the rows have until the first layout pass.
constexpr double initialTypeSize = 42.0;
// In a pause the rows keep this much of the contrast between their text and their background every other half
// second: seen across a hall, and still read.
constexpr double pausedContrast = 0.4;
constexpr int pauseBlinkMs = 500;

ColourValue dimmed(ColourValue foreground, ColourValue background)
{
    const auto mix = [](int f, int b) {
        return qRound(b + (f - b) * pausedContrast);
    };
    return colourFromRgb(mix(redOf(foreground), redOf(background)), mix(greenOf(foreground), greenOf(background)),
                         mix(blueOf(foreground), blueOf(background)));
}

} // namespace

RowPair::RowPair(QWidget* host, const QString& family, const QString& upperText, const QString& lowerText,
                 ColourValue foreground, ColourValue background)
    : QObject(host), m_host(host), m_family(family), m_upper(new RowLabel(upperText, foreground, background, host)),
      m_lower(new RowLabel(lowerText, foreground, background, host)), m_colours{foreground, background, foreground,
                                                                                background}
{
    m_upper->setObjectName(u"Label1"_s);
    m_lower->setObjectName(u"Label2"_s);
    for (RowLabel* label : {m_upper, m_lower})
        label->setFont(rowFont(m_family, initialTypeSize));
    m_blink.setInterval(pauseBlinkMs);
    connect(&m_blink, &QTimer::timeout, this, [this] {
        m_dimmed = !m_dimmed;
        showColours();
        emit dimmedChanged();
    });
}

int RowPair::pixelsX(double points) const
{
    return qRound(points * m_host->logicalDpiX() / 72.0);
}

int RowPair::pixelsY(double points) const
{
    return qRound(points * m_host->logicalDpiY() / 72.0);
}

RowLayout RowPair::layOut(bool bothRows, int fmtIndex)
{
    const double width = m_host->width() * 72.0 / m_host->logicalDpiX();
    const double height = m_host->height() * 72.0 / m_host->logicalDpiY();
    const RowLayout layout =
        fmtIndex < 0 ? layoutRows(width, height, bothRows) : layoutRowsInForm(width, height, bothRows, fmtIndex);
    // Written one by one in a fixed order: lower top, widths, heights, then the type sizes.
    m_lower->move(0, pixelsY(layout.lowerTop));
    m_upper->resize(pixelsX(layout.width), m_upper->height());
    m_lower->resize(pixelsX(layout.width), m_lower->height());
    // Edges, not lengths, are rounded to whole pixels, so the rows meet without a gap or an overlap and the
    // lower one ends exactly at the window's edge when half the height is a fraction of a pixel.
    m_upper->resize(m_upper->width(), pixelsY(layout.height));
    m_lower->resize(m_lower->width(), pixelsY(layout.lowerTop + layout.height) - pixelsY(layout.lowerTop));
    m_upper->setFont(rowFont(m_family, layout.typeSize));
    m_lower->setFont(rowFont(m_family, layout.typeSize));
    return layout;
}

void RowPair::setFamily(const QString& family)
{
    m_family = family;
    for (RowLabel* label : {m_upper, m_lower})
        label->setFont(rowFont(m_family, label->font().pointSizeF()));
}

void RowPair::showRows(SettingsRecord::RowMode mode)
{
    switch (mode) {
    case SettingsRecord::RowMode::Option1:
        m_upper->setVisible(true);
        m_lower->setVisible(true);
        break;
    case SettingsRecord::RowMode::Option2:
        m_upper->setVisible(true);
        m_lower->setVisible(false);
        break;
    case SettingsRecord::RowMode::Option3:
        m_upper->setVisible(false);
        m_lower->setVisible(true);
        break;
    case SettingsRecord::RowMode::None:
        break;
    }
}

void RowPair::showRowsAs(const RowPair& other)
{
    // Asked of the widget itself, so it holds while either window is hidden.
    m_upper->setVisible(!other.m_upper->isHidden());
    m_lower->setVisible(!other.m_lower->isHidden());
}

void RowPair::setUpperText(const QString& text)
{
    m_upper->setText(text);
}

void RowPair::setLowerText(const QString& text)
{
    m_lower->setText(text);
}

void RowPair::setUpperColours(ColourValue foreground, ColourValue background)
{
    m_colours[0] = foreground;
    m_colours[1] = background;
    showColours();
}

void RowPair::setLowerColours(ColourValue foreground, ColourValue background)
{
    m_colours[2] = foreground;
    m_colours[3] = background;
    showColours();
}

void RowPair::showColours()
{
    const auto shown = [this](ColourValue f, ColourValue b) {
        return m_dimmed ? dimmed(f, b) : f;
    };
    m_upper->setColours(shown(m_colours[0], m_colours[1]), m_colours[1]);
    m_lower->setColours(shown(m_colours[2], m_colours[3]), m_colours[3]);
}

void RowPair::setPaused(bool paused)
{
    if (paused == m_paused)
        return;
    m_paused = paused;
    // Dimmed at once, so the key shows it took.
    m_dimmed = m_paused;
    if (m_paused)
        m_blink.start();
    else
        m_blink.stop();
    showColours();
    emit dimmedChanged();
}

void RowPair::dimAs(const RowPair& other)
{
    if (m_dimmed == other.m_dimmed)
        return;
    m_dimmed = other.m_dimmed;
    showColours();
}
