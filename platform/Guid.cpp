#include "platform/Guid.h"

#include <cstdio>

namespace {

constexpr size_t kTextLength = kGuidStringSize - 1;

int HexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return static_cast<int>(c - L'0');
    if (c >= L'a' && c <= L'f') return static_cast<int>(c - L'a') + 10;
    if (c >= L'A' && c <= L'F') return static_cast<int>(c - L'A') + 10;
    return -1;
}

// The text is {8-4-4-4-12}: the hyphens sit at these offsets.
bool IsHyphenPosition(size_t i)
{
    return i == 9 || i == 14 || i == 19 || i == 24;
}

// Both overloads widen to wchar_t first, so there is one parser to trust.
template <typename Char> HRESULT ParseClsid(const Char* text, CLSID* clsid)
{
    if (clsid == nullptr) return E_INVALIDARG;
    *clsid = CLSID_NULL;
    if (text == nullptr) return E_INVALIDARG;

    uint8_t digits[32] = {};
    size_t count = 0;
    for (size_t i = 0; i < kTextLength; ++i) {
        const wchar_t c = static_cast<wchar_t>(text[i]);
        if (c == L'\0') return CO_E_CLASSSTRING;
        if (i == 0) {
            if (c != L'{') return CO_E_CLASSSTRING;
        } else if (i == kTextLength - 1) {
            if (c != L'}') return CO_E_CLASSSTRING;
        } else if (IsHyphenPosition(i)) {
            if (c != L'-') return CO_E_CLASSSTRING;
        } else {
            const int value = HexDigit(c);
            if (value < 0) return CO_E_CLASSSTRING;
            digits[count++] = static_cast<uint8_t>(value);
        }
    }
    if (text[kTextLength] != 0) return CO_E_CLASSSTRING;

    auto field = [&digits](size_t first, size_t length) {
        uint32_t value = 0;
        for (size_t i = 0; i < length; ++i)
            value = value * 16 + digits[first + i];
        return value;
    };
    CLSID parsed;
    parsed.Data1 = field(0, 8);
    parsed.Data2 = static_cast<uint16_t>(field(8, 4));
    parsed.Data3 = static_cast<uint16_t>(field(12, 4));
    for (size_t i = 0; i < 8; ++i)
        parsed.Data4[i] = static_cast<uint8_t>(field(16 + 2 * i, 2));
    *clsid = parsed;
    return S_OK;
}

} // namespace

HRESULT CLSIDFromString(const char* text, CLSID* clsid)
{
    // Bytes above 0x7f must not turn into digits through sign extension.
    return ParseClsid(reinterpret_cast<const unsigned char*>(text), clsid);
}

HRESULT CLSIDFromString(const wchar_t* text, CLSID* clsid)
{
    return ParseClsid(text, clsid);
}

int StringFromGUID2(REFGUID guid, char* buffer, int size)
{
    if (buffer == nullptr || size < static_cast<int>(kGuidStringSize)) return 0;
    const int written = std::snprintf(
        buffer, kGuidStringSize, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
        static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
        static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
        guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return written == static_cast<int>(kTextLength) ? written + 1 : 0;
}
