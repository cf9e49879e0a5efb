// libFuzzer entry for the .reg parser: any bytes must parse without a crash,
// and what the parser reports must keep the promises its header makes.
#include "platform/RegFileParser.h"
#include "platform/Registry.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Require(bool condition)
{
    if (!condition) __builtin_trap();
}

bool HasControlBytes(const std::string& text)
{
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) return true;
    }
    return false;
}

class CheckingSink final : public RegFileSink {
public:
    explicit CheckingSink(int lines) : m_lines(lines) {}

    void OnKey(const std::vector<std::string>& path, bool remove) override
    {
        Require(!path.empty() && path.size() <= kRegMaxKeyDepth + 1 && RegRootIndex(path[0]) >= 0);
        Require(!remove || path.size() > 1);
        for (const std::string& part : path)
            Require(!part.empty() && part.find('\\') == std::string::npos &&
                    !HasControlBytes(part));
        m_inKey = !remove;
    }
    void OnValue(const std::string& name, DWORD type, const std::string& text, DWORD) override
    {
        Require(m_inKey);
        Require(type == REG_SZ || (type == REG_DWORD && text.empty()));
        Require(!HasControlBytes(name) && !HasControlBytes(text));
    }
    void OnRemoveValue(const std::string& name) override
    {
        Require(m_inKey && !HasControlBytes(name));
    }
    void OnBadLine(int line, const char* reason) override
    {
        Require(line >= 1 && line <= m_lines && reason != nullptr && reason[0] != '\0');
        ++badLines;
    }

    int badLines = 0;

private:
    int m_lines;
    bool m_inKey = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char c : text)
        lines += c == '\n';
    CheckingSink sink(lines);
    Require(ParseRegFile(text, sink) == sink.badLines);
    return 0;
}
