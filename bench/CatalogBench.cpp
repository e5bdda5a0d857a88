// SPDX-License-Identifier: GPL-3.0-or-later
// Catalog lookups on a large real catalog of this machine, against GNU libc's dgettext on the
// same catalog and the same keys: hits (every msgid) and misses (each msgid with a character
// added). And the start-up's reading of a directory of catalogs appended to the executable, with
// many records: its time per record must stay about the same.

#include "GnuGettext.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <libintl.h>
#include <locale.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TCatalog {
    QString Path;      // <dir>/<language>/LC_MESSAGES/<domain>.mo
    QString Directory; // <dir>/
    QString Language;
    QString Domain;
    std::vector<QByteArray> Msgids;
};

// The largest catalog under /usr/share/locale (or the one SENTRAX_BENCH_CATALOG names).
const TCatalog& Catalog()
{
    static const TCatalog catalog = [] {
        TCatalog c;
        c.Path = qEnvironmentVariable("SENTRAX_BENCH_CATALOG");
        if (c.Path.isEmpty()) {
            qint64 largest = 0;
            QDirIterator it(QStringLiteral("/usr/share/locale"), {QStringLiteral("*.mo")}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString p = it.next();
                if (QFileInfo(p).size() > largest && p.contains(QStringLiteral("/LC_MESSAGES/"))) {
                    largest = QFileInfo(p).size();
                    c.Path = p;
                }
            }
        }
        const QFileInfo info(c.Path);
        QDir messages = info.dir();
        messages.cdUp();
        c.Language = messages.dirName();
        messages.cdUp();
        c.Directory = messages.path() + u'/';
        c.Domain = info.completeBaseName();
        QFile file(c.Path);
        file.open(QIODevice::ReadOnly);
        const QByteArray mo = file.readAll();
        std::uint32_t n = 0;
        std::uint32_t o = 0;
        if (mo.size() >= 20) {
            std::memcpy(&n, mo.constData() + 8, 4);
            std::memcpy(&o, mo.constData() + 12, 4);
        }
        for (std::uint32_t i = 1; i < n; ++i) { // entry 0 is the header
            std::uint32_t length;
            std::uint32_t offset;
            std::memcpy(&length, mo.constData() + o + 8 * i, 4);
            std::memcpy(&offset, mo.constData() + o + 8 * i + 4, 4);
            const QByteArray id = mo.mid(offset, length);
            if (!id.contains('\0') && !id.contains('\x04')) // plain msgids: no plural, no context
                c.Msgids.push_back(id);
        }
        std::fprintf(stderr, "catalog: %s, %zu msgids\n", qPrintable(c.Path), c.Msgids.size());
        return c;
    }();
    return catalog;
}

std::vector<QByteArray> Keys(bool hits)
{
    std::vector<QByteArray> keys = Catalog().Msgids;
    if (!hits)
        for (QByteArray& k : keys)
            k += '~';
    return keys;
}

void Lookup(benchmark::State& state)
{
    const TCatalog& c = Catalog();
    TAssemblyAnalyzer none;
    TDomain domain(c.Directory, c.Domain, {c.Language}, none);
    const auto keys = Keys(state.range(0));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(domain.Lookup(keys[i]));
        if (++i == keys.size())
            i = 0;
    }
}
BENCHMARK(Lookup)->ArgName("hit")->Arg(1)->Arg(0);

void TranslateInDomain(benchmark::State& state)
{
    const TCatalog& c = Catalog();
    TAssemblyAnalyzer none;
    TGnuGettextInstance translator(c.Directory, none); // catalogs under <dir>locale: bound below
    translator.BindDomainDirectory(c.Domain, c.Directory);
    translator.SelectLanguage(c.Language);
    std::vector<QString> keys;
    for (const QByteArray& k : Keys(state.range(0)))
        keys.push_back(QString::fromUtf8(k));
    std::size_t i = 0;
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(translator.TranslateInDomain(c.Domain, keys[i]));
        } catch (...) {
        }
        if (++i == keys.size())
            i = 0;
    }
}
BENCHMARK(TranslateInDomain)->ArgName("hit")->Arg(1)->Arg(0);

void LibcDgettext(benchmark::State& state)
{
    const TCatalog& c = Catalog();
    setlocale(LC_ALL, "C.UTF-8");
    qputenv("LANGUAGE", c.Language.toLocal8Bit());
    const QByteArray domain = c.Domain.toLocal8Bit();
    bindtextdomain(domain.constData(), c.Directory.toLocal8Bit().constData());
    const auto keys = Keys(state.range(0));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dgettext(domain.constData(), keys[i].constData()));
        if (++i == keys.size())
            i = 0;
    }
}
BENCHMARK(LibcDgettext)->ArgName("hit")->Arg(1)->Arg(0);

// A directory of n records with distinct names, each naming the same 8 bytes of the file.
std::vector<unsigned char> Directory(std::int64_t n)
{
    std::vector<unsigned char> bytes;
    const auto put64 = [&](std::int64_t v) {
        for (int i = 0; i < 8; ++i)
            bytes.push_back(static_cast<unsigned char>(std::uint64_t(v) >> (8 * i)));
    };
    for (std::int64_t i = 0; i < n; ++i) {
        const std::string name = "locale/" + std::to_string(i) + "/LC_MESSAGES/default.mo";
        put64(std::int64_t(bytes.size()) + 24 + std::int64_t(name.size()));
        put64(0);
        put64(8);
        bytes.insert(bytes.end(), name.begin(), name.end());
    }
    put64(0);
    return bytes;
}

void EmbeddedDirectory(benchmark::State& state)
{
    const auto bytes = Directory(state.range(0));
    for (auto _ : state) {
        const auto entries = ReadEmbeddedDirectory(bytes, 0, std::int64_t(bytes.size()));
        if (entries.size() != std::size_t(state.range(0)))
            state.SkipWithError("records lost");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(EmbeddedDirectory)->ArgName("records")->Arg(10000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
