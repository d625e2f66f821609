#include "lodconvert/lodconvert_runs.h"

#include <cstdio>

#include "support/test_files.h"

namespace lodconverttest {

namespace {

std::string hexBytes(const Bytes &bytes)
{
    std::string text;
    char digits[3];
    for (const uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

} // namespace

std::string inputPath(const std::string &name)
{
    return testsupport::absolutePath(std::string(LODCONVERT_INPUTS) + "/" + name);
}

std::string examplePath(const std::string &name)
{
    return testsupport::absolutePath(std::string(EXAMPLES_DIR) + "/" + name);
}

testsupport::ToolRun runLodconvert(const std::string &dir, const std::vector<std::string> &arguments)
{
    return testsupport::runTool(LODCONVERT_PATH, dir, arguments);
}

Bytes packOf(const std::string &dir, const std::string &oldLod, const std::string &newLod)
{
    const std::string pack = dir + "/made.pack";
    std::remove(pack.c_str());
    if (testsupport::runTool(PACKCLI_PATH, dir, {"0x400000", "0x10000", oldLod, newLod, pack}).status != 0)
        return {};
    return testsupport::readFile(pack);
}

std::string hexRecord(uint8_t type, uint16_t address, const Bytes &data)
{
    Bytes record{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                 static_cast<uint8_t>(address), type};
    record.insert(record.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (const uint8_t byte : record)
        sum = static_cast<uint8_t>(sum + byte);
    record.push_back(static_cast<uint8_t>(-sum));
    return ":" + hexBytes(record) + "\n";
}

std::string srecRecord(int type, uint32_t address, const Bytes &data)
{
    static const int addressLengths[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const int length = addressLengths[type];
    Bytes record{static_cast<uint8_t>(length + data.size() + 1)};
    for (int i = length - 1; i >= 0; --i)
        record.push_back(static_cast<uint8_t>(address >> (8 * i)));
    record.insert(record.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (const uint8_t byte : record)
        sum = static_cast<uint8_t>(sum + byte);
    record.push_back(static_cast<uint8_t>(~sum));
    return "S" + std::to_string(type) + hexBytes(record) + "\n";
}

} // namespace lodconverttest
