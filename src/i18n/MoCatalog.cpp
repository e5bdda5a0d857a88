// SPDX-License-Identifier: GPL-3.0-or-later
#include "MoCatalog.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {
constexpr std::uint32_t kMagic = 0x950412DE;
constexpr std::uint32_t kMagicSwapped = 0xDE120495;
constexpr std::uint64_t kHeaderSize = 20; // magic, revision, N, O, T

// Unsigned bytewise order; a proper prefix orders before the longer string.
int CompareBytes(QByteArrayView key, const char* text, std::uint32_t length)
{
    // A null key has no data pointer, and memcmp may not be handed one even for zero bytes.
    const auto common = std::min<std::size_t>(std::size_t(key.size()), length);
    if (common != 0)
        if (const int c = std::memcmp(key.constData(), text, common))
            return c;
    if (std::size_t(key.size()) == length)
        return 0;
    return std::size_t(key.size()) < length ? -1 : 1;
}

// Compares texts as their ASCII upper-case forms: negative, zero or positive.
int CompareUpper(std::string_view a, std::string_view b)
{
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned ux = unsigned(x[i] - 'a') < 26u ? x[i] - 32u : x[i];
        const unsigned uy = unsigned(y[i] - 'a') < 26u ? y[i] - 32u : y[i];
        if (ux != uy)
            return ux < uy ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

std::int64_t LittleEndian64(const unsigned char* bytes)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return static_cast<std::int64_t>(value);
}
}

bool TMoCatalog::Open(const unsigned char* start, std::uint64_t size)
{
    start_ = start;
    size_ = size;
    byteSwap_ = false;
    if (size < kHeaderSize)
        return false;
    const std::uint32_t magic = Word(0);
    if (magic != kMagic && magic != kMagicSwapped)
        return false;
    byteSwap_ = magic == kMagicSwapped;
    count_ = Word(8);
    msgids_ = Word(12);
    translations_ = Word(16);
    const std::uint64_t tableBytes = 8 * std::uint64_t(count_);
    return msgids_ + tableBytes <= size_ && translations_ + tableBytes <= size_;
}

std::uint32_t TMoCatalog::Word(std::uint64_t offset) const
{
    std::uint32_t word;
    std::memcpy(&word, start_ + offset, sizeof word);
    return byteSwap_ ? __builtin_bswap32(word) : word;
}

bool TMoCatalog::String(std::uint32_t table, std::uint32_t index, const char*& text, std::uint32_t& length) const
{
    const std::uint64_t descriptor = table + 8 * std::uint64_t(index);
    length = Word(descriptor);
    const std::uint32_t offset = Word(descriptor + 4);
    if (std::uint64_t(offset) + length > size_)
        return false;
    text = reinterpret_cast<const char*>(start_ + offset);
    return true;
}

bool TMoCatalog::Entry(std::uint32_t index, QByteArrayView& msgid, QByteArrayView& translation) const
{
    const char* text = nullptr;
    std::uint32_t length = 0;
    if (index >= count_ || !String(msgids_, index, text, length))
        return false;
    msgid = QByteArrayView(text, length);
    if (!String(translations_, index, text, length))
        return false;
    translation = QByteArrayView(text, length);
    return true;
}

QByteArray TMoCatalog::Lookup(const QByteArray& key) const
{
    const QByteArrayView found = Find(key);
    return found.data() == key.constData() ? key : found.toByteArray();
}

QByteArrayView TMoCatalog::Find(QByteArrayView key) const
{
    if (count_ == 0)
        return key;
    // The catalog format's own probing order, not a library search: on a catalog whose msgids
    // are out of order (nothing checks that they are sorted) it decides what is found, and the
    // readers of such catalogs must agree on it.
    std::uint32_t i = std::uint32_t{1} << (31 - __builtin_clz(count_)); // largest power of two <= N
    std::uint32_t step = i / 2;
    for (;;) {
        const char* text = nullptr;
        std::uint32_t length = 0;
        if (!String(msgids_, i - 1, text, length))
            return key;
        const int order = CompareBytes(key, text, length);
        if (order == 0) {
            if (!String(translations_, i - 1, text, length))
                return key;
            return QByteArrayView(text, length);
        }
        if (step == 0)
            return key;
        if (order < 0)
            i = i <= step ? 1 : i - step;
        else
            i = std::min(i + step, count_);
        step /= 2;
    }
}

std::vector<TEmbeddedEntry> ReadEmbeddedDirectory(std::span<const unsigned char> directory, std::int64_t offset,
                                                  std::int64_t fileSize)
{
    std::vector<TEmbeddedEntry> entries;
    if (offset < 0 || fileSize < offset || std::int64_t(directory.size()) > fileSize - offset)
        return entries;
    // Every record lies at least 24 bytes beyond the one before, inside the bytes given: the
    // chain ends, and the names together are no longer than those bytes.
    const std::int64_t end = offset + std::int64_t(directory.size());
    const auto read64 = [&](std::int64_t at, std::int64_t& value) {
        if (at < offset || at > end - 8)
            return false;
        value = LittleEndian64(directory.data() + (at - offset));
        return true;
    };
    std::int64_t record = offset;
    for (;;) {
        std::int64_t next = 0;
        std::int64_t catalog = 0;
        std::int64_t length = 0;
        if (!read64(record, next) || next == 0)
            break;
        if (next < record + 24 || next > end || !read64(record + 8, catalog) || !read64(record + 16, length))
            break;
        if (catalog < 0 || length < 0 || catalog > fileSize || length > fileSize - catalog)
            break;
        const char* first = reinterpret_cast<const char*>(directory.data()) + (record + 24 - offset);
        const char* last = reinterpret_cast<const char*>(directory.data()) + (next - offset);
        while (first < last && static_cast<unsigned char>(*first) <= 32)
            ++first;
        while (last > first && static_cast<unsigned char>(*(last - 1)) <= 32)
            --last;
        entries.push_back({std::string_view(first, std::size_t(last - first)), catalog, length});
        record = next;
    }
    // A name seen before ends the directory. Sorted by name, then by position, every record of a
    // run of equal names but the first repeats an earlier one; the first such record is the end.
    // (Sorting, not a hash set: no crafted set of names can make it take more than n log n.)
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = CompareUpper(entries[a].Name, entries[b].Name);
        return c != 0 ? c < 0 : a < b;
    });
    std::size_t kept = entries.size();
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (CompareUpper(entries[order[i - 1]].Name, entries[order[i]].Name) == 0)
            kept = std::min(kept, order[i]);
    }
    entries.resize(kept);
    return entries;
}
