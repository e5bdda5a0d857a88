// SPDX-License-Identifier: GPL-3.0-or-later
#include "ResStringHook.h"

#include "GnuGettext.h"

#include <QCoreApplication>
#include <QTranslator>

#include <memory>
#include <shared_mutex>

namespace {

// The domains library texts are looked up in, in order, and the lock that guards the list.
struct TResourceStringDomains {
    std::shared_mutex Lock;
    QStringList Names;
};
std::atomic<TResourceStringDomains*> gDomains{nullptr};
std::unique_ptr<THook> gHook;

// Qt's own interface texts (message-box and dialog buttons and the like) reach the same lookup.
// Qt asks for one text in several contexts (each desktop theme has its own), so the context is
// not part of the key.
class TResourceStringTranslator final : public QTranslator {
public:
    // Qt sends the language-change event only for translators that claim to hold something.
    bool isEmpty() const override { return false; }

    QString translate(const char* /*context*/, const char* sourceText, const char* /*disambiguation*/,
                      int /*n*/) const override
    {
        // Qt asks for this key to learn the layout direction; a translation would flip it.
        if (!sourceText || !*sourceText || qstrcmp(sourceText, "QT_LAYOUT_DIRECTION") == 0)
            return {};
        const QString source = QString::fromUtf8(sourceText);
        try {
            QString translated = TranslateResourceString(source);
            translated.remove(u'\r'); // Qt's texts use bare line feeds
            return translated == QString(source).remove(u'\r') ? QString() : translated;
        } catch (...) {
            // A broken catalog: Qt's text stays as it is. Nothing may unwind into Qt.
            return {};
        }
    }
};
std::unique_ptr<TResourceStringTranslator> gQtTranslator;

} // namespace

THook::THook(std::atomic<TResStringLoader>& slot, TResStringLoader replacement)
    : slot_(slot)
    , patch_(replacement)
    , displaced_(slot.load())
{
    Enable();
}

THook::~THook()
{
    Disable();
}

void THook::Enable()
{
    slot_.store(patch_, std::memory_order_release);
}

void THook::Disable()
{
    slot_.store(displaced_, std::memory_order_release);
}

QString LoadResStringTranslated(const TResStringRec* rec)
{
    if (!rec)
        return {};
    return TranslateResourceString(LoadResStringUntranslated(rec));
}

QString TranslateResourceString(const QString& text)
{
    TResourceStringDomains* domains = gDomains.load(std::memory_order_acquire);
    if (!domains || !GlobalTranslator)
        return text;
    std::shared_lock lock(domains->Lock);
    QString result = text;
    for (const QString& name : domains->Names) {
        result = GlobalTranslator->TranslateInDomain(name, text);
        if (result != text)
            break;
    }
    return result;
}

void AddResourceStringDomain(const QString& name)
{
    TResourceStringDomains* domains = gDomains.load(std::memory_order_acquire);
    if (!domains)
        return; // no translation module running: library texts stay as they are
    std::unique_lock lock(domains->Lock);
    domains->Names << name;
}

void CreateResourceStringDomains()
{
    auto* domains = new TResourceStringDomains;
    domains->Names << QStringLiteral("default");
    delete gDomains.exchange(domains);
}

void DestroyResourceStringDomains()
{
    delete gDomains.exchange(nullptr);
}

void InstallResourceStringHook()
{
    gHook = std::make_unique<THook>(ResStringLoaderSlot(), &LoadResStringTranslated);
    if (QCoreApplication::instance()) {
        gQtTranslator = std::make_unique<TResourceStringTranslator>();
        QCoreApplication::installTranslator(gQtTranslator.get());
    }
}

void RemoveResourceStringHook()
{
    if (gQtTranslator && QCoreApplication::instance())
        QCoreApplication::removeTranslator(gQtTranslator.get());
    gQtTranslator.reset();
    gHook.reset();
}
