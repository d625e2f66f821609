// Files, folders and firmware-like data for the tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A LOD text: optional boot tag, one address line, then one word per line (bytes little-endian).
std::string makeLodText(uint32_t address, const std::vector<uint8_t> &bytes, int64_t bootSector = -1);

// Paths in the tests are UTF-8 strings on every platform; these are how they reach
// std::filesystem, which on Windows would read a plain string in the ANSI code page.
std::filesystem::path fsPath(const std::string &path);
std::string utf8Of(const std::filesystem::path &path);

// The path made absolute in this process. Needed for build paths given to a program
// started in a temporary folder: under Wine, /work/x lies on a drive of its own.
std::string absolutePath(const std::string &path);

// A fresh folder under the system temp folder, removed with all its content on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder itself.
    const std::string &dir() const { return dir_; }
    // The path of name inside the folder.
    std::string path(const std::string &name) const;

private:
    std::string dir_;
};

// Writes content to path as raw bytes, replacing the file; throws when it cannot. Paths are UTF-8.
void writeFile(const std::string &path, const std::string &content);
// The raw bytes of the file at path; throws when it cannot be read.
std::vector<uint8_t> readFile(const std::string &path);

// Deterministic bytes that look like firmware: code-like words, tables, constants and padding runs.
std::vector<uint8_t> firmwareLikeBytes(uint32_t size, uint32_t seed);

} // namespace testsupport
