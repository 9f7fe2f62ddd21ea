#include "timing/count_keeper.h"

#include "build_info.h"

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/file_access.h"
#include "platform/file_writer.h"
#include "platform/log_categories.h"
#include "platform/wall_clock.h"
#include "timing/count_seconds.h"
#include "timing/resume_offer.h"
#include "timing/talk_line.h"

using namespace Qt::StringLiterals;

CountKeeper::CountKeeper(const FileAccess& files, FileWriter& countWriter, FileWriter& listWriter, Dialogs& dialogs,
                         const Clock& bootClock, const WallClock& wallClock, const CountLocation& location,
                         QObject* parent)
    : QObject(parent), m_files(files), m_countWriter(countWriter), m_listWriter(listWriter), m_dialogs(dialogs),
      m_bootClock(bootClock), m_wallClock(wallClock), m_location(location)
{}

void CountKeeper::load()
{
    if (m_location.statePath.isEmpty())
        return;
    const std::optional<QByteArray> bytes = m_files.readOrdinaryFile(m_location.statePath, savedCountMaxBytes);
    if (!bytes)
        return;
    m_loaded = savedCountFromBytes(*bytes);
    m_holding = m_loaded.has_value();
    if (!m_loaded)
        qCWarning(lcFiles, "not a count this program saved, passed over: %s", qUtf8Printable(m_location.statePath));
}

void CountKeeper::offerResume()
{
    const std::optional<SavedCount> loaded = std::exchange(m_loaded, std::nullopt);
    if (!loaded)
        return release();
    const CountSnapshot& saved = loaded->count;
    const qint64 wallNow = m_wallClock.nowMs();
    if (const auto offer = resumeOffer(saved, m_wallClock.bootId(), m_bootClock.now(), wallNow)) {
        const std::optional<bool> yes =
            m_dialogs.askYesNo(QString::fromUtf16(programName), resumeQuestion(offer->elapsed));
        if (!yes) {
            m_stopped = true;
            return;
        }
        if (*yes) {
            // The talk goes on: its line, listed at the close, is listed again when it finally ends.
            if (loaded->recorded && !loaded->listedLine.isEmpty() && !m_location.talksPath.isEmpty()) {
                const QByteArray line = loaded->listedLine;
                m_listWriter.withdrawLastLine(m_location.talksPath,
                                              [line](const QByteArray& last) { return isNumberedLine(last, line); });
            }
            emit resumeRequested(offer->count);
            emit roomRequested(loaded->room);
        } else if (!loaded->recorded) {
            // Listed as ending at the refusal, however long the question stood open.
            list(saved, countSecondsAt(offer->count, m_bootClock.now()), m_wallClock.nowMs());
        }
    } else if (!loaded->recorded && !saved.ended && saved.startWallMs > 0) {
        list(saved, countSecondsAtWall(saved, saved.savedWallMs), saved.savedWallMs);
    }
    release();
}

void CountKeeper::countChanged(const CountSnapshot& count)
{
    save({count, false, {}, m_room});
}

void CountKeeper::countEnded(const CountSnapshot& last, double elapsed, qint64 endWallMs)
{
    if (last.rehearsal || m_stopped)
        return;
    const QByteArray line = list(last, elapsed, endWallMs);
    save({last, true, line, m_room});
}

void CountKeeper::roomChanged(const Room& room)
{
    if (room == m_room)
        return;
    m_room = room;
    if (m_current) {
        SavedCount changed = *m_current;
        changed.room = room;
        save(changed);
    }
}

void CountKeeper::save(const SavedCount& saved)
{
    m_current = saved;
    if (m_location.statePath.isEmpty() || m_stopped)
        return;
    SavedCount stamped = saved;
    stamped.count.savedWallMs = m_wallClock.nowMs();
    if (m_holding)
        m_waiting = stamped;
    else
        m_countWriter.replaceWhole(m_location.statePath, savedCountBytes(stamped));
}

void CountKeeper::release()
{
    m_holding = false;
    if (const std::optional<SavedCount> waiting = std::exchange(m_waiting, std::nullopt); waiting && !m_stopped)
        m_countWriter.replaceWhole(m_location.statePath, savedCountBytes(*waiting));
}

QByteArray CountKeeper::list(const CountSnapshot& last, double elapsed, qint64 endWallMs)
{
    if (m_location.talksPath.isEmpty() || !isTalk(last, elapsed))
        return {};
    QByteArray line = talkLine(last, elapsed, endWallMs);
    m_listWriter.appendLine(
        m_location.talksPath, [line](const QByteArray& tail) { return numberedTalkLine(line, tail); },
        talkListHeader());
    return line;
}
