#include "lod/lod_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

#include "common/open_file.h"

namespace quarnel {

namespace {

bool isNumberSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Value of every character as a hexadecimal digit, or -1.
constexpr std::array<int8_t, 256> hexDigits = [] {
    std::array<int8_t, 256> table{};
    for (int c = 0; c < 256; c++)
        table[c] = -1;
    for (int c = '0'; c <= '9'; c++)
        table[c] = static_cast<int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; c++) {
        table[c] = static_cast<int8_t>(c - 'a' + 10);
        table[c - 'a' + 'A'] = static_cast<int8_t>(c - 'a' + 10);
    }
    return table;
}();

int hexValue(char c)
{
    return hexDigits[static_cast<unsigned char>(c)];
}

// Nearly every line of a dump is one word of eight digits, with or without
// "0x"; reads such a line as the number rule would, or returns false.
bool readPlainWord(const char *text, const char *end, uint32_t &word)
{
    if (end - text >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text += 2;
    if (end - text < 8 || (end - text > 8 && hexValue(text[8]) >= 0))
        return false;
    uint32_t value = 0;
    for (int i = 0; i < 8; i++) {
        const int digit = hexValue(text[i]);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    word = value;
    return true;
}

// Reads the whole file into memory; a short read counts as a failure.
bool readWholeFile(const char *path, std::unique_ptr<char[]> &data, size_t &size)
{
    FileHandle file(openRegularFileUtf8(path));
    if (!file)
        return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    const long end = std::ftell(file.get());
    if (end <= 0)
        return false;
    if (std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    // A directory opens on Linux and may report any size; fail before allocating it.
    const int first = std::fgetc(file.get());
    if (first == EOF)
        return false;
    size = static_cast<size_t>(end);
    data.reset(new char[size]);
    data[0] = static_cast<char>(first);
    return std::fread(data.get() + 1, 1, size - 1, file.get()) == size - 1;
}

// Applies a "$BOOT_SECTOR" tag line to the stored value.
void readBootTag(std::string_view line, int32_t &bootSector)
{
    const size_t prefix = line.find("0x");
    // Without "0x" the line names no value, so the tag keeps what it had.
    if (prefix == std::string_view::npos)
        return;
    const char *value = line.data() + prefix + 2;
    const char *end = line.data() + line.size();
    if (value == end)
        return;
    bootSector = static_cast<int32_t>(static_cast<uint32_t>(parseLodNumber(value, end)));
}

} // namespace

int64_t parseLodNumber(const char *text, const char *end)
{
    while (text != end && isNumberSpace(*text))
        ++text;
    bool negative = false;
    if (text != end && (*text == '+' || *text == '-')) {
        negative = *text == '-';
        ++text;
    }
    // A bare "0x" reads as 0 whether or not it is taken as a prefix, so no look-ahead is needed.
    if (end - text >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text += 2;
    const uint64_t limit = uint64_t(1) << 63;
    uint64_t magnitude = 0;
    bool overflow = false;
    for (; text != end; ++text) {
        const int digit = hexValue(*text);
        if (digit < 0)
            break;
        if (magnitude > (limit >> 4))
            overflow = true;
        else
            magnitude = (magnitude << 4) | static_cast<uint64_t>(digit);
    }
    if (negative) {
        if (overflow || magnitude >= limit)
            return std::numeric_limits<int64_t>::min();
        return -static_cast<int64_t>(magnitude);
    }
    if (overflow || magnitude >= limit)
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(magnitude);
}

void LodPacket::writeWord(uint32_t addr, uint32_t value)
{
    if (addr < address)
        return;
    const uint32_t index = (addr - address) / 4;
    if (index < words.size())
        words[index] = value;
}

bool packetAddressLess(const LodPacketPtr &a, const LodPacketPtr &b)
{
    return a->address < b->address;
}

bool LodFile::load(const char *path)
{
    std::unique_ptr<char[]> data;
    size_t size = 0;
    if (!readWholeFile(path, data, size))
        return false;

    const char *text = data.get();
    const char *nul = static_cast<const char *>(std::memchr(text, '\0', size));
    const char *const end = nul ? nul : text + size;

    auto current = std::make_shared<LodPacket>();
    // A dump is mostly one section of lines of about nine characters; growing to it would copy it several times.
    current->words.reserve(static_cast<size_t>(end - text) / 9);
    while (text != end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(text, '\n', size_t(end - text)));
        const char *next = lineEnd ? lineEnd + 1 : end;
        if (!lineEnd)
            lineEnd = end;
        const std::string_view line(text, size_t(lineEnd - text));
        text = next;

        if (line.empty())
            continue;
        if (line[0] == '#') {
            if (line.find("$BOOT_SECTOR") != std::string_view::npos)
                readBootTag(line, bootSector);
        } else if (line[0] == '@') {
            if (!current->words.empty()) {
                packets.push_back(std::move(current));
                current = std::make_shared<LodPacket>();
            }
            current->address = static_cast<uint32_t>(parseLodNumber(line.data() + 1, lineEnd));
        } else {
            uint32_t word;
            if (!readPlainWord(line.data(), lineEnd, word))
                word = static_cast<uint32_t>(parseLodNumber(line.data(), lineEnd));
            current->words.push_back(word);
        }
    }
    if (!current->words.empty())
        packets.push_back(std::move(current));
    return true;
}

void LodFile::mergePackets()
{
    std::sort(packets.begin(), packets.end(), packetAddressLess);
    std::vector<LodPacketPtr> merged;
    LodPacketPtr acc;
    for (const LodPacketPtr &section : packets) {
        // Starting from the first section itself spares a copy of its words.
        if (!acc) {
            acc = section;
            continue;
        }
        const uint32_t accEnd = acc->address + static_cast<uint32_t>(4 * acc->words.size());
        if (accEnd == section->address) {
            acc->words.insert(acc->words.end(), section->words.begin(), section->words.end());
        } else {
            merged.push_back(std::move(acc));
            acc = section;
        }
    }
    if (acc && !acc->words.empty())
        merged.push_back(std::move(acc));
    packets = std::move(merged);
}

} // namespace quarnel
