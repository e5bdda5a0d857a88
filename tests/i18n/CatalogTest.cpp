// SPDX-License-Identifier: GPL-3.0-or-later
// GNU MO catalogs: finding them, reading them in either byte order, looking texts up, choosing
// the language, catalogs appended to an executable, and catalogs that are broken or hostile.

#include "Exception.h"
#include "GnuGettext.h"
#include "Msgfmt.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include <sys/fsuid.h>
#include <unistd.h>

namespace {

// Compiles a catalog with GNU msgfmt into dir/<language>/LC_MESSAGES/<domain>.mo.
QString Compile(const QString& dir, const QString& language, const QString& domain, const QByteArray& po,
                const QStringList& options = {})
{
    const QString folder = dir + u'/' + language + QStringLiteral("/LC_MESSAGES");
    QDir().mkpath(folder);
    const QString source = folder + u'/' + domain + QStringLiteral(".po");
    QFile file(source);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(po);
    file.close();
    const QString target = folder + u'/' + domain + QStringLiteral(".mo");
    Msgfmt(source, target, options);
    return target;
}

const QByteArray kHeader = "msgid \"\"\nmsgstr \"Project-Id-Version: test\\nContent-Type: text/plain; charset=UTF-8\\n\"\n\n";

QByteArray Dutch()
{
    return kHeader
        + "msgid \"Cancel\"\nmsgstr \"Annuleren\"\n\n"
          "msgid \"Setup\"\nmsgstr \"Instellingen\"\n\n"
          "msgid \"line one\\nline two\"\nmsgstr \"regel een\\nregel twee\"\n\n"
          "msgid \"Port\"\nmsgstr \"Poort\"\n";
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void Put32(QByteArray& bytes, int at, std::uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

// A translator for an executable living in dir (catalogs under dir/locale), in a language.
struct TTranslator {
    TAssemblyAnalyzer Analyzer;
    std::unique_ptr<TGnuGettextInstance> Instance;
    TTranslator(const QString& dir, const QString& language)
    {
        Analyzer.Analyze(dir + QStringLiteral("/program"), 0);
        Instance = std::make_unique<TGnuGettextInstance>(dir + u'/', Analyzer);
        Instance->SelectLanguage(language);
    }
};

// Sets environment variables for the lifetime of the object, and puts them back after.
struct TEnvironment {
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> Saved;
    void Set(const char* name, const char* value)
    {
        Saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~TEnvironment()
    {
        for (auto it = Saved.rbegin(); it != Saved.rend(); ++it) {
            if (it->second)
                qputenv(it->first, *it->second);
            else
                qunsetenv(it->first);
        }
    }
};

} // namespace

TEST(CatalogLookup, TranslatesInBothByteOrdersWithAndWithoutHashTable)
{
    for (const QStringList& options : {QStringList{}, QStringList{"--endianness=big"}, QStringList{"--no-hash"},
                                       QStringList{"--endianness=big", "--no-hash"}}) {
        QTemporaryDir dir;
        Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl_NL"), QStringLiteral("default"), Dutch(), options);
        TTranslator t(dir.path(), QStringLiteral("nl_NL"));
        EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cancel")), QStringLiteral("Annuleren")) << options.join(u' ').toStdString();
        EXPECT_EQ(t.Instance->Translate(QStringLiteral("Port")), QStringLiteral("Poort"));
        EXPECT_EQ(t.Instance->Translate(QStringLiteral("Not there")), QStringLiteral("Not there"));
        EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cance")), QStringLiteral("Cance")); // a prefix is no match
    }
}

TEST(CatalogLookup, LineBreaksComeBackAsCarriageReturnLineFeedPairs)
{
    QTemporaryDir dir;
    Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl"), QStringLiteral("default"), Dutch());
    TTranslator t(dir.path(), QStringLiteral("nl"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("line one\r\nline two")), QStringLiteral("regel een\r\nregel twee"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("line one\nline two")), QStringLiteral("regel een\r\nregel twee"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("\nno\ncatalog entry\r\n")), QStringLiteral("\r\nno\r\ncatalog entry\r\n"));
    // The empty text finds the catalog's header.
    EXPECT_EQ(t.Instance->Translate(QString()),
              QStringLiteral("Project-Id-Version: test\r\nContent-Type: text/plain; charset=UTF-8\r\n"));
}

TEST(CatalogLookup, ANullKeyFindsTheHeaderAsTheEmptyTextDoes)
{
    // Without a hash table the search compares the key with every msgid on its way, the empty
    // header msgid included; a null key has no bytes to compare at all.
    QTemporaryDir dir;
    Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl"), QStringLiteral("default"), Dutch(),
            {QStringLiteral("--no-hash")});
    TAssemblyAnalyzer none;
    TDomain domain(dir.filePath(QStringLiteral("locale/")), QStringLiteral("default"), {QStringLiteral("nl")}, none);
    const QByteArray header("Project-Id-Version: test\nContent-Type: text/plain; charset=UTF-8\n");
    EXPECT_EQ(domain.Lookup(QByteArray("")), header);
    EXPECT_EQ(domain.Lookup(QByteArray()), header);
}

TEST(CatalogLookup, ACatalogWithoutEntriesTranslatesNothing)
{
    QTemporaryDir dir;
    QByteArray empty(28, '\0');
    Put32(empty, 0, 0x950412DE);
    Put32(empty, 12, 28);
    Put32(empty, 16, 28);
    Put32(empty, 24, 28);
    WriteFile(dir.filePath(QStringLiteral("locale/de/LC_MESSAGES/default.mo")), empty);
    TTranslator t(dir.path(), QStringLiteral("de"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cancel")), QStringLiteral("Cancel"));
    EXPECT_TRUE(t.Instance->FindDomain(QStringLiteral("default"))->IsOpen());
}

TEST(CatalogLookup, ATranslationThatIsNotUtf8NamesTheText)
{
    QTemporaryDir dir;
    const QByteArray latin1 = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
                              "msgid \"Cafe\"\nmsgstr \"Caf\xE9\"\n";
    Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("fr"), QStringLiteral("default"), latin1);
    TTranslator t(dir.path(), QStringLiteral("fr"));
    try {
        t.Instance->Translate(QStringLiteral("Cafe"));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Error: Could not translate Cafe. Probably because the mo file doesn't "
                                              "contain utf-8 encoded translations."));
    }
}

TEST(CatalogLookup, AFileThatIsNoCatalogIsRefusedByName)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locale/nl/LC_MESSAGES/default.mo"));
    WriteFile(path, "This is not a message catalog at all.");
    TTranslator t(dir.path(), QStringLiteral("nl"));
    try {
        t.Instance->Translate(QStringLiteral("Cancel"));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("This file is not a valid GNU gettext mo file: ") + path);
    }
    // Reported once; after that the texts stay untranslated.
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cancel")), QStringLiteral("Cancel"));
}

TEST(CatalogLookup, TablesOrStringsOutsideTheFileAreNeverRead)
{
    QTemporaryDir dir;
    const QString path = Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl"), QStringLiteral("default"),
                                 Dutch(), {QStringLiteral("--no-hash")});
    const QByteArray good = ReadFile(path);

    for (const int field : {12, 16}) { // the msgid table, the translation table
        QByteArray bad = good;
        Put32(bad, field, std::uint32_t(good.size() - 8));
        WriteFile(path, bad);
        TTranslator t(dir.path(), QStringLiteral("nl"));
        EXPECT_THROW(t.Instance->Translate(QStringLiteral("Cancel")), Exception);
    }
    QByteArray huge = good;
    Put32(huge, 8, 0x20000000); // N: tables far beyond the end
    WriteFile(path, huge);
    EXPECT_THROW(TTranslator(dir.path(), QStringLiteral("nl")).Instance->Translate(QStringLiteral("x")), Exception);

    QByteArray truncated = good.left(19);
    WriteFile(path, truncated);
    EXPECT_THROW(TTranslator(dir.path(), QStringLiteral("nl")).Instance->Translate(QStringLiteral("x")), Exception);

    // One translation's string points past the end: that lookup finds nothing, the rest work.
    QByteArray stray = good;
    std::uint32_t translations;
    std::memcpy(&translations, good.constData() + 16, 4);
    Put32(stray, int(translations) + 8 * 1 + 4, 0xFFFFFF00); // entry 1 ("Cancel") in sorted order
    WriteFile(path, stray);
    TTranslator t(dir.path(), QStringLiteral("nl"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cancel")), QStringLiteral("Cancel"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Setup")), QStringLiteral("Instellingen"));
}

TEST(CatalogLookup, AnOpenCatalogKeepsItsAnswersWhateverHappensToItsFile)
{
    // A catalog emptied in place while the program runs (an update, a full disk), then filled
    // with other bytes: the open catalog is the file as it was when it was opened.
    QTemporaryDir dir;
    const QString path = Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl"), QStringLiteral("default"), Dutch());
    const qint64 size = QFileInfo(path).size();
    TTranslator t(dir.path(), QStringLiteral("nl"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cancel")), QStringLiteral("Annuleren"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(0));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Port")), QStringLiteral("Poort"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cancel")), QStringLiteral("Annuleren"));
    ASSERT_EQ(file.write(QByteArray(size, '\xFF')), size);
    ASSERT_TRUE(file.flush());
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Setup")), QStringLiteral("Instellingen"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Absent")), QStringLiteral("Absent"));
}

TEST(CatalogCheck, EachKindOfBrokenCatalogIsRefusedOnceWithItsError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("locale/nl/LC_MESSAGES/default.mo"));
    const QByteArray good = ReadFile(Compile(dir.filePath(QStringLiteral("good")), QStringLiteral("nl"),
                                             QStringLiteral("default"), Dutch()));
    const QByteArray latin1 = ReadFile(Compile(dir.filePath(QStringLiteral("latin1")), QStringLiteral("nl"), QStringLiteral("default"),
                                               "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n"
                                               "msgid \"Cancel\"\nmsgstr \"Annuleren\"\n\n"
                                               "msgid \"Port\"\nmsgstr \"Poort \xE9\xE9n\"\n\n"
                                               "msgid \"Setup\"\nmsgstr \"Caf\xE9\"\n"));
    const QString notUtf8 = path + QStringLiteral(": Error: Could not translate Port. Probably because the mo file "
                                                  "doesn't contain utf-8 encoded translations.");
    struct TCase {
        const char* Kind;
        QByteArray Bytes;
        QString Error;
    };
    const TCase cases[] = {
        {"empty", {}, QStringLiteral("Cannot create memory map on file ") + path},
        {"cut short", good.left(40), QStringLiteral("This file is not a valid GNU gettext mo file: ") + path},
        {"cut in its texts", good.left(good.size() - 3), QStringLiteral("This file is not a valid GNU gettext mo file: ") + path},
        {"unreadable", good, QStringLiteral("Cannot open file ") + path},
        {"wrong magic", "This is not a message catalog at all.", QStringLiteral("This file is not a valid GNU gettext mo file: ") + path},
        {"not UTF-8", latin1, notUtf8},
    };
    for (const TCase& c : cases) {
        WriteFile(path, c.Bytes);
        TTranslator t(dir.path(), QStringLiteral("nl"));
        QString error;
        if (qstrcmp(c.Kind, "unreadable") == 0) {
            // Readable by no one but root, and root reads it as another user.
            QFile::setPermissions(path, {});
            for (QString folder = QFileInfo(path).path(); folder.startsWith(dir.path()); folder = QFileInfo(folder).path())
                QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
            const bool root = geteuid() == 0;
            if (root) {
                setfsgid(65534);
                setfsuid(65534);
            }
            EXPECT_TRUE(QFileInfo(path).isFile()) << "the catalog must be seen, only not read";
            error = t.Instance->CheckDomain(QStringLiteral("default"));
            if (root) {
                setfsuid(0);
                setfsgid(0);
            }
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        } else {
            error = t.Instance->CheckDomain(QStringLiteral("default"));
        }
        EXPECT_EQ(error, c.Error) << c.Kind;
        // Not used, and not searched again: texts stay as they are, and no lookup fails.
        EXPECT_FALSE(t.Instance->FindDomain(QStringLiteral("default"))->IsOpen()) << c.Kind;
        EXPECT_EQ(t.Instance->CheckDomain(QStringLiteral("default")), QString()) << c.Kind;
        for (const char* text : {"Cancel", "Port", "Setup"})
            EXPECT_EQ(t.Instance->Translate(QString::fromLatin1(text)), QString::fromLatin1(text)) << c.Kind;
    }

    // Without a catalog, and with a good one, there is nothing to report.
    QFile::remove(path);
    EXPECT_EQ(TTranslator(dir.path(), QStringLiteral("nl")).Instance->CheckDomain(QStringLiteral("default")), QString());
    WriteFile(path, good);
    TTranslator t(dir.path(), QStringLiteral("nl"));
    EXPECT_EQ(t.Instance->CheckDomain(QStringLiteral("default")), QString());
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Port")), QStringLiteral("Poort"));
}

namespace {
// An independent reading of an MO file: every (msgid, translation) pair it holds.
std::vector<std::pair<QByteArray, QByteArray>> Entries(const QByteArray& mo)
{
    std::vector<std::pair<QByteArray, QByteArray>> entries;
    bool swap = false;
    const auto word = [&](qsizetype at) -> std::uint32_t {
        std::uint32_t w = 0;
        for (int i = 0; i < 4 && at >= 0 && at + 4 <= mo.size(); ++i)
            w |= std::uint32_t(static_cast<unsigned char>(mo[at + i])) << (8 * i);
        return swap ? __builtin_bswap32(w) : w;
    };
    swap = word(0) == 0xDE120495;
    const std::uint32_t n = word(8);
    const std::uint32_t o = word(12);
    const std::uint32_t t = word(16);
    for (std::uint32_t i = 0; i < n && qsizetype(o + 8 * i + 8) <= mo.size(); ++i) {
        const auto text = [&](std::uint32_t table) {
            const std::uint32_t length = word(table + 8 * i);
            const std::uint32_t offset = word(table + 8 * i + 4);
            return qsizetype(offset) + length <= mo.size() ? mo.mid(offset, length) : QByteArray();
        };
        entries.emplace_back(text(o), text(t));
    }
    return entries;
}
}

TEST(CatalogLookup, EveryEntryOfEveryCatalogOnThisMachineIsFound)
{
    // Catalogs of all sizes and makers. Each lives at <dir>/<language>/LC_MESSAGES/<domain>.mo.
    TAssemblyAnalyzer none;
    int catalogs = 0;
    long long entries = 0;
    QDirIterator it(QStringLiteral("/usr/share"), {QStringLiteral("*.mo")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QDir messages = info.dir();
        if (messages.dirName() != u"LC_MESSAGES")
            continue;
        QDir languageDir = messages;
        languageDir.cdUp();
        const QString language = languageDir.dirName();
        QDir base = languageDir;
        base.cdUp();
        const auto pairs = Entries(ReadFile(path));
        TDomain domain(base.path() + u'/', info.completeBaseName(), {language}, none);
        for (const auto& [msgid, translation] : pairs) {
            ASSERT_EQ(domain.Lookup(msgid), translation) << path.toStdString() << ": " << msgid.toStdString();
            ++entries;
        }
        EXPECT_EQ(domain.Lookup("\x01 surely absent \x02"), QByteArray("\x01 surely absent \x02")) << path.toStdString();
        ++catalogs;
    }
    std::printf("looked up %lld entries in %d catalogs\n", entries, catalogs);
    EXPECT_GT(catalogs, 0);
}

TEST(CatalogLookup, ThreadsLookingUpInANewDomainAllGetTheirTranslations)
{
    QTemporaryDir dir;
    Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl"), QStringLiteral("cport"), Dutch());
    TTranslator t(dir.path(), QStringLiteral("nl"));
    TDomain domain(dir.filePath(QStringLiteral("locale/")), QStringLiteral("cport"), {QStringLiteral("nl")}, t.Analyzer);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            for (int k = 0; k < 200; ++k) {
                if (domain.Lookup("Cancel") != "Annuleren" || domain.Lookup("Port") != "Poort")
                    ++wrong;
                t.Instance->TranslateInDomain(QStringLiteral("default"), QStringLiteral("Setup"));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

namespace {
// The environment's language settings, all unset to begin with, whatever the developer's are.
struct TLocaleEnvironment : TEnvironment {
    TLocaleEnvironment()
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"})
            Set(name, nullptr);
    }
};
}

TEST(LanguageChoice, TheLocaleIsLcAllThenLcMessagesThenLangAndTheFirstNotEmptyDecides)
{
    TLocaleEnvironment env;
    EXPECT_EQ(MessageLanguages(), QStringList()); // no locale: untranslated
    env.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(MessageLanguages(), QStringList{"de_DE"});
    env.Set("LC_MESSAGES", "sr_RS@latin");
    EXPECT_EQ(MessageLanguages(), QStringList{"sr_RS"});
    env.Set("LC_ALL", "nl_NL.UTF-8");
    EXPECT_EQ(MessageLanguages(), QStringList{"nl_NL"});
    env.Set("LC_ALL", ""); // set but empty: the next one decides
    EXPECT_EQ(MessageLanguages(), QStringList{"sr_RS"});
    env.Set("LC_MESSAGES", "");
    EXPECT_EQ(MessageLanguages(), QStringList{"de_DE"});
    // The translator of each program reads it so at its start.
    QTemporaryDir dir;
    TAssemblyAnalyzer none;
    env.Set("LC_MESSAGES", "fr_FR.UTF-8");
    EXPECT_EQ(TGnuGettextInstance(dir.path() + u'/', none).CurrentLanguages(), QStringList{"fr_FR"});
}

TEST(LanguageChoice, CAndPosixMeanUntranslatedWhateverLangAndLanguageSay)
{
    TLocaleEnvironment env;
    env.Set("LANG", "nl_NL.UTF-8");
    env.Set("LANGUAGE", "nl");
    for (const char* untranslated : {"C", "C.UTF-8", "POSIX"}) {
        env.Set("LC_ALL", untranslated);
        EXPECT_EQ(MessageLanguages(), QStringList()) << "LC_ALL=" << untranslated;
    }
    env.Set("LC_ALL", nullptr);
    env.Set("LC_MESSAGES", "POSIX");
    EXPECT_EQ(MessageLanguages(), QStringList());
    env.Set("LC_MESSAGES", nullptr);
    env.Set("LANG", "C");
    EXPECT_EQ(MessageLanguages(), QStringList());
}

TEST(LanguageChoice, LanguageListsTheLanguagesInTurnAndEachDomainTakesTheFirstItHasACatalogFor)
{
    TLocaleEnvironment env;
    env.Set("LANG", "de_DE.UTF-8");
    env.Set("LANGUAGE", "fr_FR::nl_BE.UTF-8:de");
    EXPECT_EQ(MessageLanguages(), (QStringList{"fr_FR", "nl_BE", "de"})); // not the locale's de_DE
    env.Set("LANGUAGE", "fr:POSIX:nl");
    EXPECT_EQ(MessageLanguages(), QStringList{"fr"}); // "C" or "POSIX" ends the list
    env.Set("LANGUAGE", "C:nl");
    EXPECT_EQ(MessageLanguages(), QStringList());
    env.Set("LANGUAGE", "");
    EXPECT_EQ(MessageLanguages(), QStringList{"de_DE"});

    // French has no catalog; Dutch (found under nl for nl_BE) comes before German, except in the
    // domain that only German translates.
    QTemporaryDir dir;
    const QString locale = dir.filePath(QStringLiteral("locale"));
    Compile(locale, QStringLiteral("nl"), QStringLiteral("default"), Dutch());
    Compile(locale, QStringLiteral("de"), QStringLiteral("default"), kHeader + "msgid \"Setup\"\nmsgstr \"Einstellungen\"\n");
    Compile(locale, QStringLiteral("de"), QStringLiteral("cport"), kHeader + "msgid \"Port\"\nmsgstr \"Anschluss\"\n");
    env.Set("LANGUAGE", "fr:nl_BE:de");
    TAssemblyAnalyzer none;
    TGnuGettextInstance t(dir.path() + u'/', none);
    EXPECT_EQ(t.Translate(QStringLiteral("Setup")), QStringLiteral("Instellingen"));
    EXPECT_EQ(t.TranslateInDomain(QStringLiteral("cport"), QStringLiteral("Port")), QStringLiteral("Anschluss"));
}

TEST(LanguageChoice, ACatalogOnlyUnderTheTwoLetterLanguageIsFound)
{
    QTemporaryDir dir;
    Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl"), QStringLiteral("default"), Dutch());
    TTranslator t(dir.path(), QStringLiteral("nl_BE"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Setup")), QStringLiteral("Instellingen"));
}

TEST(LanguageChoice, WithoutACatalogTextsStayAndTheSearchWaitsForANewLanguage)
{
    QTemporaryDir dir;
    TTranslator t(dir.path(), QStringLiteral("nl"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Setup")), QStringLiteral("Setup"));
    TDomain* domain = t.Instance->FindDomain(QStringLiteral("DEFAULT")); // names ignore case
    ASSERT_NE(domain, nullptr);
    EXPECT_FALSE(domain->SearchAllowed());
    // A catalog that turns up later is not searched for...
    Compile(dir.filePath(QStringLiteral("locale")), QStringLiteral("nl"), QStringLiteral("default"), Dutch());
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Setup")), QStringLiteral("Setup"));
    // ...until the language (or the directory) changes.
    t.Instance->SelectLanguage(QStringLiteral("nl"));
    EXPECT_TRUE(domain->SearchAllowed());
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Setup")), QStringLiteral("Instellingen"));
}

TEST(LanguageChoice, ADomainBoundElsewhereLooksThere)
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    Compile(elsewhere.path(), QStringLiteral("nl"), QStringLiteral("cport"), Dutch());
    TTranslator t(dir.path(), QStringLiteral("nl"));
    EXPECT_EQ(t.Instance->TranslateInDomain(QStringLiteral("cport"), QStringLiteral("Port")), QStringLiteral("Port"));
    t.Instance->BindDomainDirectory(QStringLiteral("cport"), elsewhere.path());
    EXPECT_EQ(t.Instance->FindDomain(QStringLiteral("cport"))->Directory(), elsewhere.path() + u'/');
    EXPECT_EQ(t.Instance->TranslateInDomain(QStringLiteral("cport"), QStringLiteral("Port")), QStringLiteral("Poort"));
    t.Instance->SetCurrentDomain(QStringLiteral("cport"));
    EXPECT_EQ(t.Instance->Translate(QStringLiteral("Cancel")), QStringLiteral("Annuleren"));
}

namespace {
// An executable-like file: some code, the marker with the directory's offset, catalogs, and the
// directory's records.
struct TFixture {
    QByteArray File = QByteArray(64, '\x90');
    std::int64_t MarkerAt = 0;

    void AddMarker()
    {
        MarkerAt = File.size();
        File += EmbeddedCatalogMarkerText;
        File += QByteArray(8, '\0');
    }
    std::int64_t Append(const QByteArray& bytes)
    {
        const std::int64_t at = File.size();
        File += bytes;
        return at;
    }
    static QByteArray Int64(std::int64_t v)
    {
        QByteArray b(8, '\0');
        for (int i = 0; i < 8; ++i)
            b[i] = char((std::uint64_t(v) >> (8 * i)) & 0xFF);
        return b;
    }
    // A record at `at` (must be the file's end), pointing to `next`.
    void Record(std::int64_t next, std::int64_t offset, std::int64_t size, const QByteArray& name)
    {
        File += Int64(next) + Int64(offset) + Int64(size) + name;
    }
    void SetDirectory(std::int64_t offset) { File.replace(MarkerAt + 36, 8, Int64(offset)); }
};

// What a start-up does: the directory offset from the marker in the file.
std::int64_t MarkerOffset(const QByteArray& file)
{
    const qsizetype at = file.indexOf(EmbeddedCatalogMarkerText);
    if (at < 0)
        return -1;
    std::int64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(file[at + 36 + i]);
    return v;
}
}

TEST(EmbeddedCatalogs, TheRecordChainNamesCatalogsInsideTheFile)
{
    QTemporaryDir dir;
    const QString catalogSource = Compile(dir.filePath(QStringLiteral("src")), QStringLiteral("nl"),
                                          QStringLiteral("default"), Dutch());
    TFixture f;
    f.AddMarker();
    const QByteArray catalog = ReadFile(catalogSource);
    const std::int64_t catalogAt = f.Append(catalog);
    const std::int64_t first = f.File.size();
    const QByteArray name1 = " locale/nl/LC_MESSAGES/default.mo\n";
    const QByteArray name2 = "locale/de/LC_MESSAGES/cport.mo";
    const std::int64_t second = first + 24 + name1.size();
    const std::int64_t end = second + 24 + name2.size();
    f.Record(second, catalogAt, catalog.size(), name1);
    f.Record(end, catalogAt, 10, name2);
    f.Append(TFixture::Int64(0));
    f.SetDirectory(first);
    const QString program = dir.filePath(QStringLiteral("program"));
    WriteFile(program, f.File);

    TAssemblyAnalyzer analyzer;
    analyzer.Analyze(program, MarkerOffset(f.File));
    EXPECT_EQ(analyzer.Paths(), (QStringList{"locale/de/LC_MESSAGES/cport.mo", "locale/nl/LC_MESSAGES/default.mo"}));
    const QString path = dir.filePath(QStringLiteral("locale/NL/LC_MESSAGES/default.mo"));
    EXPECT_TRUE(analyzer.Contains(path)); // the directory part matches exactly, the rest ignoring case
    const auto location = analyzer.Locate(path);
    EXPECT_EQ(location.File, program);
    EXPECT_EQ(location.Offset, catalogAt);
    EXPECT_EQ(location.Size, catalog.size());
    EXPECT_FALSE(analyzer.Contains(QStringLiteral("/elsewhere/locale/nl/LC_MESSAGES/default.mo")));

    // The translator finds the catalog inside the program file.
    TGnuGettextInstance translator(dir.path() + u'/', analyzer);
    translator.SelectLanguage(QStringLiteral("nl"));
    EXPECT_EQ(translator.Translate(QStringLiteral("Cancel")), QStringLiteral("Annuleren"));
}

TEST(EmbeddedCatalogs, AZeroOffsetOrABrokenChainKeepsWhatCameBefore)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("program"));
    TAssemblyAnalyzer analyzer;
    TFixture none;
    none.AddMarker();
    WriteFile(program, none.File);
    analyzer.Analyze(program, MarkerOffset(none.File));
    EXPECT_TRUE(analyzer.Paths().isEmpty());

    // Three kinds of bad second record: running past the end, pointing backwards, a repeated name.
    for (int kind = 0; kind < 3; ++kind) {
        TFixture f;
        f.AddMarker();
        const std::int64_t first = f.File.size();
        const QByteArray name = "a.mo";
        const std::int64_t second = first + 24 + name.size();
        f.Record(second, 0, 4, name);
        if (kind == 0)
            f.Record(second + 1000, 0, 4, "b.mo"); // its end is beyond the file
        else if (kind == 1)
            f.Record(first, 0, 4, "b.mo"); // back to the first: would loop
        else
            f.Record(second + 24 + 4, 0, 4, "A.MO");
        f.Append(TFixture::Int64(0));
        f.SetDirectory(first);
        WriteFile(program, f.File);
        analyzer.Analyze(program, MarkerOffset(f.File));
        EXPECT_EQ(analyzer.Paths(), QStringList{"a.mo"}) << "kind " << kind;
    }
    analyzer.Analyze(dir.filePath(QStringLiteral("missing")), 100);
    EXPECT_TRUE(analyzer.Paths().isEmpty());
}

TEST(EmbeddedCatalogs, TheProgramCarriesTheMarkerOnceWithNothingEmbedded)
{
    const QByteArray program = ReadFile(QStringLiteral(SENTRAX_PROGRAM));
    ASSERT_FALSE(program.isEmpty());
    const qsizetype at = program.indexOf(EmbeddedCatalogMarkerText);
    ASSERT_GE(at, 0) << "the linker dropped the marker";
    EXPECT_EQ(program.indexOf(EmbeddedCatalogMarkerText, at + 1), -1);
    EXPECT_EQ(program.mid(at + 36, 8), QByteArray(8, '\0'));
    EXPECT_EQ(EmbeddedCatalogOffset(), 0);
}

TEST(EmbeddedCatalogs, AHugeDirectoryIsReadInLinearTime)
{
    // 200,000 records, then one that repeats the first name in other case: comparing each name
    // with every earlier one would take minutes here.
    constexpr int kRecords = 200000;
    TFixture f;
    f.AddMarker();
    const std::int64_t first = f.File.size();
    const auto name = [](int i) { return "locale/" + QByteArray::number(i) + "/LC_MESSAGES/default.mo"; };
    QByteArray records;
    std::int64_t at = first;
    for (int i = 0; i <= kRecords; ++i) {
        const QByteArray text = i < kRecords ? name(i) : name(0).toUpper();
        at += 24 + text.size();
        records += TFixture::Int64(at) + TFixture::Int64(0) + TFixture::Int64(8) + text;
    }
    f.File += records + TFixture::Int64(0);
    f.SetDirectory(first);
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("program"));
    WriteFile(program, f.File);

    TAssemblyAnalyzer analyzer;
    QElapsedTimer timer;
    timer.start();
    analyzer.Analyze(program, MarkerOffset(f.File));
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(analyzer.Paths().size(), kRecords);
    EXPECT_TRUE(analyzer.Contains(dir.filePath(QString::fromLatin1(name(kRecords - 1)))));
    // Well under a second here; comparing every record with every earlier one took minutes. The
    // bound leaves room for sanitizers on a busy machine.
    EXPECT_LT(elapsed, 30000) << "ms for " << kRecords << " records";
}
