#pragma once

#include "settings/settings_record.h"
#include "timing/count.h"
#include "timing/phase_reading.h"
#include "timing/shown_rows.h"

#include <QByteArray>
#include <QString>

/// A colour as CSS writes it: #rrggbb.
QString cssColour(ColourValue colour);

/// What the browser view and the programs reading /api/state are told, as one JSON object: the count's figures
/// (seconds elapsed and left (Count::remaining()), the phase, paused, rehearsal) and the two rows as the main window
/// shows them, with their texts, their colours and whether the row mode shows them; and, for the page that shows
/// the lower row's period at a glance, the reading of it (see PhaseReading), in "reading".
QByteArray viewStateJson(const CountState& state, double remaining, const RowsView& rows, SettingsRecord::RowMode mode,
                         const PhaseReading& reading);
