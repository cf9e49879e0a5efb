#include "platform/RegFileParser.h"

#include "platform/Registry.h"

#include <cstring>

namespace {

const char* const kRootNames[kRegRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                               "HKEY_LOCAL_MACHINE"};

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view line)
{
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

// Text files only: a control byte means the file is not what it claims.
bool HasControlBytes(std::string_view line)
{
    for (char c : line) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f) return true;
    }
    return false;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string at the front of rest (which starts with '"'),
// removing it. Returns null on success, else the reason.
const char* TakeQuoted(std::string_view& rest, std::string& out)
{
    out.clear();
    size_t i = 1;
    while (i < rest.size()) {
        const char c = rest[i];
        if (c == '"') {
            rest.remove_prefix(i + 1);
            return nullptr;
        }
        if (c == '\\') {
            if (i + 1 >= rest.size()) return "unterminated string";
            const char next = rest[i + 1];
            if (next != '\\' && next != '"') return "bad escape in string";
            out.push_back(next);
            i += 2;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return "unterminated string";
}

class Parser {
public:
    explicit Parser(RegFileSink& sink) : m_sink(sink) {}

    void Line(std::string_view raw, int number)
    {
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';') return;
        const bool first = !m_sawContent;
        m_sawContent = true;
        if (HasControlBytes(line)) return Bad(number, "control characters or binary data");
        if (first && (line == "Windows Registry Editor Version 5.00" || line == "REGEDIT4")) return;
        if (line.front() == '[') return KeyLine(line, number);
        if (line.front() == '"' || line.front() == '@') return ValueLine(line, number);
        Bad(number, "not a key or value line");
    }

    int BadLines() const { return m_badLines; }

private:
    enum class Current { None, Key, Skipped };

    void Bad(int number, const char* reason)
    {
        ++m_badLines;
        m_sink.OnBadLine(number, reason);
    }

    void KeyLine(std::string_view line, int number)
    {
        // Whatever follows belongs to this key line, good or bad.
        m_current = Current::Skipped;
        if (line.size() < 2 || line.back() != ']') return Bad(number, "bad key path");
        std::string_view inner = line.substr(1, line.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove) inner.remove_prefix(1);
        m_path.clear();
        while (true) {
            const size_t slash = inner.find('\\');
            const std::string_view part = inner.substr(0, slash);
            if (part.empty()) return Bad(number, "bad key path");
            // Windows' own limit; deeper trees would only exhaust the stack.
            if (m_path.size() > kRegMaxKeyDepth)
                return Bad(number, "key path deeper than 512 levels");
            m_path.emplace_back(part);
            if (slash == std::string_view::npos) break;
            inner.remove_prefix(slash + 1);
        }
        if (RegRootIndex(m_path[0]) < 0) return Bad(number, "bad key path");
        if (remove && m_path.size() == 1) return Bad(number, "bad key path");
        m_sink.OnKey(m_path, remove);
        if (!remove) m_current = Current::Key;
    }

    void ValueLine(std::string_view line, int number)
    {
        std::string_view rest = line;
        if (rest.front() == '@') {
            m_name.clear();
            rest.remove_prefix(1);
        } else if (const char* reason = TakeQuoted(rest, m_name)) {
            return Bad(number, reason);
        }
        rest = Trim(rest);
        if (rest.empty() || rest.front() != '=') return Bad(number, "missing '=' after value name");
        rest = Trim(rest.substr(1));

        if (!rest.empty() && rest.front() == '"') {
            if (const char* reason = TakeQuoted(rest, m_text)) return Bad(number, reason);
            if (!Trim(rest).empty()) return Bad(number, "text after the value");
            return Value(number, REG_SZ, 0);
        }
        if (rest.size() >= 6 && EqualNoCase(rest.substr(0, 6), "dword:")) {
            const std::string_view digits = rest.substr(6);
            if (digits.empty() || digits.size() > 8) return Bad(number, "bad dword");
            DWORD value = 0;
            for (char c : digits) {
                const int digit = HexValue(c);
                if (digit < 0) return Bad(number, "bad dword");
                value = value * 16 + static_cast<DWORD>(digit);
            }
            m_text.clear();
            return Value(number, REG_DWORD, value);
        }
        if (rest == "-") {
            if (m_current == Current::None) return Bad(number, "value before any key");
            if (m_current == Current::Key) m_sink.OnRemoveValue(m_name);
            return;
        }
        if (rest.size() >= 3 && EqualNoCase(rest.substr(0, 3), "hex"))
            return Bad(number, "value type not supported");
        Bad(number, "bad value");
    }

    void Value(int number, DWORD type, DWORD value)
    {
        if (m_current == Current::None) return Bad(number, "value before any key");
        if (m_current == Current::Key) m_sink.OnValue(m_name, type, m_text, value);
    }

    RegFileSink& m_sink;
    Current m_current = Current::None;
    bool m_sawContent = false;
    int m_badLines = 0;
    std::vector<std::string> m_path;
    std::string m_name;
    std::string m_text;
};

} // namespace

int RegRootIndex(std::string_view name)
{
    for (int i = 0; i < kRegRootCount; ++i)
        if (EqualNoCase(name, kRootNames[i])) return i;
    return -1;
}

int ParseRegFile(std::string_view text, RegFileSink& sink)
{
    if (text.size() >= 2 && ((static_cast<unsigned char>(text[0]) == 0xff &&
                              static_cast<unsigned char>(text[1]) == 0xfe) ||
                             (static_cast<unsigned char>(text[0]) == 0xfe &&
                              static_cast<unsigned char>(text[1]) == 0xff))) {
        // The editor's own exports are UTF-16; one line says so instead of
        // one per garbled line.
        sink.OnBadLine(1, "UTF-16 text, save the file as UTF-8; file skipped");
        return 1;
    }
    if (text.size() >= 3 && std::memcmp(text.data(), "\xef\xbb\xbf", 3) == 0) text.remove_prefix(3);

    Parser parser(sink);
    int number = 1;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        parser.Line(text.substr(0, end), number);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
        ++number;
    }
    return parser.BadLines();
}
