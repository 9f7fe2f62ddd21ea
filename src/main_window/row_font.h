#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

/// True when, in `font`, every half-width character the rows show has one width and every full-width one
/// exactly twice that: only then do the times of the two rows line up in the one-line form.
bool hasDoubleWidthCharacters(const QFont& font);

/// The intended face under both its names, then the known fixed-pitch Japanese faces.
QStringList preferredRowFamilies();

/// The faces tried for the rows, best first: the intended face under both its names, then the known
/// fixed-pitch Japanese faces, then every other installed Japanese face.
QStringList rowFamilyCandidates();

/// The first installed face of `candidates` that passes hasDoubleWidthCharacters; the system's fixed-pitch
/// face when none does, so the rows still show their text.
QString chooseRowFamily(const QStringList& candidates);
/// chooseRowFamily over rowFamilyCandidates(), listing the other installed faces only when no known one fits.
QString chooseRowFamily();

/// A row's font in `family`: weight 400, upright, no lines, hinted only vertically so that widths keep
/// their fractions and scale exactly with the type size.
QFont rowFont(const QString& family, double pointSize);
