// Catalog lookups on a large real catalog of this machine, against GNU libc's dgettext on the
// same catalog and the same keys: hits (every msgid) and misses (each msgid with a character
// added).

#include "GnuGettext.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <libintl.h>
#include <locale.h>

#include <cstdio>
#include <cstring>
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
    TDomain domain(c.Directory, c.Domain, c.Language, none);
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

} // namespace

BENCHMARK_MAIN();
