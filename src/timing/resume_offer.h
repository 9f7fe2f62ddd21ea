#pragma once

#include "timing/count_snapshot.h"

#include <QString>

#include <optional>

/// A saved count that can be taken up again: carried onto this boot's clock, and where it would resume.
struct ResumeOffer {
    CountSnapshot count;
    double elapsed = 0.0;
};

/// How long after the end of its discussion a count that was left is still worth taking up, in count seconds.
inline constexpr double resumeWindowSeconds = 600.0;
/// How long after its last save, by the wall clock, a count left paused is still offered: its count never grows.
inline constexpr qint64 resumeWindowWallMs = 2 * 3600 * 1000;

/// Whether the count saved by an earlier run is offered to be resumed: not one that a restart ended, not a
/// rehearsal, not one that is no talk (isTalk, at the count it would resume at), when paused only within
/// resumeWindowWallMs of its last save, and only while its count, as if the program had never stopped, is below the end
/// of its discussion plus resumeWindowSeconds. On the boot that saved it the boot clock says how much time passed;
/// after a reboot the wall clock does, and only when it is plausible: not before the instant the count was saved. The
/// offered count's instants are on this boot's clock; a pause in progress is carried as one beginning now, with the
/// time paused before it added to the completed pauses, so that it stays where it stopped.
std::optional<ResumeOffer> resumeOffer(const CountSnapshot& saved, const QString& bootId, double bootNow,
                                       qint64 wallNowMs);

/// The question asked at start for an offer: "前回のカウントを再開しますか？" and the elapsed time it would resume at.
QString resumeQuestion(double elapsed);
