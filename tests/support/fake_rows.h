#pragma once

#include "timing/rows.h"

#include <QStringList>

/// Rows that remember what was written, and count the rewrites.
class FakeRows final : public Rows {
public:
    struct Colours {
        ColourValue foreground = 0;
        ColourValue background = 0;
        bool operator==(const Colours&) const = default;
    };

    void setUpperText(const QString& text) override
    {
        m_upper = text;
        ++m_upperWrites;
    }
    void setLowerText(const QString& text) override
    {
        m_lower = text;
        ++m_lowerWrites;
    }
    void setUpperColours(ColourValue f, ColourValue b) override { m_upperColours = {f, b}; }
    void setLowerColours(ColourValue f, ColourValue b) override { m_lowerColours = {f, b}; }
    void setCaption(const QString& caption) override
    {
        m_caption = caption;
        ++m_captionWrites;
    }
    bool isMinimised() const override { return m_minimised; }
    int fmtIndex() const override { return m_fmtIndex; }

    QString caption() const { return m_caption; }
    QString upperText() const { return m_upper; }
    QString lowerText() const { return m_lower; }
    Colours upperColours() const { return m_upperColours; }
    Colours lowerColours() const { return m_lowerColours; }
    void setMinimised(bool minimised) { m_minimised = minimised; }
    void setFmtIndex(int fmtIndex) { m_fmtIndex = fmtIndex; }
    int upperWrites() const { return m_upperWrites; }
    int lowerWrites() const { return m_lowerWrites; }
    int captionWrites() const { return m_captionWrites; }

private:
    QString m_upper;
    QString m_lower;
    QString m_caption = QStringLiteral("Lectern");
    Colours m_upperColours;
    Colours m_lowerColours;
    bool m_minimised = false;
    int m_fmtIndex = 0;
    int m_upperWrites = 0;
    int m_lowerWrites = 0;
    int m_captionWrites = 0;
};
