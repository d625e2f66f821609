// Running lodconvert and packcli on the inputs that make_inputs.sh writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/run_tool.h"

namespace lodconverttest {

using Bytes = std::vector<uint8_t>;

// A file that make_inputs.sh wrote, by name.
std::string inputPath(const std::string &name);

// examples/NAME.
std::string examplePath(const std::string &name);

// lodconvert inside dir with the arguments; its lines are in errors.
testsupport::ToolRun runLodconvert(const std::string &dir, const std::vector<std::string> &arguments);

// The pack packcli writes for two LOD files at code base 0x10000 in a 4 MiB flash; empty if it fails.
Bytes packOf(const std::string &dir, const std::string &oldLod, const std::string &newLod);

// Intel HEX and S-record lines with their checksums, for hand-made inputs.
std::string hexRecord(uint8_t type, uint16_t address, const Bytes &data);
std::string srecRecord(int type, uint32_t address, const Bytes &data);

} // namespace lodconverttest
