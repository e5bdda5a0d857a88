// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MoCatalog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

class QObject;
struct QMetaObject;

// Interface texts looked up in GNU MO message catalogs.
//
// A translation is keyed by the English text (the msgid); texts are grouped in domains, each with
// its own catalog, found under the executable's directory in
//   locale/<language>/LC_MESSAGES/<domain>.mo   (or locale/<two-letter language>/...)
// or appended to the executable itself. Where the user lists several languages, each domain
// takes the first of them that it has a catalog for. Without a catalog every text comes back
// unchanged.
// A catalog is input from outside the program: every offset and length read from it is checked
// against its size before use, and a catalog that points outside itself is refused.

// The directory of catalogs appended to the executable file.
class TAssemblyAnalyzer {
public:
    struct TAssemblyFileInfo {
        std::int64_t Offset = 0; // from the start of the executable file
        std::int64_t Size = 0;
    };
    struct TLocation {
        QString File;
        std::int64_t Offset = 0;
        std::int64_t Size = 0;
    };

    // Reads the record chain that starts at directoryOffset in the file (0: none). A record that
    // cannot be read, points backwards, runs outside the file or repeats a name ends the scan;
    // the records before it stay.
    void Analyze(const QString& executable, std::int64_t directoryOffset);
    // Whether the catalog path (absolute, or relative to the executable's directory) is embedded.
    bool Contains(const QString& path) const;
    // The file to open for a catalog path: the executable with the entry's offset and size when
    // it is embedded, else the path itself.
    TLocation Locate(const QString& path) const;
    // The embedded catalog paths, sorted ignoring case.
    QStringList Paths() const;

private:
    bool Relative(const QString& path, QString& relative) const;

    QString executable_;
    QString baseDirectory_; // with a trailing "/"
    std::map<QString, std::pair<QString, TAssemblyFileInfo>> entries_; // key: upper-case path
};

// One domain and its catalog. The catalog is read into memory when it is opened, so nothing
// that later happens to its file reaches a lookup. Lookups read it without a lock; opening and
// closing take the domain's lock for writing.
class TDomain {
public:
    // languages: those to search a catalog for, in turn (none: untranslated).
    TDomain(QString directory, QString domainName, QStringList languages, const TAssemblyAnalyzer& analyzer);
    ~TDomain();
    TDomain(const TDomain&) = delete;
    TDomain& operator=(const TDomain&) = delete;

    void SetDirectory(const QString& directory);
    void SetLanguages(const QStringList& languages);
    // The translation of a UTF-8 key, or the key itself.
    QByteArray Lookup(const QByteArray& key);
    // The same, as a view into the catalog (or into the key): valid until the catalog is
    // closed, which happens only when the language or directory changes.
    QByteArrayView Find(const QByteArray& key);
    // Searches for the catalog and opens it now, unless that was done already; raises the
    // catalog's error when it cannot be used.
    void Open();
    // The open catalog (an empty one when none is open).
    const TMoCatalog& Catalog() const { return catalog_; }
    // The file the open catalog was read from.
    const QString& CatalogPath() const { return catalogPath_; }
    // Stops using the catalog: it is closed and not searched for again until the language or
    // the directory changes.
    void Refuse();

    const QString& Directory() const { return directory_; }
    const QString& DomainName() const { return domainName_; }
    const QStringList& Languages() const { return languages_; }
    bool IsOpen() const { return open_.load(std::memory_order_acquire); }
    bool SearchAllowed() const { return searchAllowed_.load(); }

private:
    void OpenCatalog();
    void CloseCatalog();
    void CloseCatalogLocked();

    QString directory_;
    QString domainName_;
    std::shared_mutex lock_;
    QByteArray bytes_; // the catalog as it was read when it was opened
    QString catalogPath_;
    TMoCatalog catalog_;
    QStringList languages_;
    std::atomic<bool> open_{false};
    std::atomic<bool> searchAllowed_{true};
    const TAssemblyAnalyzer& analyzer_;
};

// A class-wide exclusion of properties from component translation.
struct TClassMode {
    const QMetaObject* Class = nullptr;
    QStringList PropertiesToIgnore; // upper case, sorted, no duplicates
};

class TGnuGettextInstance {
public:
    // executableDirectory ends in "/"; catalogs are searched below its "locale" directory.
    TGnuGettextInstance(const QString& executableDirectory, const TAssemblyAnalyzer& analyzer);
    ~TGnuGettextInstance();

    QString Translate(const QString& msgid);
    QString TranslateInDomain(const QString& domain, const QString& msgid);
    void BindDomainDirectory(const QString& domain, const QString& directory);
    void SetCurrentDomain(const QString& domain);
    // One language for every domain; an empty code chooses from the environment
    // (MessageLanguages).
    void SelectLanguage(const QString& languageCode);
    // Opens the domain's catalog now rather than at its first lookup, and checks that each of
    // its translations can be used (UTF-8, not empty). A catalog that cannot be opened or holds
    // a translation that cannot be used is not used: the domain stays untranslated, and the
    // error's text is returned (for a translation that cannot be used, the file and the lookup
    // error, which names the first such msgid).
    // Empty when the catalog is fine or there is none.
    QString CheckDomain(const QString& domain);

    // The languages searched, in turn; none: untranslated.
    const QStringList& CurrentLanguages() const { return currentLanguages_; }
    const QString& CurrentDomain() const { return currentDomain_; }
    const QString& BaseDirectory() const { return baseDirectory_; }
    // The domain of that name, or nullptr when it has not been used yet.
    TDomain* FindDomain(const QString& name);

    // Component translation: exclusions, and the walk over a tree of objects.
    void TP_Ignore(QObject* unused, const QString& name);
    void TP_GlobalIgnoreClassProperty(const QMetaObject* cls, const QString& propertyName);
    void TranslateComponentTree(QObject* root, const QString& domain = {});
    const std::vector<TClassMode>& ClassRules() const { return classRules_; }
    const QStringList& IgnoreList() const { return ignoreList_; }

private:
    TDomain& FindOrCreateDomain(const QString& name);
    TDomain* FindDomainLocked(const QString& name);

    QStringList currentLanguages_;
    QString currentDomain_;
    QString baseDirectory_;
    const TAssemblyAnalyzer& analyzer_;
    std::mutex registryLock_;
    std::vector<std::pair<QString, std::unique_ptr<TDomain>>> domains_;

    QStringList ignoreList_;
    std::vector<TClassMode> classRules_;
};

// The one translator of the process, from the translation module's start-up to its shutdown.
extern TGnuGettextInstance* GlobalTranslator;

// The text in the current domain, or unchanged when no translator exists.
QString TranslateText(const QString& msgid);

// The languages the user asks for messages in, in the order to search their catalogs, read from
// the environment in the order POSIX and GNU gettext read it. The locale for messages is the
// first of LC_ALL, LC_MESSAGES and LANG that is set and not empty; "C" or "POSIX" there, or no
// locale at all, means untranslated (an empty list). Otherwise LANGUAGE, when set and not empty,
// lists the languages, colon-separated, and an entry "C" or "POSIX" ends the list; without it
// the locale names the one language. Each is cut at "." and "@" (de_DE.UTF-8 and sr_RS@latin
// name de_DE and sr_RS).
QStringList MessageLanguages();

// The offset of the embedded-catalog directory, as recorded in the executable's marker
// (0: nothing embedded).
std::int64_t EmbeddedCatalogOffset();
// The marker's 36 identifying characters; 8 bytes of offset follow them in the executable.
inline constexpr char EmbeddedCatalogMarkerText[] = "6637DB2E-62E1-4A60-AC19-C23867046A89";

// Checks a domain's catalog during the modules' start-up (CheckDomain) and keeps the error, if
// any, for the application to show once its window is on screen. A translation is optional: a
// broken catalog leaves its domain untranslated and never stops the program.
void CheckCatalogAtStartup(const QString& domain);
// The errors kept so far, in the order found; the list is emptied.
QStringList TakeCatalogErrors();

// The translation module's start-up (it checks the current domain's catalog) and shutdown.
void InitializeGnuGettext();
void FinalizeGnuGettext();
// The running executable's path, as the application reports it, recorded at start-up.
const QString& ExecutablePath();
