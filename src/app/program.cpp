#include "app/program.h"

#include "app/app_icon.h"
#include "main_window/form1.h"
#include "settings/main_window_control.h"
#include "settings/settings_file.h"
#include "settings_dialog/form2.h"

#include <QApplication>

Program::Program(const Services& services, QObject* parent)
    : QObject(parent), m_services(services),
      m_form1(std::make_unique<Form1>(m_record, services.clock, services.ticker, services.chime, services.dialogs))
{
    QApplication::setWindowIcon(lecternIcon());
    connect(m_form1.get(), &Form1::settingsRequested, this, &Program::showSettings);
    connect(m_form1.get(), &Form1::closed, this, &Program::shutDown);
}

Program::~Program()
{
    // The dialog goes first: it holds the main window as the target of its confirmations.
    m_form2.reset();
    m_form1.reset();
}

void Program::start()
{
    FileAccess& files = m_services.files;
    // The dialog is no child of the main window, so either can be in front of the other.
    m_form2 = std::make_unique<Form2>(m_record, files, m_services.dialogs);
    m_form2->fileN = settingsPath(files.programFolder());
    m_form2->setMainWindow(m_form1.get());

    readSettings(files, m_form2->fileN, m_record);
    // Taken after the file was read, so Cancel before the first confirmation brings back the file's values.
    m_form2->takeCancelCopy();

    applyRowVisibilityRule(m_record.rowMode(), *m_form1);
    m_form1->Form_Resize();
    m_form1->resettimer();
    m_form1->setWindowState(Qt::WindowNoState);
    m_form1->show();
}

void Program::showSettings()
{
    if (m_form2)
        m_form2->showOrRaise();
}

void Program::shutDown()
{
    // Unconfirmed edits in the dialog are dropped with it; the settings file keeps what it holds.
    m_form2.reset();
    emit finished();
    QCoreApplication::quit();
}
