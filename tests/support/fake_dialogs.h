#pragma once

#include "platform/dialogs.h"

#include <QList>
#include <QStringList>

#include <functional>

/// Dialogs answered from queues the test fills; every box shown is recorded.
class FakeDialogs final : public Dialogs {
public:
    struct Shown {
        QString kind; ///< "ask", "yesno", "inform", "warn", "colour", "file"
        QString caption;
        QString text;
    };

    bool askOkCancel(const QString& caption, const QString& text) override
    {
        m_shown.append({QStringLiteral("ask"), caption, text});
        return m_answers.isEmpty() ? false : m_answers.takeFirst().value_or(false);
    }
    std::optional<bool> askYesNo(const QString& caption, const QString& text) override
    {
        m_shown.append({QStringLiteral("yesno"), caption, text});
        if (whileAsked)
            whileAsked();
        return m_answers.isEmpty() ? std::optional(false) : m_answers.takeFirst();
    }
    void inform(const QString& caption, const QString& text) override
    {
        m_shown.append({QStringLiteral("inform"), caption, text});
    }
    void warn(const QString& caption, const QString& text) override
    {
        m_shown.append({QStringLiteral("warn"), caption, text});
    }
    std::optional<ColourValue> pickColour(ColourValue initial) override
    {
        m_shown.append({QStringLiteral("colour"), {}, QString::number(initial)});
        return m_colours.isEmpty() ? std::nullopt : m_colours.takeFirst();
    }
    std::optional<QString> pickOpenFile(const QString& title, const QString& filter, const QString& startPath) override
    {
        m_shown.append({QStringLiteral("file"), title, filter + QLatin1Char('|') + startPath});
        return m_files.isEmpty() ? std::nullopt : m_files.takeFirst();
    }

    /// Nothing answers a Yes/No question only: the box closed under it.
    void queueAnswer(std::optional<bool> ok) { m_answers.append(ok); }
    void queueColour(std::optional<ColourValue> colour) { m_colours.append(colour); }
    void queueFile(std::optional<QString> path) { m_files.append(path); }
    const QList<Shown>& shown() const { return m_shown; }
    void clearShown() { m_shown.clear(); }

    /// Runs while a Yes/No question stands open, as the time its reader takes.
    std::function<void()> whileAsked;

private:
    QList<std::optional<bool>> m_answers;
    QList<std::optional<ColourValue>> m_colours;
    QList<std::optional<QString>> m_files;
    QList<Shown> m_shown;
};
