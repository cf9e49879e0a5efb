#include "cli/PlayArguments.h"

#include "gen/NoteTable.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// An option and its value, given as "--name value" or "--name=value".
struct OptionWord {
    std::string_view name;
    const char* value; // null when the option takes none or it is missing
    bool inlineValue;
};

// The options only verify reads.
bool VerifyOption(std::string_view name)
{
    return name == "--gain" || name == "--tolerance" || name == "--thdn" ||
           name == "--frequency-tolerance" || name == "--keep" || name == "--plot";
}

bool TakesValue(std::string_view name)
{
    return name == "--driver" || name == "--pair" || name == "--rate" || name == "--seconds" ||
           name == "--attenuation" || name == "--seed" || name == "--output" ||
           name == "--format" || name == "--channels" || name == "--takes" || name == "--capture" ||
           name == "--input" || VerifyOption(name);
}

// The file formats by their option names.
struct FormatName {
    std::string_view name;
    SampleEncoding encoding;
};
constexpr FormatName kFormatNames[] = {
    {"s16", SampleEncoding::Int16},
    {"s24", SampleEncoding::Int24},
    {"s32", SampleEncoding::Int32},
    {"float", SampleEncoding::Float32},
};

ParseResult Fail(std::string text)
{
    return {false, std::move(text)};
}

ParseResult ApplyOption(const OptionWord& option, PlayArguments& out)
{
    const std::string name(option.name);
    if (option.value == nullptr) return Fail(name + " needs a value");
    const char* value = option.value;
    if (option.name == "--driver") {
        if (*value == '\0') return Fail("--driver needs a driver index or name");
        out.driver = value;
        return {true, {}};
    }
    if (option.name == "--takes") {
        if (*value == '\0') return Fail("--takes needs a folder");
        out.takes = value;
        return {true, {}};
    }
    if (option.name == "--pair") {
        uint32_t pair = 0;
        if (!ParseUnsigned(value, pair) || pair > INT32_MAX)
            return Fail("--pair takes an output pair index (0, 1, ...), not '" + Shown(value) +
                        "'");
        out.pair = static_cast<int32_t>(pair);
        return {true, {}};
    }
    if (option.name == "--rate") {
        if (!ParseUnsigned(value, out.rate) || out.rate == 0)
            return Fail("--rate takes a sample rate in Hz, not '" + Shown(value) + "'");
        return {true, {}};
    }
    if (option.name == "--seed") {
        out.hasSeed = ParseUnsigned(value, out.seed);
        if (!out.hasSeed)
            return Fail("--seed takes a whole number from 0 to 4294967295, not '" + Shown(value) +
                        "'");
        return {true, {}};
    }
    if (option.name == "--capture") {
        if (*value == '\0') return Fail("--capture needs a file name");
        out.capture = value;
        return {true, {}};
    }
    if (option.name == "--input") {
        uint32_t pair = 0;
        if (!ParseUnsigned(value, pair) || pair > INT32_MAX)
            return Fail("--input takes an input pair index (0, 1, ...), not '" + Shown(value) +
                        "'");
        out.inputPair = static_cast<int32_t>(pair);
        return {true, {}};
    }
    // Verify's limits: a number, of dB or Hz; the tolerances above zero.
    struct Limit {
        std::string_view name;
        double PlayArguments::*value;
        bool positive;
    };
    static constexpr Limit kLimits[] = {
        {"--gain", &PlayArguments::gainDb, false},
        {"--tolerance", &PlayArguments::toleranceDb, true},
        {"--thdn", &PlayArguments::thdnDb, false},
        {"--frequency-tolerance", &PlayArguments::frequencyToleranceHz, true},
    };
    for (const Limit& limit : kLimits) {
        if (option.name != limit.name) continue;
        double number = 0.0;
        if (!ParseNumber(value, number) || (limit.positive && number <= 0.0))
            return Fail(name + " takes " + (limit.positive ? "a number above 0" : "a number") +
                        ", not '" + Shown(value) + "'");
        out.*limit.value = number;
        return {true, {}};
    }
    if (option.name == "--keep" || option.name == "--plot") {
        if (*value == '\0') return Fail(name + " needs a file name");
        (option.name == "--keep" ? out.keep : out.plot) = value;
        return {true, {}};
    }
    if (option.name == "--output") {
        if (*value == '\0') return Fail("--output needs a file name");
        out.output = value;
        return {true, {}};
    }
    if (option.name == "--format") {
        for (const FormatName& format : kFormatNames)
            if (format.name == value) {
                out.format = format.encoding;
                return {true, {}};
            }
        return Fail("--format takes s16, s24, s32 or float, not '" + Shown(value) + "'");
    }
    if (option.name == "--channels") {
        if (!ParseUnsigned(value, out.channels) || out.channels == 0)
            return Fail("--channels takes a number of channels, not '" + Shown(value) + "'");
        return {true, {}};
    }
    if (option.name == "--seconds") {
        if (!ParseNumber(value, out.seconds))
            return Fail("--seconds takes a number of seconds, not '" + Shown(value) + "'");
        return {true, {}};
    }
    // The dialog's attenuation field is unsigned: a sign is a bad argument,
    // while a value above the limit is the request's to refuse.
    if (!ParseUnsigned(value, out.attenuation))
        return Fail("--attenuation takes a whole number of dB, not '" + Shown(value) + "'");
    return {true, {}};
}

ParseResult ApplyFrequency(const char* text, const char* what, double& value)
{
    if (!ParseNumber(text, value))
        return Fail(std::string(what) + " takes a frequency in Hz, not '" + Shown(text) + "'");
    return {true, {}};
}

ParseResult ApplyCommand(const std::vector<const char*>& words, PlayArguments& out)
{
    if (words.empty()) return Fail("no signal given");
    const std::string_view command = words[0];
    struct Shape {
        std::string_view name;
        PlayCommand command;
        size_t operands;
    };
    static constexpr Shape kShapes[] = {
        {"sine", PlayCommand::Sine, 1},   {"note", PlayCommand::Note, 1},
        {"sweep", PlayCommand::Sweep, 2}, {"pink", PlayCommand::Pink, 0},
        {"white", PlayCommand::White, 0},
    };
    const Shape* shape = nullptr;
    for (const Shape& candidate : kShapes)
        if (candidate.name == command) shape = &candidate;
    if (shape == nullptr) return Fail("unknown signal '" + Shown(command) + "'");
    if (words.size() - 1 < shape->operands)
        return Fail(std::string(command) + " needs " + std::to_string(shape->operands) +
                    (shape->operands == 1 ? " value" : " values"));
    if (words.size() - 1 > shape->operands)
        return Fail("unexpected '" + Shown(words[shape->operands + 1]) + "'");

    out.command = shape->command;
    switch (shape->command) {
    case PlayCommand::Sine:
        return ApplyFrequency(words[1], "sine", out.frequency);
    case PlayCommand::Note:
        out.noteName = words[1];
        out.noteIndex = FindNote(words[1]);
        if (out.noteIndex < 0) {
            // Appended piece by piece: GCC 12 warns falsely about "text" + std::string&&.
            std::string text = "'";
            text += Shown(out.noteName);
            return Fail(text + "' is no note from C0 to B8 (A4, C#6, Db6 ...)");
        }
        return {true, {}};
    case PlayCommand::Sweep: {
        ParseResult result = ApplyFrequency(words[1], "sweep", out.freqStart);
        if (!result.ok) return result;
        return ApplyFrequency(words[2], "sweep", out.freqEnd);
    }
    default:
        return {true, {}};
    }
}

} // namespace

std::string Shown(std::string_view text)
{
    constexpr size_t kShown = 80;
    if (text.size() <= kShown) return std::string(text);
    return std::string(text.substr(0, kShown)) + "...";
}

bool ParseUnsigned(const char* text, uint32_t& value)
{
    if (text == nullptr || *text == '\0') return false;
    uint64_t total = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        total = total * 10 + static_cast<uint64_t>(*p - '0');
        if (total > UINT32_MAX) return false;
    }
    value = static_cast<uint32_t>(total);
    return true;
}

bool ParseNumber(const char* text, double& value)
{
    if (text == nullptr || *text == '\0' || std::strchr(" \t\n\v\f\r", *text) != nullptr)
        return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    // strtod also reads "inf", "nan" and hex floats; only finite numbers are values here.
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

ParseResult ParsePlayArguments(int argc, const char* const* argv, PlayArguments& out)
{
    out = PlayArguments{};
    bool help = false;
    bool version = false;
    bool list = false;
    bool shaped = false;    // --format or --channels given
    bool input = false;     // --input given
    bool verifying = false; // an option only verify reads given
    std::vector<const char*> words;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0) {
            help = true;
            continue;
        }
        if (std::strcmp(word, "--version") == 0 || std::strcmp(word, "-V") == 0) {
            version = true;
            continue;
        }
        if (std::strcmp(word, "--list") == 0) {
            list = true;
            continue;
        }
        if (std::strcmp(word, "--json") == 0) {
            out.json = verifying = true;
            continue;
        }
        // A single dash starts a value ("sine -5" is a frequency the
        // request refuses); two dashes start an option.
        if (std::strncmp(word, "--", 2) != 0) {
            words.push_back(word);
            continue;
        }
        OptionWord option{word, nullptr, false};
        if (const char* equals = std::strchr(word, '='); equals != nullptr) {
            option.name = std::string_view(word, static_cast<size_t>(equals - word));
            option.value = equals + 1;
            option.inlineValue = true;
        }
        if (!TakesValue(option.name)) return Fail("unknown option '" + Shown(word) + "'");
        shaped = shaped || option.name == "--format" || option.name == "--channels";
        input = input || option.name == "--input";
        verifying = verifying || VerifyOption(option.name);
        if (!option.inlineValue && i + 1 < argc) option.value = argv[++i];
        ParseResult applied = ApplyOption(option, out);
        if (!applied.ok) return applied;
    }

    // Help and version answer whatever else is on the line.
    if (help) {
        out.command = PlayCommand::Help;
        return {true, {}};
    }
    if (version) {
        out.command = PlayCommand::Version;
        return {true, {}};
    }
    out.verify = !words.empty() && std::strcmp(words[0], "verify") == 0;
    if (out.verify) {
        words.erase(words.begin());
        if (list || !out.output.empty() || !out.capture.empty())
            return Fail("verify plays, captures and measures; drop " +
                        std::string(list                  ? "--list"
                                    : !out.output.empty() ? "--output"
                                                          : "--capture"));
        if (words.empty()) return Fail("verify needs a signal");
        input = false; // verify captures the --input pair itself
    } else if (verifying) {
        return Fail("--gain, --tolerance, --thdn, --frequency-tolerance, --json, --keep and "
                    "--plot belong to verify");
    }
    if (!out.output.empty() && (list || !out.driver.empty()))
        return Fail("--output renders on a card of its own; drop " +
                    std::string(list ? "--list" : "--driver"));
    if (out.output.empty() && shaped) return Fail("--format and --channels shape an --output file");
    if (!out.capture.empty() && (list || !out.output.empty()))
        return Fail("--capture records a card's inputs while it plays; drop " +
                    std::string(list ? "--list" : "--output"));
    if (out.capture.empty() && input) return Fail("--input names the pair --capture records");
    if (list) {
        if (!words.empty()) return Fail("--list plays nothing; drop '" + Shown(words[0]) + "'");
        out.command = PlayCommand::List;
        return {true, {}};
    }
    return ApplyCommand(words, out);
}
