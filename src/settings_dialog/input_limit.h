#pragma once

#include <QValidator>

class QLineEdit;

/// The width of a text as the double-byte code page counts it: one for a half-width character (ASCII and
/// half-width katakana), two for every other character. The heading column's "at most 8 full-width
/// characters" is a width of 16.
int codePageWidth(const QString& text);

/// Refuses typing that would make a field wider than its limit, counted with codePageWidth. Text the program
/// sets (a settings file, Cancel) is not checked; a field that holds more than its limit can still be
/// shortened, but not widened.
class InputLimitValidator final : public QValidator {
public:
    /// A validator for `field`, which owns it and follows its text; install it with field->setValidator().
    InputLimitValidator(int limit, QLineEdit* field);
    State validate(QString& input, int& pos) const override;

private:
    int m_limit;
    int m_currentWidth = 0; ///< of the text the field holds before the edit being validated
};
