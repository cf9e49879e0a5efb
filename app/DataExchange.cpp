#include "app/DataExchange.h"

#include "app/MessageBox.h"
#include "app/SimpleComboBox.h"

#include <QLineEdit>

#include <charconv>
#include <cmath>
#include <string_view>

namespace {

std::string_view Trimmed(const std::string& text)
{
    std::string_view view(text);
    while (!view.empty() && (view.front() == ' ' || view.front() == '\t'))
        view.remove_prefix(1);
    while (!view.empty() && (view.back() == ' ' || view.back() == '\t'))
        view.remove_suffix(1);
    return view;
}

// One leading '+', read as the C library's number parsing reads it; from_chars takes none.
std::string_view WithoutPlus(std::string_view view)
{
    if (view.size() > 1 && view.front() == '+' && view[1] != '+' && view[1] != '-')
        view.remove_prefix(1);
    return view;
}

QString RangeText(double min, double max)
{
    return QString::fromStdString(FormatFieldDouble(min)) + " and " +
           QString::fromStdString(FormatFieldDouble(max));
}

const char* const kCaption = "Tonewright";

} // namespace

std::string FormatFieldDouble(double value)
{
    // to_chars, unlike printf, ignores LC_NUMERIC.
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return std::string(text, result.ptr);
}

bool ParseFieldDouble(const std::string& text, double* value)
{
    const std::string_view view = WithoutPlus(Trimmed(text));
    if (view.empty()) return false;
    double parsed = 0.0;
    const auto result = std::from_chars(view.data(), view.data() + view.size(), parsed);
    if (result.ec != std::errc() || result.ptr != view.data() + view.size()) return false;
    if (!std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

bool ParseFieldUInt(const std::string& text, uint32_t* value)
{
    const std::string_view view = WithoutPlus(Trimmed(text));
    if (view.empty() || view.front() < '0' || view.front() > '9') return false;
    uint32_t parsed = 0;
    const auto result = std::from_chars(view.data(), view.data() + view.size(), parsed);
    if (result.ec != std::errc() || result.ptr != view.data() + view.size()) return false;
    *value = parsed;
    return true;
}

void DataExchange::Double(QLineEdit* edit, double& value, double min, double max)
{
    if (m_bFailed || edit == nullptr) return;
    if (!m_bSaveAndValidate) {
        edit->setText(QString::fromStdString(FormatFieldDouble(value)));
        return;
    }
    const std::string text = edit->text().toStdString();
    double parsed = 0.0;
    if (!ParseFieldDouble(text, &parsed)) {
        Fail(edit, "\"" + edit->text() + "\" is not a number.\nEnter a number between " +
                       RangeText(min, max) + ".");
        return;
    }
    value = parsed;
    if (parsed < min || parsed > max)
        Fail(edit, "Enter a number between " + RangeText(min, max) + ".");
}

void DataExchange::UInt(QLineEdit* edit, uint32_t& value, uint32_t min, uint32_t max)
{
    if (m_bFailed || edit == nullptr) return;
    if (!m_bSaveAndValidate) {
        edit->setText(QString::number(value));
        return;
    }
    const QString range = QString::number(min) + " and " + QString::number(max);
    uint32_t parsed = 0;
    if (!ParseFieldUInt(edit->text().toStdString(), &parsed)) {
        Fail(edit, "\"" + edit->text() +
                       "\" is not a whole number.\nEnter a whole number between " + range + ".");
        return;
    }
    value = parsed;
    if (parsed < min || parsed > max) Fail(edit, "Enter a whole number between " + range + ".");
}

void DataExchange::ComboText(SimpleComboBox* combo, std::string& value)
{
    if (m_bFailed || combo == nullptr) return;
    if (m_bSaveAndValidate)
        value = combo->GetWindowText().toStdString();
    else
        combo->SetWindowText(QString::fromStdString(value));
}

void DataExchange::Fail(QLineEdit* edit, const QString& prompt)
{
    m_bFailed = true;
    ShowMessageBox(m_owner, prompt, kCaption, MessageIcon::Exclamation);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
}
