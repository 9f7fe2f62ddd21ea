#pragma once

#include "platform/colour_value.h"

#include <QString>

/// What the count writes to the main window: the two display rows and the caption. The count remembers what it
/// wrote; it reads nothing back but whether the window is minimised and the display form its layout chose.
class Rows {
public:
    virtual ~Rows() = default;
    virtual void setUpperText(const QString& text) = 0;
    virtual void setLowerText(const QString& text) = 0;
    virtual void setUpperColours(ColourValue foreground, ColourValue background) = 0;
    virtual void setLowerColours(ColourValue foreground, ColourValue background) = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual bool isMinimised() const = 0;
    /// 0 one-line form, 1 two-line form.
    virtual int fmtIndex() const = 0;
};
