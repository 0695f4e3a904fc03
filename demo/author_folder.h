// Where the author's mode finds the shader sources it watches, and what the
// author is told when that folder cannot serve.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The folder the author's mode watches, as a full path. A `given` folder (the
// command line's FOLDER) is taken from the working directory, so this is
// asked before the program moves it. Without one: the source tree's shaders
// when the build's marker in `programFolder` names a folder that exists (a
// program run from its build tree), else the shaders beside the program.
std::wstring AuthorFolder(const std::wstring& given, const std::wstring& programFolder);

// Why `folder` gives the author's mode nothing to compile, if it does not:
// it does not exist, or holds no shader source.
[[nodiscard]] std::optional<std::string> AuthorFolderProblem(const std::wstring& folder);

// What to tell when the folder watched is not the one a user of a build tree
// expects: the build's marker beside the program in `programFolder` is there
// but names no folder, or one that does not exist, and the folder watched is
// the shaders beside the program. None when there is no marker (a release).
[[nodiscard]] std::optional<std::string> AuthorFolderNotice(const std::wstring& watched,
                                                            const std::wstring& programFolder);

// What the window's title says of the watched folder while the author's mode
// runs: its problem, looked at again each second, so that a folder made or
// filled later clears it, and the notice, which stands. Each is also written
// to standard error once each time it comes.
class AuthorFolderCheck {
public:
    AuthorFolderCheck(std::wstring watched, const std::wstring& programFolder);

    // The problem as of the last look; "" when there is none.
    const std::string& Problem(std::uint64_t nowMs);
    // "" when there is none.
    const std::string& Notice() const { return notice; }

private:
    const std::wstring folder;
    const std::string notice;
    std::string problem;
    std::uint64_t nextLookMs = 0;
};
