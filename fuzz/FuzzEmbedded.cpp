// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes taken for an executable with a directory of appended catalogs: the scan must
// end, and every catalog it names must lie inside the file.

#include "MoCatalog.h"

#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<unsigned char> bytes(data, data + size);
    // The first 8 bytes are the directory's offset, as the executable's marker would hold it.
    std::int64_t offset = 0;
    if (size >= 8)
        std::memcpy(&offset, bytes.data(), 8);
    // The start-up reads the file from the directory's offset to its end.
    std::span<const unsigned char> directory;
    if (offset >= 0 && std::uint64_t(offset) <= size)
        directory = std::span(bytes).subspan(std::size_t(offset));
    for (const TEmbeddedEntry& entry : ReadEmbeddedDirectory(directory, offset, std::int64_t(size))) {
        if (entry.Offset < 0 || entry.Size < 0 || std::size_t(entry.Offset) > size
            || std::size_t(entry.Size) > size - std::size_t(entry.Offset))
            std::abort();
    }
    return 0;
}
