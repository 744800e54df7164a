#pragma once
// What the pack builder does, apart from its command line: gather PNG images, write the pack.
#include <filesystem>
#include <string>
#include <vector>

#include "ui/pack_writer.h"

namespace halvex::tools {

// Each input is a folder (all its entries) or one file. Every file must be a PNG image (".png" and
// the PNG signature); its entry name is its file name. Refuses anything else, and two files with the
// same name. On failure `error` names the offending path.
bool CollectPackEntries(const std::vector<std::filesystem::path>& inputs, std::vector<PackEntry>& out,
                        std::string& error);

// Collects, writes to a temporary file beside `output` and then puts it in place, so that a failed
// build leaves an existing pack as it was. Reports the number of entries written.
bool BuildPackFile(const std::vector<std::filesystem::path>& inputs, const std::filesystem::path& output,
                   size_t& entryCount, std::string& error);

}  // namespace halvex::tools
