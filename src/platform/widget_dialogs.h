#pragma once

#include "platform/dialogs.h"

#include <QPointer>

class QWidget;

/// Dialogs as Qt's message boxes, colour dialog and file dialog, each over the given parent window.
class WidgetDialogs final : public Dialogs {
public:
    explicit WidgetDialogs(QWidget* parent);
    bool askOkCancel(const QString& caption, const QString& text) override;
    void inform(const QString& caption, const QString& text) override;
    void warn(const QString& caption, const QString& text) override;
    std::optional<ColourValue> pickColour(ColourValue initial) override;
    std::optional<QString> pickOpenFile(const QString& title, const QString& filter, const QString& startPath) override;

private:
    QPointer<QWidget> m_parent;
};
