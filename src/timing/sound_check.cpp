#include "timing/sound_check.h"

#include "platform/chime_device.h"
#include "platform/dialogs.h"

using namespace Qt::StringLiterals;

SoundCheck::SoundCheck(ChimeDevice& device, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_device(device), m_dialogs(dialogs)
{
    m_watch.setInterval(100);
    connect(&m_watch, &QTimer::timeout, this, [this] {
        const ChimeDevice::Mode mode = m_device.mode();
        if (mode == ChimeDevice::Mode::Busy)
            return;
        m_watch.stop();
        // The file is read in the background: one that turns out unplayable only shows here.
        if (mode == ChimeDevice::Mode::NotOpen)
            warn(m_playing);
        m_device.close();
    });
}

void SoundCheck::play(const QString& path)
{
    m_watch.stop();
    m_device.close();
    m_device.setFileName(path);
    m_device.open();
    if (m_device.mode() != ChimeDevice::Mode::NotOpen)
        m_device.play();
    if (m_device.mode() != ChimeDevice::Mode::NotOpen) {
        // Polled like the count's device, so its output closes once the sound is over.
        m_playing = path;
        m_watch.start();
        return;
    }
    warn(path);
}

void SoundCheck::warn(const QString& path)
{
    using Failure = ChimeDevice::Failure;
    QString why;
    switch (m_device.failure()) {
    case Failure::NoSuchFile:
        why = u"ファイルが見つかりません。"_s;
        break;
    case Failure::Unreadable:
        why = u"ファイルを読み込めません。"_s;
        break;
    case Failure::TooLong:
        why = u"10分を超える音声ファイルは再生できません。"_s;
        break;
    case Failure::NoOutput:
        why = u"音声出力を開けませんでした（%1）。"_s.arg(m_device.outputError());
        break;
    case Failure::None:
    case Failure::NotSound:
        why = u"このプログラムで再生できる音声ファイルではありません。"_s;
        break;
    }
    const QString what = path.isEmpty() ? u"内蔵のベル"_s : path;
    m_dialogs.warn(u"試聴"_s, what + u"\n\n"_s + why);
}
