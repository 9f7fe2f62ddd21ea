#include "platform/widget_dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

WidgetDialogs::WidgetDialogs(QWidget* parent) : m_parent(parent) {}

bool WidgetDialogs::askOkCancel(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok | QMessageBox::Cancel, m_parent);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Ok;
}

void WidgetDialogs::inform(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void WidgetDialogs::warn(const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::optional<ColourValue> WidgetDialogs::pickColour(ColourValue initial)
{
    const QColor start(redOf(initial), greenOf(initial), blueOf(initial));
    const QColor chosen = QColorDialog::getColor(start, m_parent);
    if (!chosen.isValid())
        return std::nullopt;
    return colourFromRgb(chosen.red(), chosen.green(), chosen.blue());
}

std::optional<QString> WidgetDialogs::pickOpenFile(const QString& title, const QString& filter,
                                                   const QString& startPath)
{
    QFileDialog dialog(m_parent, title, startPath, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!startPath.isEmpty())
        dialog.selectFile(startPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
