#include "settings_dialog/input_limit.h"

#include <QLineEdit>

int codePageWidth(const QString& text)
{
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i; // one character outside the code page, counted as one double-byte character
        const bool halfWidth = c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F);
        width += halfWidth ? 1 : 2;
    }
    return width;
}

InputLimitValidator::InputLimitValidator(int limit, QLineEdit* field)
    : QValidator(field), m_limit(limit), m_currentWidth(codePageWidth(field->text()))
{
    connect(field, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_currentWidth = codePageWidth(text); });
}

QValidator::State InputLimitValidator::validate(QString& input, int&) const
{
    const int width = codePageWidth(input);
    return width <= m_limit || width <= m_currentWidth ? Acceptable : Invalid;
}
