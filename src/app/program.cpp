#include "app/program.h"

#include "app/app_icon.h"
#include "build_info.h"
#include "main_window/form1.h"
#include "platform/dialogs.h"
#include "settings/settings_file.h"
#include "settings/settings_location.h"
#include "settings_dialog/form2.h"
#include "widgets/show_and_raise.h"

#include <QApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace {

QStringList installedFolders()
{
    QStringList folders;
    for (const char16_t* folder : installedProgramFolders)
        folders << QDir::cleanPath(QString::fromUtf16(folder));
    return folders;
}

} // namespace

Program::Program(const Services& services, QObject* parent)
    : QObject(parent), m_services(services), m_location(settingsLocation(services.files, installedFolders())),
      m_countChime(services.chime, services.soundCheck),
      m_form1(std::make_unique<Form1>(m_record, services.clock, services.ticker, m_countChime, services.dialogs))
{
    QApplication::setWindowIcon(lecternIcon());
    m_checkWatch.setInterval(100);
    connect(&m_checkWatch, &QTimer::timeout, this, [this] {
        const ChimeDevice::Mode mode = m_services.soundCheck.mode();
        if (mode == ChimeDevice::Mode::Busy)
            return;
        m_checkWatch.stop();
        // The file is read in the background: one that turns out unplayable only shows here.
        if (mode == ChimeDevice::Mode::NotOpen)
            warnSoundCheck(m_checkedPath);
        m_services.soundCheck.close();
    });
    connect(m_form1.get(), &Form1::settingsRequested, this, &Program::showSettings);
    connect(m_form1.get(), &Form1::closed, this, &Program::shutDown);
}

Program::~Program()
{
    // The dialog goes first: its confirmations reach the main window.
    m_form2.reset();
    delete m_closedForm2.data();
    m_form1.reset();
}

void Program::start()
{
    FileAccess& files = m_services.files;
    // The dialog is no child of the main window, so either can be in front of the other.
    m_form2 = std::make_unique<Form2>(m_record, files, m_services.dialogs, m_location.writePath);
    connect(m_form2.get(), &Form2::soundCheckRequested, this, &Program::checkSound);
    connect(m_form2.get(), &Form2::confirmed, this, &Program::showConfirmed);
    connect(m_form2.get(), &Form2::restartRequested, m_form1.get(), &Form1::resettimer);

    readSettings(files, m_location.readPath, m_record);
    // Taken after the file was read, so Cancel before the first confirmation brings back the file's values.
    m_form2->takeCancelCopy();

    m_form1->showRows(m_record.rowMode());
    m_form1->Form_Resize();
    m_form1->resettimer();
    m_form1->setWindowState(Qt::WindowNoState);
    m_form1->show();
}

void Program::bringToFront()
{
    showAndRaise(*m_form1);
}

void Program::showSettings()
{
    if (m_form2)
        showAndRaise(*m_form2);
}

void Program::showConfirmed(SettingsRecord::RowMode mode)
{
    // A save that failed while the program was ending confirms on its way out; the closed window stays closed.
    if (!m_form2)
        return;
    m_form1->showRows(mode);
    m_form1->Form_Resize();
    showAndRaise(*m_form1);
}

void Program::checkSound(const QString& path)
{
    ChimeDevice& check = m_services.soundCheck;
    m_checkWatch.stop();
    check.close();
    check.setFileName(path);
    check.open();
    if (check.mode() != ChimeDevice::Mode::NotOpen)
        check.play();
    if (check.mode() != ChimeDevice::Mode::NotOpen) {
        // Polled like the count's device, so its output closes once the sound is over.
        m_checkedPath = path;
        m_checkWatch.start();
        return;
    }
    warnSoundCheck(path);
}

void Program::warnSoundCheck(const QString& path)
{
    using Failure = ChimeDevice::Failure;
    const ChimeDevice& check = m_services.soundCheck;
    QString why;
    switch (check.failure()) {
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
        why = u"音声出力を開けませんでした（%1）。"_s.arg(check.outputError());
        break;
    case Failure::None:
    case Failure::NotSound:
        why = u"このプログラムで再生できる音声ファイルではありません。"_s;
        break;
    }
    const QString what = path.isEmpty() ? u"内蔵のベル"_s : path;
    m_services.dialogs.warn(u"試聴"_s, what + u"\n\n"_s + why);
}

void Program::shutDown()
{
    // Unconfirmed edits in the dialog are dropped with it; the settings file keeps what it holds. A signal closes
    // the main window from inside a box or picker of the dialog as well, whose own event loop is then still on the
    // stack: every loop is told to return (the box as cancelled), and the dialog is deleted only once the loop that
    // runs now has returned, never under its box.
    if (m_form2) {
        m_form2->hide();
        m_closedForm2 = m_form2.release();
        m_closedForm2->deleteLater();
    }
    emit finished();
    QCoreApplication::exit(0);
}
