// libFuzzer entry for the .reg parser: any bytes must parse without a crash,
// and what the parser reports must keep the promises its header makes.
#include "platform/RegFileParser.h"
#include "platform/Registry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

#define REQUIRE(condition) ((condition) ? void() : __builtin_trap())

bool Clean(const std::string& text)
{
    return std::none_of(text.begin(), text.end(), [](char c) {
        const unsigned char u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t') || u == 0x7f;
    });
}

class CheckingSink final : public RegFileSink {
public:
    explicit CheckingSink(int lines) : m_lines(lines) {}

    void OnKey(const std::vector<std::string>& path, bool remove) override
    {
        REQUIRE(!path.empty() && path.size() <= kRegMaxKeyDepth + 1 && RegRootIndex(path[0]) >= 0);
        REQUIRE(!remove || path.size() > 1);
        for (const std::string& part : path)
            REQUIRE(!part.empty() && part.find('\\') == std::string::npos && Clean(part));
        m_inKey = !remove;
    }
    void OnValue(const std::string& name, DWORD type, const std::string& text, DWORD) override
    {
        REQUIRE(m_inKey && Clean(name) && Clean(text));
        REQUIRE(type == REG_SZ || (type == REG_DWORD && text.empty()));
    }
    void OnRemoveValue(const std::string& name) override { REQUIRE(m_inKey && Clean(name)); }
    void OnBadLine(int line, const char* reason) override
    {
        REQUIRE(line >= 1 && line <= m_lines && reason != nullptr && reason[0] != '\0');
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
    CheckingSink sink(1 + static_cast<int>(std::count(text.begin(), text.end(), '\n')));
    REQUIRE(ParseRegFile(text, sink) == sink.badLines);
    return 0;
}
