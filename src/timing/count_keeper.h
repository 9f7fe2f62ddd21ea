#pragma once

#include "settings/count_location.h"
#include "timing/saved_count.h"

#include <QObject>

#include <optional>

class Clock;
class Dialogs;
class FileAccess;
class FileWriter;
class WallClock;

/// Keeps the count and the room around it in the count's file between runs, and lists each talk that ends in
/// the day's talks. It only listens to the count and offers the saved one back; the count itself stays with its
/// owner. The count's file and the list have writers of their own, so that a stalled list holds up no save.
class CountKeeper final : public QObject {
    Q_OBJECT
public:
    CountKeeper(const FileAccess& files, FileWriter& countWriter, FileWriter& listWriter, Dialogs& dialogs,
                const Clock& bootClock, const WallClock& wallClock, const CountLocation& location,
                QObject* parent = nullptr);

    /// Reads the count the last run left. Called once at start, before the first count is saved: the file is
    /// small and local, read with the settings file. Until offerResume() is done the file is kept as it was read:
    /// the saves of the count that runs meanwhile wait, the latest one written after.
    void load();
    /// After the main window is shown: asks whether to take up the loaded count when it is a talk still inside its
    /// window, and asks for it and its room to come back on Yes (its line, if listed at a close, is taken back).
    /// A talk not taken up is listed in the day's talks unless it was already (closed, not crashed), ending at the
    /// refusal, or at its last save when it was past its window. A question closed unanswered (the program ending
    /// under it) changes nothing on disk, so the next start asks again.
    void offerResume();

public slots:
    /// Saves the count as it stands, after each command and phase change.
    void countChanged(const CountSnapshot& count);
    /// Lists a count that ended when it is a talk, and saves it as listed, so that a closed window's count can
    /// still be taken up without being listed twice; a count that follows (a restart) replaces it in the file.
    void countEnded(const CountSnapshot& last, double elapsed, qint64 endWallMs);
    /// The room around the count changed: saved with the count.
    void roomChanged(const Room& room);

signals:
    /// The chair said Yes: the count to go on with, on this boot's clock.
    void resumeRequested(const CountSnapshot& count);
    /// After resumeRequested: the room as it was around that count.
    void roomRequested(const Room& room);

private:
    void save(const SavedCount& saved);
    /// Writes the save that waited for the question, if any.
    void release();
    /// Lists the talk; returns the line listed (without its number), empty when it is no talk.
    QByteArray list(const CountSnapshot& last, double elapsed, qint64 endWallMs);

    const FileAccess& m_files;
    FileWriter& m_countWriter;
    FileWriter& m_listWriter;
    Dialogs& m_dialogs;
    const Clock& m_bootClock;
    const WallClock& m_wallClock;
    CountLocation m_location;
    std::optional<SavedCount> m_loaded;
    /// The count as last saved, for a change of the room; nothing before the first count.
    std::optional<SavedCount> m_current;
    Room m_room;
    /// The loaded file is kept until offerResume() is done; the latest save waits here.
    bool m_holding = false;
    std::optional<SavedCount> m_waiting;
    /// The program is ending under the question: nothing more is written.
    bool m_stopped = false;
};
