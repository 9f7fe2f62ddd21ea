#pragma once

// What the portable part of SingleInstance shares with the system's side of it (posix/ and windows/).

#include "remote_control/single_instance.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstddef>

namespace instance {

// The longest line the socket takes, its newline left out: room for "adjust=" and its seconds in the text form a
// later start writes, with some to spare for a line written by hand.
constexpr qsizetype longestLine = 40;
// The longest answer a caller reads: an address with its token.
constexpr qsizetype longestAnswer = 4096;
// A caller is cut off when it has not finished a line within this time of connecting or of its last line.
constexpr std::chrono::seconds idleLimit{2};
// How long a later start waits for the running copy to take its lines, and to answer.
constexpr std::chrono::seconds deliveryLimit{2};
// The callers held at once.
constexpr std::size_t heldCallers = 16;

/// The path the file is reached by however it is spelt: the links of the parts that exist resolved, the parts not
/// made yet appended as they are.
QString resolvedPath(const QString& path);
/// Sixteen hexadecimal digits that name the copy running for a settings file whose path was resolvedPath()'d.
QString keyOf(const QString& resolved);

/// How a later start's lines fared.
struct Delivery {
    /// A running copy took the connection.
    bool reached = false;
    /// Every line went and, when a reply was asked for, the answer came.
    bool delivered = false;
    /// Nothing was tried, since the place the copy would listen at is not safe to use (said on stderr already).
    bool unsafe = false;
};

/// Hands `lines` to the copy that runs for `settingsPath` within deliveryLimit; with `reply`, the answer line is put
/// there without its newline. Says nothing on stderr but why a place is unsafe.
Delivery deliverToRunningCopy(const QString& settingsPath, const QByteArray& lines, QByteArray* reply,
                              const LockPlaces& places);

} // namespace instance
