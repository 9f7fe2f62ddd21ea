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

/// Keeps the count in its file between runs and lists each count that ends in the day's talks. It only listens
/// to the count and offers the saved one back; the count itself stays with its owner.
class CountKeeper final : public QObject {
    Q_OBJECT
public:
    CountKeeper(const FileAccess& files, FileWriter& writer, Dialogs& dialogs, const Clock& bootClock,
                const WallClock& wallClock, const CountLocation& location, QObject* parent = nullptr);

    /// Reads the count the last run left. Called once at start, before the first count is saved: the file is
    /// small and local, read with the settings file.
    void load();
    /// After the main window is shown: asks whether to take up the loaded count when it is still inside its talk,
    /// and asks for it to be resumed on Yes. A count not taken up is listed in the day's talks unless it was
    /// already (closed, not crashed), ending at the refusal, or at its last save when it was past its time.
    void offerResume();

public slots:
    /// Saves the count as it stands, after each command and phase change.
    void countChanged(const CountSnapshot& count);
    /// Lists a count that ended (not a rehearsal) and saves it as listed, so that a closed window's count can
    /// still be taken up without being listed twice; a count that follows (a restart) replaces it in the file.
    void countEnded(const CountSnapshot& last, double elapsed, qint64 endWallMs);

signals:
    /// The chair said Yes: the count to go on with, on this boot's clock.
    void resumeRequested(const CountSnapshot& count);

private:
    void save(const SavedCount& saved);
    void list(const CountSnapshot& last, double elapsed, qint64 endWallMs);

    const FileAccess& m_files;
    FileWriter& m_writer;
    Dialogs& m_dialogs;
    const Clock& m_bootClock;
    const WallClock& m_wallClock;
    CountLocation m_location;
    std::optional<SavedCount> m_loaded;
};
