#pragma once

/// The three times of a talk, in minutes: the presentation, the discussion after it, and the warning, how long
/// before the end of the presentation the bell first rings.
struct TalkTimes {
    double presentation = 0.0;
    double discussion = 0.0;
    double warning = 0.0;

    bool operator==(const TalkTimes&) const = default;
};
