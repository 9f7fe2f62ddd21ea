#include "timing/saved_count.h"

#include <QHash>
#include <QList>

#include <cmath>

namespace {

constexpr char firstLine[] = "Lectern count 1";
// Wider than any instant or count in seconds or milliseconds the program makes; keeps the arithmetic finite.
constexpr double largest = 1e15;

QByteArray number(double value)
{
    return QByteArray::number(value, 'g', 17);
}

std::optional<double> readDouble(const QByteArray& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > largest)
        return std::nullopt;
    return value;
}

std::optional<qint64> readInteger(const QByteArray& text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < -qint64(largest) || value > qint64(largest))
        return std::nullopt;
    return value;
}

std::optional<bool> readFlag(const QByteArray& text)
{
    if (text == "0" || text == "1")
        return text == "1";
    return std::nullopt;
}

// Text of a line: anything but control characters (the line end is the record's end already).
std::optional<QByteArray> readText(const QByteArray& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt;
    return text;
}

QByteArray withoutControls(QByteArray text)
{
    text.removeIf([](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    return text;
}

// A boot id as the kernel writes it: a UUID, or anything short of letters, digits and dashes.
bool isBootId(const QByteArray& text)
{
    if (text.size() > 64)
        return false;
    for (const char c : text) {
        const bool allowed = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
        if (!allowed)
            return false;
    }
    return true;
}

} // namespace

QByteArray savedCountBytes(const SavedCount& saved)
{
    const CountSnapshot& c = saved.count;
    QByteArray out = firstLine;
    out += '\n';
    const auto line = [&out](const char* key, const QByteArray& value) {
        out += key + ('=' + value) + '\n';
    };
    line("bootId", c.bootId.toLatin1());
    line("startBoot", number(c.startBoot));
    line("startWallMs", QByteArray::number(c.startWallMs));
    line("pausedSeconds", number(c.pausedSeconds));
    line("pauseBeganBoot", number(c.pauseBeganBoot));
    line("pauseBeganWallMs", QByteArray::number(c.pauseBeganWallMs));
    line("adjustSeconds", number(c.adjustSeconds));
    line("presenEnd", number(c.presenEnd));
    line("discussEnd", number(c.discussEnd));
    line("presentation", number(c.times.presentation));
    line("discussion", number(c.times.discussion));
    line("warning", number(c.times.warning));
    line("rehearsal", c.rehearsal ? "1" : "0");
    line("ended", c.ended ? "1" : "0");
    line("savedWallMs", QByteArray::number(c.savedWallMs));
    // Keys files of earlier versions lack; before the last key, so that a file cut short still reads as nothing.
    line("startedByRestart", c.startedByRestart ? "1" : "0");
    line("used", c.used ? "1" : "0");
    line("listedLine", withoutControls(saved.listedLine));
    line("fullScreen", saved.room.fullScreen ? "1" : "0");
    line("screen", withoutControls(saved.room.screen.toUtf8()));
    line("speakerWindow", saved.room.speakerWindow ? "1" : "0");
    line("servePort", QByteArray::number(saved.room.servePort));
    line("recorded", saved.recorded ? "1" : "0");
    return out;
}

std::optional<SavedCount> savedCountFromBytes(const QByteArray& bytes)
{
    if (bytes.size() > savedCountMaxBytes)
        return std::nullopt;
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.constFirst() != firstLine)
        return std::nullopt;
    QHash<QByteArray, QByteArray> values;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& text = lines.at(i);
        if (text.isEmpty())
            continue;
        const qsizetype eq = text.indexOf('=');
        if (eq <= 0)
            return std::nullopt;
        const QByteArray key = text.left(eq);
        if (values.contains(key))
            return std::nullopt;
        values.insert(key, text.mid(eq + 1));
    }

    SavedCount saved;
    CountSnapshot& c = saved.count;
    bool complete = true;
    const auto take = [&](const char* key, auto read, auto& field) {
        const auto it = values.constFind(key);
        const auto value = it == values.constEnd() ? std::nullopt : read(*it);
        if (value)
            field = *value;
        else
            complete = false;
    };
    const QByteArray bootId = values.value("bootId");
    if (!values.contains("bootId") || !isBootId(bootId))
        return std::nullopt;
    c.bootId = QString::fromLatin1(bootId);
    take("startBoot", readDouble, c.startBoot);
    take("startWallMs", readInteger, c.startWallMs);
    take("pausedSeconds", readDouble, c.pausedSeconds);
    take("pauseBeganBoot", readDouble, c.pauseBeganBoot);
    take("pauseBeganWallMs", readInteger, c.pauseBeganWallMs);
    take("adjustSeconds", readDouble, c.adjustSeconds);
    take("presenEnd", readDouble, c.presenEnd);
    take("discussEnd", readDouble, c.discussEnd);
    take("presentation", readDouble, c.times.presentation);
    take("discussion", readDouble, c.times.discussion);
    take("warning", readDouble, c.times.warning);
    take("rehearsal", readFlag, c.rehearsal);
    take("ended", readFlag, c.ended);
    take("savedWallMs", readInteger, c.savedWallMs);
    take("recorded", readFlag, saved.recorded);
    bool optionalValid = true;
    const auto takeOptional = [&](const char* key, auto read, auto& field) {
        const auto it = values.constFind(key);
        if (it == values.constEnd())
            return;
        if (const auto value = read(*it))
            field = *value;
        else
            optionalValid = false;
    };
    takeOptional("startedByRestart", readFlag, c.startedByRestart);
    takeOptional("used", readFlag, c.used);
    takeOptional("listedLine", readText, saved.listedLine);
    takeOptional("fullScreen", readFlag, saved.room.fullScreen);
    QByteArray screen;
    takeOptional("screen", readText, screen);
    saved.room.screen = QString::fromUtf8(screen);
    takeOptional("speakerWindow", readFlag, saved.room.speakerWindow);
    qint64 port = 0;
    takeOptional("servePort", readInteger, port);
    if (port < 0 || port > 65535)
        return std::nullopt;
    saved.room.servePort = quint16(port);
    if (!complete || !optionalValid || c.pausedSeconds < 0 || c.times.presentation < 0 || c.times.discussion < 0 ||
        c.times.warning < 0)
        return std::nullopt;
    return saved;
}
