#include "app/count_keeper.h"

#include "build_info.h"

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/file_access.h"
#include "platform/file_writer.h"
#include "platform/log_categories.h"
#include "platform/wall_clock.h"
#include "timing/resume_offer.h"
#include "timing/talk_line.h"

using namespace Qt::StringLiterals;

namespace {

// The count seconds at a wall-clock instant, for a count no boot clock can speak for any more.
double countSecondsAtWall(const CountSnapshot& count, qint64 wallMs)
{
    const qint64 until = count.pauseBeganBoot >= 0 ? count.pauseBeganWallMs : wallMs;
    return double(until - count.startWallMs) / 1000.0 - count.pausedSeconds + count.adjustSeconds;
}

} // namespace

CountKeeper::CountKeeper(const FileAccess& files, FileWriter& writer, Dialogs& dialogs, const Clock& bootClock,
                         const WallClock& wallClock, const CountLocation& location, QObject* parent)
    : QObject(parent), m_files(files), m_writer(writer), m_dialogs(dialogs), m_bootClock(bootClock),
      m_wallClock(wallClock), m_location(location)
{}

void CountKeeper::load()
{
    if (m_location.statePath.isEmpty())
        return;
    const std::optional<QByteArray> bytes = m_files.readOrdinaryFile(m_location.statePath, savedCountMaxBytes);
    if (!bytes)
        return;
    m_loaded = savedCountFromBytes(*bytes);
    if (!m_loaded)
        qCWarning(lcFiles, "not a count this program saved, passed over: %s", qUtf8Printable(m_location.statePath));
}

void CountKeeper::offerResume()
{
    const std::optional<SavedCount> loaded = std::exchange(m_loaded, std::nullopt);
    if (!loaded)
        return;
    const CountSnapshot& saved = loaded->count;
    const qint64 wallNow = m_wallClock.nowMs();
    if (const auto offer = resumeOffer(saved, m_wallClock.bootId(), m_bootClock.now(), wallNow)) {
        if (m_dialogs.askYesNo(QString::fromUtf16(programName), resumeQuestion(offer->elapsed))) {
            emit resumeRequested(offer->count);
            return;
        }
        // Listed as ending at the refusal, however long the question stood open.
        if (!loaded->recorded)
            list(saved, countSecondsAt(offer->count, m_bootClock.now()), m_wallClock.nowMs());
        return;
    }
    if (!loaded->recorded && !saved.ended && !saved.rehearsal && saved.startWallMs > 0)
        list(saved, countSecondsAtWall(saved, saved.savedWallMs), saved.savedWallMs);
}

void CountKeeper::countChanged(const CountSnapshot& count)
{
    save({count, false});
}

void CountKeeper::countEnded(const CountSnapshot& last, double elapsed, qint64 endWallMs)
{
    if (last.rehearsal)
        return;
    list(last, elapsed, endWallMs);
    save({last, true});
}

void CountKeeper::save(const SavedCount& saved)
{
    if (m_location.statePath.isEmpty())
        return;
    SavedCount stamped = saved;
    stamped.count.savedWallMs = m_wallClock.nowMs();
    m_writer.replaceWhole(m_location.statePath, savedCountBytes(stamped));
}

void CountKeeper::list(const CountSnapshot& last, double elapsed, qint64 endWallMs)
{
    if (m_location.talksPath.isEmpty())
        return;
    m_writer.appendLine(m_location.talksPath, talkLine(last, elapsed, endWallMs), talkListHeader());
}
