#include "support/test_files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "support/split_mix.h"

namespace fs = std::filesystem;

namespace testsupport {

std::string makeLodText(uint32_t address, const std::vector<uint8_t> &bytes, int64_t bootSector)
{
    if (bytes.size() % 4 != 0)
        throw std::invalid_argument("makeLodText: byte count is not a multiple of 4");
    std::string text;
    text.reserve(bytes.size() / 4 * 9 + 64);
    char line[48];
    if (bootSector >= 0) {
        std::snprintf(line, sizeof line, "#$BOOT_SECTOR 0x%08llx\n", static_cast<unsigned long long>(bootSector));
        text += line;
    }
    std::snprintf(line, sizeof line, "@%08x\n", static_cast<unsigned>(address));
    text += line;
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const uint32_t word = uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 | uint32_t(bytes[i + 2]) << 16 |
                              uint32_t(bytes[i + 3]) << 24;
        std::snprintf(line, sizeof line, "%08x\n", static_cast<unsigned>(word));
        text += line;
    }
    return text;
}

fs::path fsPath(const std::string &path)
{
    return fs::u8path(path);
}

std::string utf8Of(const fs::path &path)
{
    return path.u8string();
}

std::string absolutePath(const std::string &path)
{
    return utf8Of(fs::absolute(fsPath(path)));
}

TempDir::TempDir()
{
    std::random_device entropy;
    std::mt19937_64 random(uint64_t(entropy()) << 32 ^ entropy());
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        const fs::path candidate = base / ("quarnel-test-" + std::to_string(random()));
        // create_directory reports false when the name is taken, so two tests never share a folder.
        if (fs::create_directory(candidate)) {
            dir_ = utf8Of(candidate);
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(fsPath(dir_), ignored);
}

std::string TempDir::path(const std::string &name) const
{
    return dir_ + "/" + name;
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream file(fsPath(path), std::ios::binary | std::ios::trunc);
    file.write(content.data(), std::streamsize(content.size()));
    if (!file.flush())
        throw std::runtime_error("writeFile: cannot write " + path);
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream file(fsPath(path), std::ios::binary);
    if (!file)
        throw std::runtime_error("readFile: cannot open " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

namespace {

void putWord(std::vector<uint8_t> &out, uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(uint8_t(word >> shift));
}

} // namespace

std::vector<uint8_t> firmwareLikeBytes(uint32_t size, uint32_t seed)
{
    SplitMix random(0x5EED0000ull << 32 | seed);
    // A handful of opcode patterns makes the code regions repeat the way compiled code does.
    uint32_t opcodes[16];
    for (uint32_t &opcode : opcodes)
        opcode = uint32_t(random.next()) & 0xFFFF0000u;
    std::vector<uint8_t> out;
    out.reserve(size + 4096);
    while (out.size() < size) {
        const uint32_t length = 16 + random.below(2048);
        const size_t start = out.size();
        switch (random.below(6)) {
        case 0:
        case 1: // code: common opcodes with random operands
            while (out.size() - start < length)
                putWord(out, opcodes[random.below(16)] | uint32_t(random.next() & 0xFFFF));
            break;
        case 2: // a table repeated from earlier content, or a fresh pattern
            if (start >= length) {
                const size_t from = random.below(uint32_t(start - length + 1));
                for (size_t i = 0; i < length; ++i)
                    out.push_back(out[from + i]);
            } else {
                const uint32_t pattern = uint32_t(random.next());
                while (out.size() - start < length)
                    putWord(out, pattern + uint32_t(out.size() - start));
            }
            break;
        case 3: // small constants
            while (out.size() - start < length)
                putWord(out, random.below(256));
            break;
        case 4:
            out.insert(out.end(), length, 0x00);
            break;
        default:
            out.insert(out.end(), length, 0xFF);
            break;
        }
    }
    out.resize(size);
    return out;
}

} // namespace testsupport
