#include "timing/resume_offer.h"

#include "timing/count_pattern.h"
#include "timing/count_seconds.h"
#include "timing/talk_line.h"

using namespace Qt::StringLiterals;

std::optional<ResumeOffer> resumeOffer(const CountSnapshot& saved, const QString& bootId, double bootNow,
                                       qint64 wallNowMs)
{
    if (saved.ended || saved.rehearsal)
        return std::nullopt;
    // A count left paused stands still, so its elapsed time never leaves the window below; the wall clock bounds it.
    // A running count is bounded by its elapsed time alone: a long presentation may go hours without a save.
    if (saved.pauseBeganBoot >= 0 && wallNowMs - saved.savedWallMs >= resumeWindowWallMs)
        return std::nullopt;

    CountSnapshot count = saved;
    if (saved.bootId != bootId) {
        if (saved.startWallMs <= 0 || saved.savedWallMs <= 0 || wallNowMs < saved.savedWallMs)
            return std::nullopt;
        // The same instant on both clocks: now.
        const auto onThisBoot = [&](qint64 wallMs) {
            return bootNow - double(wallNowMs - wallMs) / 1000.0;
        };
        count.bootId = bootId;
        count.startBoot = onThisBoot(saved.startWallMs);
        if (saved.pauseBeganBoot >= 0) {
            // Before this boot the instant would be negative, which reads as "running".
            count.pausedSeconds += bootNow - onThisBoot(saved.pauseBeganWallMs);
            count.pauseBeganBoot = bootNow;
        }
    }
    const double elapsed = countSecondsAt(count, bootNow);
    if (elapsed < 0 || elapsed >= saved.discussEnd + resumeWindowSeconds || !isTalk(saved, elapsed))
        return std::nullopt;
    return ResumeOffer{count, elapsed};
}

QString resumeQuestion(double elapsed)
{
    const qint64 seconds = roundHalfEven(elapsed);
    return u"前回のカウントを再開しますか？\n経過時間 %1分%2秒"_s.arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}
