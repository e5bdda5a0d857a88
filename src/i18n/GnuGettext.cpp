// SPDX-License-Identifier: GPL-3.0-or-later
#include "GnuGettext.h"

#include "Exception.h"
#include "FileBytes.h"
#include "Format.h"
#include "ResStringHook.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaObject>
#include <QObject>
#include <QStringEncoder>
#include <QVarLengthArray>

#include <algorithm>
#include <span>
#include <utility>

TGnuGettextInstance* GlobalTranslator = nullptr;

// The embedded-catalog marker: the identifying text and 8 bytes of little-endian file offset,
// which a tool that appends catalogs to the built executable patches in the file. Volatile and
// "used", so that neither the compiler nor the linker can drop it or fold the offset to zero.
extern "C" {
__attribute__((used)) volatile const char SentraxEmbeddedCatalogMarker[44] =
    "6637DB2E-62E1-4A60-AC19-C23867046A89\0\0\0\0\0\0\0";
}

std::int64_t EmbeddedCatalogOffset()
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(SentraxEmbeddedCatalogMarker[36 + i]);
    return static_cast<std::int64_t>(value);
}


// --- Embedded catalogs ------------------------------------------------------------------------

void TAssemblyAnalyzer::Analyze(const QString& executable, std::int64_t directoryOffset)
{
    entries_.clear();
    executable_ = executable;
    baseDirectory_ = QFileInfo(executable).absolutePath() + u'/';
    if (directoryOffset == 0)
        return;
    // The directory runs from its offset to the end of the file (the catalogs may lie anywhere).
    const TFileBytes file = ReadFileBytes(executable, directoryOffset);
    if (file.Status != TFileBytes::Read)
        return;
    const std::span directory(reinterpret_cast<const unsigned char*>(file.Bytes.constData()), std::size_t(file.Bytes.size()));
    for (const TEmbeddedEntry& entry : ReadEmbeddedDirectory(directory, directoryOffset, file.FileSize)) {
        const QString name = QString::fromUtf8(entry.Name);
        if (!entries_.emplace(name.toUpper(), std::pair(name, TAssemblyFileInfo{entry.Offset, entry.Size})).second)
            break; // a repeated name ends the directory
    }
}

bool TAssemblyAnalyzer::Relative(const QString& path, QString& relative) const
{
    if (!baseDirectory_.isEmpty() && path.startsWith(baseDirectory_, Qt::CaseSensitive)) {
        relative = path.mid(baseDirectory_.size());
        return true;
    }
    relative = path;
    return false;
}

bool TAssemblyAnalyzer::Contains(const QString& path) const
{
    QString relative;
    Relative(path, relative);
    return entries_.count(relative.toUpper()) != 0;
}

TAssemblyAnalyzer::TLocation TAssemblyAnalyzer::Locate(const QString& path) const
{
    QString relative;
    if (Relative(path, relative)) {
        const auto it = entries_.find(relative.toUpper());
        if (it != entries_.end())
            return {executable_, it->second.second.Offset, it->second.second.Size};
    }
    return {path, 0, 0};
}

QStringList TAssemblyAnalyzer::Paths() const
{
    QStringList paths;
    for (const auto& [key, entry] : entries_)
        paths << entry.first;
    return paths;
}

// --- Domains ----------------------------------------------------------------------------------

TDomain::TDomain(QString directory, QString domainName, QStringList languages, const TAssemblyAnalyzer& analyzer)
    : directory_(std::move(directory))
    , domainName_(std::move(domainName))
    , languages_(std::move(languages))
    , analyzer_(analyzer)
{
}

TDomain::~TDomain()
{
    CloseCatalog();
}

void TDomain::SetDirectory(const QString& directory)
{
    directory_ = directory.endsWith(u'/') ? directory : directory + u'/';
    CloseCatalog();
}

void TDomain::SetLanguages(const QStringList& languages)
{
    CloseCatalog();
    languages_ = languages;
}

void TDomain::CloseCatalog()
{
    std::unique_lock lock(lock_);
    CloseCatalogLocked();
    searchAllowed_ = true;
}

void TDomain::CloseCatalogLocked()
{
    open_.store(false, std::memory_order_release);
    catalog_ = TMoCatalog();
    bytes_.clear();
}

void TDomain::Refuse()
{
    std::unique_lock lock(lock_);
    CloseCatalogLocked();
    searchAllowed_ = false;
}

void TDomain::OpenCatalog()
{
    std::unique_lock lock(lock_);
    // Another thread may have opened it, or found nothing, while this one waited for the lock.
    if (open_.load() || !searchAllowed_.load())
        return;

    const auto catalogPath = [this](const QString& language) {
        return directory_ + language + QStringLiteral("/LC_MESSAGES/") + domainName_ + QStringLiteral(".mo");
    };
    const auto present = [this](const QString& path) {
        return analyzer_.Contains(path) || QFileInfo(path).isFile();
    };
    // The first language with a catalog, under its whole name or its two-letter language.
    QString path;
    for (const QString& language : std::as_const(languages_)) {
        for (const QString& name : {language, language.left(2)}) {
            if (present(catalogPath(name))) {
                path = catalogPath(name);
                break;
            }
        }
        if (!path.isEmpty())
            break;
    }
    if (path.isEmpty()) {
        searchAllowed_ = false;
        return;
    }

    const TAssemblyAnalyzer::TLocation location = analyzer_.Locate(path);
    // A catalog that fails to open is not searched again until the language or the directory
    // changes: the error is reported once, then texts stay untranslated.
    const auto fail = [this](const QString& message) {
        CloseCatalogLocked();
        searchAllowed_ = false;
        throw Exception(message);
    };

    // A catalog inside the executable is its slice of that file.
    const bool embedded = location.File != path;
    TFileBytes file = ReadFileBytes(location.File, location.Offset, embedded ? location.Size : -1);
    switch (file.Status) {
    case TFileBytes::Read:
        break;
    case TFileBytes::CannotOpen:
        fail(QStringLiteral("Cannot open file ") + location.File);
        break;
    case TFileBytes::EmptyFile:
        fail(QStringLiteral("Cannot create memory map on file ") + location.File);
        break;
    case TFileBytes::ReadFailed:
        fail(QStringLiteral("Cannot map file ") + location.File + QStringLiteral(" into memory. Reason: ")
             + file.Reason.left(2000));
        break;
    }
    bytes_ = std::move(file.Bytes);
    if (!catalog_.Open(reinterpret_cast<const unsigned char*>(bytes_.constData()), std::uint64_t(bytes_.size())))
        fail(QStringLiteral("This file is not a valid GNU gettext mo file: ") + location.File);
    catalogPath_ = location.File;
    open_.store(true, std::memory_order_release);
}

void TDomain::Open()
{
    if (!open_.load(std::memory_order_acquire) && searchAllowed_.load())
        OpenCatalog();
}

QByteArray TDomain::Lookup(const QByteArray& key)
{
    const QByteArrayView found = Find(key);
    return found.data() == key.constData() ? key : found.toByteArray();
}

QByteArrayView TDomain::Find(const QByteArray& key)
{
    Open();
    if (!open_.load(std::memory_order_acquire))
        return key;
    return catalog_.Find(key);
}

// --- The translator ---------------------------------------------------------------------------

namespace {
// A found text decoded from UTF-8; empty when it is no valid UTF-8. Decoding replaces a broken
// sequence by U+FFFD; one the text did not spell out itself means the text is no valid UTF-8.
// (One pass instead of checking first and decoding after.)
QString DecodeFound(QByteArrayView text)
{
    QString result = QString::fromUtf8(text);
    if (result.contains(QChar::ReplacementCharacter) && !(text.contains("\xEF\xBF\xBD") && text.isValidUtf8()))
        result.clear();
    return result;
}

QString CouldNotTranslate(const QString& msgid)
{
    return FormatText(QStringLiteral("Error: Could not translate %s. Probably because the mo "
                                     "file doesn't contain utf-8 encoded translations."),
                      {msgid});
}
}

TGnuGettextInstance::TGnuGettextInstance(const QString& executableDirectory, const TAssemblyAnalyzer& analyzer)
    : currentDomain_(QStringLiteral("default"))
    , baseDirectory_(executableDirectory + QStringLiteral("locale"))
    , analyzer_(analyzer)
{
    SelectLanguage({});
    BindDomainDirectory(QStringLiteral("default"), baseDirectory_);
    SetCurrentDomain(QStringLiteral("default"));
    // The object's name identifies it; it is never an interface text.
    TP_GlobalIgnoreClassProperty(&QObject::staticMetaObject, QStringLiteral("objectName"));
}

TGnuGettextInstance::~TGnuGettextInstance() = default;

TDomain* TGnuGettextInstance::FindDomainLocked(const QString& name)
{
    // Names are compared ignoring case.
    const auto it = std::find_if(domains_.begin(), domains_.end(), [&](const auto& entry) {
        return entry.first.compare(name, Qt::CaseInsensitive) == 0;
    });
    return it == domains_.end() ? nullptr : it->second.get();
}

TDomain* TGnuGettextInstance::FindDomain(const QString& name)
{
    std::lock_guard lock(registryLock_);
    return FindDomainLocked(name);
}

TDomain& TGnuGettextInstance::FindOrCreateDomain(const QString& name)
{
    std::lock_guard lock(registryLock_);
    if (TDomain* domain = FindDomainLocked(name))
        return *domain;
    domains_.emplace_back(name, std::make_unique<TDomain>(baseDirectory_ + u'/', name, currentLanguages_, analyzer_));
    return *domains_.back().second;
}

QString TGnuGettextInstance::Translate(const QString& msgid)
{
    return TranslateInDomain(currentDomain_, msgid);
}

QString TGnuGettextInstance::TranslateInDomain(const QString& domain, const QString& msgid)
{
    TDomain& target = FindOrCreateDomain(domain);
    QString key = msgid;
    if (key.contains(u'\r'))
        key.remove(u'\r');
    // The key in UTF-8, on the stack when it is short (most interface texts are).
    QVarLengthArray<char, 768> buffer(key.size() * 3);
    QStringEncoder encoder(QStringEncoder::Utf8);
    const QByteArray utf8Key = QByteArray::fromRawData(buffer.data(), encoder.appendToBuffer(buffer.data(), key) - buffer.data());
    const QByteArrayView found = target.Find(utf8Key);

    // Catalogs hold bare line feeds; the interface wants carriage-return line-feed pairs.
    QByteArrayView text = found;
    QByteArray expanded;
    if (found.contains('\n')) {
        expanded.reserve(found.size() + found.count('\n'));
        qsizetype from = 0;
        for (qsizetype at = found.indexOf('\n'); at >= 0; at = found.indexOf('\n', at + 1)) {
            expanded.append(found.sliced(from, at - from));
            if (at == 0 || found[at - 1] != '\r')
                expanded.append('\r');
            from = at;
        }
        expanded.append(found.sliced(from));
        text = expanded;
    }
    QString result = DecodeFound(text);
    if (!msgid.isEmpty() && result.isEmpty())
        throw Exception(CouldNotTranslate(msgid));
    return result;
}

QString TGnuGettextInstance::CheckDomain(const QString& domain)
{
    TDomain& target = FindOrCreateDomain(domain);
    try {
        target.Open();
    } catch (const Exception& error) {
        return error.Message(); // the domain has refused the catalog already
    }
    if (!target.IsOpen())
        return {};
    // Every entry a lookup would fail on, as TranslateInDomain decides it (the empty msgid is the
    // header, which never fails), and every entry whose texts lie outside the catalog.
    const TMoCatalog& catalog = target.Catalog();
    for (std::uint32_t i = 0; i < catalog.Count(); ++i) {
        QByteArrayView msgid;
        QByteArrayView translation;
        if (!catalog.Entry(i, msgid, translation)) {
            // Its texts run past its end: a catalog cut short, which would translate some
            // texts and silently not others.
            const QString message = QStringLiteral("This file is not a valid GNU gettext mo file: ") + target.CatalogPath();
            target.Refuse();
            return message;
        }
        if (msgid.isEmpty() || !DecodeFound(translation).isEmpty())
            continue;
        // The lookup's own text names the entry, not the file: the file goes in front.
        const QString message = target.CatalogPath() + QStringLiteral(": ") + CouldNotTranslate(QString::fromUtf8(msgid));
        target.Refuse();
        return message;
    }
    return {};
}

void TGnuGettextInstance::BindDomainDirectory(const QString& domain, const QString& directory)
{
    const QString withDelimiter = directory.endsWith(u'/') ? directory : directory + u'/';
    FindOrCreateDomain(domain).SetDirectory(withDelimiter);
}

void TGnuGettextInstance::SetCurrentDomain(const QString& domain)
{
    currentDomain_ = domain;
}

void TGnuGettextInstance::SelectLanguage(const QString& languageCode)
{
    currentLanguages_ = languageCode.isEmpty() ? MessageLanguages() : QStringList{languageCode};
    std::lock_guard lock(registryLock_);
    for (auto& [name, domain] : domains_)
        domain->SetLanguages(currentLanguages_);
}

namespace {
// A locale's language: its name without an encoding (".UTF-8") or a modifier ("@latin").
QString LanguageOf(QString locale)
{
    for (const QChar end : {u'.', u'@'}) {
        const qsizetype cut = locale.indexOf(end);
        if (cut >= 0)
            locale.truncate(cut);
    }
    return locale;
}

bool IsUntranslated(const QString& language)
{
    return language == u"C" || language == u"POSIX";
}
}

QStringList MessageLanguages()
{
    QString locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = qEnvironmentVariable(variable);
        if (!locale.isEmpty())
            break;
    }
    const QString language = LanguageOf(locale);
    if (language.isEmpty() || IsUntranslated(language))
        return {};
    const QString list = qEnvironmentVariable("LANGUAGE");
    if (list.isEmpty())
        return {language};
    QStringList languages;
    for (const QString& entry : list.split(u':', Qt::SkipEmptyParts)) {
        const QString listed = LanguageOf(entry);
        if (IsUntranslated(listed))
            break;
        if (!listed.isEmpty())
            languages << listed;
    }
    return languages;
}

QString TranslateText(const QString& msgid)
{
    return GlobalTranslator ? GlobalTranslator->Translate(msgid) : msgid;
}

// --- Module start-up and shutdown -------------------------------------------------------------

namespace {
QString& RecordedExecutablePath()
{
    static QString path;
    return path;
}
QStringList& CatalogErrors()
{
    static QStringList errors;
    return errors;
}
std::unique_ptr<TAssemblyAnalyzer>& Analyzer()
{
    static std::unique_ptr<TAssemblyAnalyzer> analyzer;
    return analyzer;
}
}

const QString& ExecutablePath()
{
    return RecordedExecutablePath();
}

void CheckCatalogAtStartup(const QString& domain)
{
    if (!GlobalTranslator)
        return;
    const QString error = GlobalTranslator->CheckDomain(domain);
    if (!error.isEmpty())
        CatalogErrors() << error;
}

QStringList TakeCatalogErrors()
{
    return std::exchange(CatalogErrors(), {});
}

void InitializeGnuGettext()
{
    RecordedExecutablePath() = QCoreApplication::applicationFilePath();
    Analyzer() = std::make_unique<TAssemblyAnalyzer>();
    Analyzer()->Analyze(RecordedExecutablePath(), EmbeddedCatalogOffset());
    CreateResourceStringDomains();
    GlobalTranslator = new TGnuGettextInstance(QFileInfo(RecordedExecutablePath()).absolutePath() + u'/', *Analyzer());
    InstallResourceStringHook();
    CheckCatalogAtStartup(GlobalTranslator->CurrentDomain());
}

void FinalizeGnuGettext()
{
    delete GlobalTranslator;
    GlobalTranslator = nullptr;
    DestroyResourceStringDomains();
    RemoveResourceStringHook();
    Analyzer().reset();
    RecordedExecutablePath().clear();
    CatalogErrors().clear();
}
