// The `.reg` text format: key lines, string and dword values, deletions,
// comments and the editor's header line. Called by the registry for each
// file it loads, and by the parser's fuzzer.
#pragma once

#include "platform/WinTypes.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The parser reports what a file says, in file order; the receiver decides
// what a registry does with it.
class RegFileSink {
public:
    // path[0] is the root's name as written, then the subkey names. Every
    // value reported after it belongs to this key, until the next OnKey.
    virtual void OnKey(const std::vector<std::string>& path, bool remove) = 0;
    // type is REG_SZ (text set) or REG_DWORD (number set); name "" is the default value.
    virtual void OnValue(const std::string& name, DWORD type, const std::string& text,
                         DWORD number) = 0;
    virtual void OnRemoveValue(const std::string& name) = 0;
    // A skipped line, 1-based; reason is a short fixed phrase.
    virtual void OnBadLine(int line, const char* reason) = 0;

protected:
    ~RegFileSink() = default;
};

// Index of a root name in {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
// HKEY_LOCAL_MACHINE}, in any case, or -1.
int RegRootIndex(std::string_view name);
constexpr int kRegRootCount = 3;
// Subkeys below a root that a key line may name; a deeper one is a bad line.
constexpr size_t kRegMaxKeyDepth = 512;

// Each bad line is reported once and skipped; the values under a bad or
// removed key are skipped with it, without lines of their own. Returns the
// number of bad lines.
int ParseRegFile(std::string_view text, RegFileSink& sink);
