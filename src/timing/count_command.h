#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <optional>

/// One of the chair's commands to the count, however it came: a key, a later start's command line, the one-copy
/// socket or the browser view. A plain value, so the browser view's module can carry it without the count's code.
struct CountCommand {
    enum class Name { Restart, Rehearsal, Pause, Adjust, Skip, Bell };
    Name name = Name::Restart;
    /// An adjustment's seconds, positive to move the count on; zero for every other command.
    double seconds = 0.0;

    bool operator==(const CountCommand&) const = default;
};

/// How a command is spelt wherever it is written out (the command line's options, the socket's lines, the browser
/// view's paths), and whether it takes seconds.
struct CountCommandSpelling {
    CountCommand::Name name;
    const char* text;
    bool takesSeconds;
};

/// The one table of the commands' names.
inline constexpr std::array<CountCommandSpelling, 6> countCommandSpellings{{
    {CountCommand::Name::Restart, "restart", false},
    {CountCommand::Name::Rehearsal, "rehearsal", false},
    {CountCommand::Name::Pause, "pause", false},
    {CountCommand::Name::Adjust, "adjust", true},
    {CountCommand::Name::Skip, "skip", false},
    {CountCommand::Name::Bell, "bell", false},
}};

/// The largest move of one adjustment, either way: a day.
inline constexpr double largestAdjustSeconds = 24 * 3600.0;

/// The spelling of `name` in the table; null for a name it does not hold.
const CountCommandSpelling* countCommandSpelling(QByteArrayView name);

/// The seconds of an adjustment written as a plain decimal number (an optional sign, digits with an optional
/// point: "-30", "+2.5", ".5"), within largestAdjustSeconds either way; nothing for anything else (spaces, an
/// exponent, "inf").
std::optional<double> adjustmentSeconds(QByteArrayView text);

/// The command named `name` with its argument given apart: the seconds for a command that takes them, nothing
/// (empty) for one that does not. Nothing for an unknown name or a wrong argument. Pure, so any thread may call it.
std::optional<CountCommand> parseCountCommand(QByteArrayView name, QByteArrayView argument);
/// The command in its text form, "name" or "name=argument" ("pause", "adjust=-30").
std::optional<CountCommand> parseCountCommand(QByteArrayView text);
/// The text form of `command`, which parseCountCommand() reads back. The seconds are written to the microsecond,
/// far finer than the count shows, so the line stays short however they were given.
QByteArray countCommandText(const CountCommand& command);
