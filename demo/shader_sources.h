// What the author's mode reads in shader sources and in the compiler's
// answer, free of any platform call: the files a source includes, the
// sources that a saved file makes stale, and the compiler's first message.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The names in the source's #include lines ("name" or <name>), in order.
std::vector<std::string> IncludedNames(std::string_view source);

// A file name as Windows compares them: ASCII letters in lower case.
std::string FoldedName(std::string_view name);

// Of `sources`, those that must be compiled again when the files `saved`
// were saved: a saved source itself, and every source that includes a saved
// file, directly or through other includes (`includes`: each file's own
// #include names). All names are compared folded.
std::set<std::string> StaleSources(const std::set<std::string>& saved,
                                   const std::map<std::string, std::vector<std::string>>& includes,
                                   const std::vector<std::string>& sources);

// The compiler's first message: its first line that is not blank, up to its
// NUL, without trailing spaces and with each control character a space; ""
// when there is none. It names the file, the line and the column, then the
// text.
std::string FirstMessageLine(std::string_view messages);
