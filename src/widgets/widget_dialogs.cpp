#include "widgets/widget_dialogs.h"

#include "widgets/qt_colour.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace {

/// Qt's file and colour dialogs keep their history, last folder and custom colours in QtProject.conf in the
/// user's configuration folder, a file no Lectern user asked for and that tells where their files are. Their
/// folder is set to /dev/null, below which nothing can be made even by root, so they are neither read nor written;
/// Lectern keeps nothing else through QSettings.
void keepQtDialogSettingsOffDisk()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, u"/dev/null"_s);
}

} // namespace

bool WidgetDialogs::askOkCancel(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok;
}

std::optional<bool> WidgetDialogs::askYesNo(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    // Escape and the frame's close button press No; an event loop told to end presses nothing.
    if (!box.clickedButton())
        return std::nullopt;
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

void WidgetDialogs::inform(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void WidgetDialogs::warn(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::optional<ColourValue> WidgetDialogs::pickColour(ColourValue initial)
{
    keepQtDialogSettingsOffDisk();
    const QColor chosen = QColorDialog::getColor(toQColor(initial), QApplication::activeWindow());
    if (!chosen.isValid())
        return std::nullopt;
    return colourValueOf(chosen);
}

std::optional<QString> WidgetDialogs::pickOpenFile(const QString& title, const QString& filter,
                                                   const QString& startPath)
{
    keepQtDialogSettingsOffDisk();
    QFileDialog dialog(QApplication::activeWindow(), title, startPath, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!startPath.isEmpty())
        dialog.selectFile(startPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
