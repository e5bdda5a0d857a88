// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes taken for an MO catalog: opening them and looking texts up must answer or
// refuse, and never read outside the bytes.

#include "MoCatalog.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A copy of exactly the input's size, so that the sanitizer sees any read past its end.
    const std::vector<unsigned char> bytes(data, data + size);
    TMoCatalog catalog;
    if (!catalog.Open(bytes.data(), bytes.size()))
        return 0;
    // Keys made of the catalog's own bytes, as its msgids are, and a few plain ones.
    for (std::size_t at : {std::size_t(0), size / 3, size / 2, size > 8 ? size - 8 : 0}) {
        const std::size_t length = std::min<std::size_t>(8, size - at);
        const QByteArray key(reinterpret_cast<const char*>(bytes.data()) + at, qsizetype(length));
        catalog.Lookup(key);
    }
    catalog.Lookup(QByteArray());
    catalog.Lookup("Cancel");
    return 0;
}
