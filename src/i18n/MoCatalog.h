// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// A GNU MO catalog in memory. Opening reads the five header words only and checks that both
// descriptor tables lie inside the bytes; every string is checked against the size as it is
// read, so no catalog can make a lookup read outside it.
class TMoCatalog {
public:
    // False when the bytes are no GNU MO catalog (or their tables point outside them).
    bool Open(const unsigned char* start, std::uint64_t size);

    // The translation of a UTF-8 key, found by binary search over the sorted msgids; the key
    // itself when the catalog has none (or the entry's strings lie outside the catalog).
    QByteArray Lookup(const QByteArray& key) const;
    // The same, as a view into the catalog (or into the key), valid while both are.
    QByteArrayView Find(QByteArrayView key) const;

    std::uint32_t Count() const { return count_; }
    // Entry `index` (below Count) in catalog order; false when one of its strings lies outside.
    bool Entry(std::uint32_t index, QByteArrayView& msgid, QByteArrayView& translation) const;

private:
    std::uint32_t Word(std::uint64_t offset) const;
    bool String(std::uint32_t table, std::uint32_t index, const char*& text, std::uint32_t& length) const;

    const unsigned char* start_ = nullptr;
    std::uint64_t size_ = 0;
    bool byteSwap_ = false;
    std::uint32_t count_ = 0;       // N
    std::uint32_t msgids_ = 0;      // O
    std::uint32_t translations_ = 0; // T
};

// One record of the directory of catalogs appended to an executable.
struct TEmbeddedEntry {
    std::string_view Name; // UTF-8, trimmed; inside the directory's bytes
    std::int64_t Offset = 0;
    std::int64_t Size = 0;
};

// The record chain that starts at `offset` in a file of `fileSize` bytes, given the file's bytes
// from `offset` to its end (every integer a signed 64-bit little-endian value: next record,
// catalog offset, catalog size, then the name up to the next record). Each record must lie
// further into the file than the one before and inside it, and name a catalog inside the file
// under a name not seen before (ignoring ASCII case); the first that does not ends the chain, and
// the records before it stand. The names are views into `directory`. Memory grows linearly with
// the directory's bytes, time at most as n log n of its records.
std::vector<TEmbeddedEntry> ReadEmbeddedDirectory(std::span<const unsigned char> directory, std::int64_t offset,
                                                  std::int64_t fileSize);
