#include "main_window/speaker_screen.h"

#include "main_window/form1.h"
#include "main_window/speaker_window.h"

#include <QGuiApplication>
#include <QScreen>

using namespace Qt::StringLiterals;

SpeakerScreen::SpeakerScreen(const SettingsRecord& settings, Form1& main, const ShownRows& shown, const Count& count,
                             QObject* parent)
    : QObject(parent), m_settings(settings), m_main(main), m_shown(shown), m_count(count)
{
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &SpeakerScreen::screenRemoved);
}

SpeakerScreen::~SpeakerScreen()
{
    delete m_window.data();
}

void SpeakerScreen::toggle()
{
    if (m_window)
        close();
    else
        open();
}

void SpeakerScreen::open()
{
    if (m_window)
        return;
    QScreen* target = nullptr;
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != m_main.screen()) {
            target = screen;
            break;
        }
    }
    if (!target) {
        m_main.showNotice(u"2台目の画面がありません"_s);
        return;
    }
    m_screen = target;
    m_window = new SpeakerWindow(m_settings, m_main, m_shown, m_count);
    m_window->setAttribute(Qt::WA_DeleteOnClose);
    // Placed on its screen before it is shown, so the window manager fills that screen and no other.
    m_window->setScreen(target);
    m_window->setGeometry(target->geometry());
    // Not showFullScreen(), which would also ask for the keyboard the window does not take.
    m_window->setWindowState(Qt::WindowFullScreen);
    m_window->show();
}

void SpeakerScreen::close()
{
    if (m_window)
        m_window->close();
}

void SpeakerScreen::followMain()
{
    if (m_window)
        m_window->followMain();
}

void SpeakerScreen::screenRemoved(QScreen* screen)
{
    // Compared by address only: the screen is on its way out.
    if (m_window && screen == m_screen.data())
        close();
}
