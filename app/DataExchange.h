// Data exchange between the dialog's fields and its controls, in either
// direction. Reading parses numbers in the C locale whatever the user's
// locale, checks the allowed range, and at the first failing item prompts
// the user, puts the focus on that control and skips the items after it.
// User-interface thread.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

class QLineEdit;
class QWidget;
class SimpleComboBox;

class DataExchange {
public:
    // owner: the dialog that owns the prompts.
    DataExchange(QWidget* owner, bool bSaveAndValidate)
        : m_owner(owner), m_bSaveAndValidate(bSaveAndValidate)
    {
    }

    // A double shown with up to 15 significant digits; read, stored, then
    // checked against [min, max], so an out-of-range number stays in value.
    void Double(QLineEdit* edit, double& value, double min, double max);
    // An unsigned whole number, shown as plain decimal.
    void UInt(QLineEdit* edit, uint32_t& value, uint32_t min, uint32_t max);
    // The combo's edit text, unchecked.
    void ComboText(SimpleComboBox* combo, std::string& value);

    bool Failed() const { return m_bFailed; }
    bool SaveAndValidate() const { return m_bSaveAndValidate; }

private:
    void Fail(QLineEdit* edit, const QString& prompt);

    QWidget* m_owner;
    bool m_bSaveAndValidate;
    bool m_bFailed = false;
};

// 15 significant digits, no trailing zeros, '.' as the decimal point.
std::string FormatFieldDouble(double value);
// The whole text (blanks around it and a leading '+' allowed) as a finite
// number in the C locale's form; false for anything else.
bool ParseFieldDouble(const std::string& text, double* value);
// Decimal digits only (blanks around them and a leading '+' allowed), within 32 bits.
bool ParseFieldUInt(const std::string& text, uint32_t* value);
