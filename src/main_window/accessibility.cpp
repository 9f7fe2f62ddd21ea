#include "main_window/accessibility.h"

#include "main_window/form1.h"
#include "main_window/row_label.h"

#include <QAccessibleWidget>

#include <algorithm>

namespace {

/// A row as assistive technology reads it: static text whose name and text are both the row's text, exactly as
/// the row holds it, a CR LF between the two lines of the two-line form, so that the offsets of the changes the
/// row announces are offsets in its own text.
class RowLabelAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit RowLabelAccessible(RowLabel* row) : QAccessibleWidget(row, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? row()->text() : QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    // Read-only text without a caret or a selection.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        const QString all = row()->text();
        startOffset = std::clamp(startOffset, 0, int(all.size()));
        endOffset = endOffset < 0 ? int(all.size()) : std::clamp(endOffset, startOffset, int(all.size()));
        return all.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(row()->text().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    RowLabel* row() const { return static_cast<RowLabel*>(widget()); }
};

/// The main window as a frame whose name is its caption in every state: Qt's own description would name a
/// minimised window by its icon text, which this program never sets, while the caption then shows the time.
class Form1Accessible final : public QAccessibleWidget {
public:
    explicit Form1Accessible(Form1* window) : QAccessibleWidget(window, QAccessible::Window) {}

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? widget()->windowTitle() : QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* describe(const QString&, QObject* object)
{
    if (auto* row = qobject_cast<RowLabel*>(object))
        return new RowLabelAccessible(row);
    if (auto* window = qobject_cast<Form1*>(object))
        return new Form1Accessible(window);
    return nullptr;
}

} // namespace

void installAccessibility()
{
    // Qt keeps a factory once however often it is installed.
    QAccessible::installFactory(describe);
}
