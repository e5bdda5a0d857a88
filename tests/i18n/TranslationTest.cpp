// SPDX-License-Identifier: GPL-3.0-or-later
// Library texts and component properties in the user's language: the resource-string hook,
// the walk over an object tree, and the program's own Dutch catalogs.

#include "CPortCtl.h"
#include "CPortModule.h"
#include "CPortSetup.h"
#include "EComPort.h"
#include "Exception.h"
#include "GnuGettext.h"
#include "Msgfmt.h"
#include "ResStringHook.h"
#include "SysUtils.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace {

QString Compile(const QString& localeDir, const QString& language, const QString& domain, const QByteArray& entries)
{
    const QString folder = localeDir + u'/' + language + QStringLiteral("/LC_MESSAGES");
    QDir().mkpath(folder);
    const QString source = folder + u'/' + domain + QStringLiteral(".po");
    QFile file(source);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n" + entries);
    file.close();
    const QString target = folder + u'/' + domain + QStringLiteral(".mo");
    Msgfmt(source, target);
    return target;
}

// A translator of the test's own, installed as the process's translator for the test's length:
// catalogs under dir/locale, language "nl".
struct TInstalledTranslator {
    QTemporaryDir Dir;
    TAssemblyAnalyzer Analyzer;
    std::unique_ptr<TGnuGettextInstance> Instance;

    TInstalledTranslator() = default;
    QString Locale() const { return Dir.filePath(QStringLiteral("locale")); }
    void Install()
    {
        Analyzer.Analyze(Dir.filePath(QStringLiteral("program")), 0);
        Instance = std::make_unique<TGnuGettextInstance>(Dir.path() + u'/', Analyzer);
        Instance->SelectLanguage(QStringLiteral("nl"));
        GlobalTranslator = Instance.get();
    }
    ~TInstalledTranslator() { GlobalTranslator = nullptr; }
};

// An object with the kinds of properties a component carries.
class TComponentLike : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QString Fixed READ Fixed)
    Q_PROPERTY(QStringList Lines READ Lines WRITE SetLines)
    Q_PROPERTY(QObject* Buddy READ Buddy WRITE SetBuddy)
    Q_PROPERTY(int Count READ Count WRITE SetCount)

public:
    explicit TComponentLike(const QString& name, QObject* owner = nullptr)
        : QObject(owner)
    {
        setObjectName(name);
    }
    QString Caption() const { return caption_; }
    void SetCaption(const QString& v)
    {
        caption_ = v;
        ++CaptionWrites;
    }
    QString Hint() const { return hint_; }
    void SetHint(const QString& v) { hint_ = v; }
    QString Fixed() const { return QStringLiteral("Caption A"); }
    QStringList Lines() const { return lines_; }
    void SetLines(const QStringList& v)
    {
        lines_ = v;
        ++LineWrites;
    }
    QObject* Buddy() const { return buddy_; }
    void SetBuddy(QObject* v) { buddy_ = v; }
    int Count() const { return 7; }
    void SetCount(int) {}

    int CaptionWrites = 0;
    int LineWrites = 0;

private:
    QString caption_;
    QString hint_;
    QStringList lines_;
    QObject* buddy_ = nullptr;
};

const QByteArray kWalkCatalog = "msgid \"Caption A\"\nmsgstr \"Opschrift A\"\n\n"
                                "msgid \"Caption B\"\nmsgstr \"Opschrift B\"\n\n"
                                "msgid \"Opschrift B\"\nmsgstr \"Opschrift C\"\n\n" // a second visit would show
                                "msgid \"A hint\"\nmsgstr \"Een tip\"\n\n"
                                "msgid \"Same\"\nmsgstr \"Same\"\n\n"
                                "msgid \"Line 1\"\nmsgstr \"Regel 1\"\n\n"
                                "msgid \"Two lines\"\nmsgstr \"Twee\\nregels\"\n\n"
                                "msgid \"Child\"\nmsgstr \"Kind\"\n\n"
                                "msgid \"Root\"\nmsgstr \"Wortel\"\n";

struct TWalk : TInstalledTranslator {
    TComponentLike Root{QStringLiteral("Root")};
    TComponentLike* Child = new TComponentLike(QStringLiteral("Child"), &Root);
    TComponentLike* Unnamed = new TComponentLike(QString(), &Root);
    TComponentLike* Internal = new TComponentLike(QStringLiteral("qt_internal"), &Root);

    TWalk()
    {
        Compile(Locale(), QStringLiteral("nl"), QStringLiteral("forms"), kWalkCatalog);
        Install();
        for (TComponentLike* o : {&Root, Child, Unnamed, Internal})
            o->SetCaption(QStringLiteral("Caption A"));
        Child->SetCaption(QStringLiteral("Caption B"));
        for (TComponentLike* o : {&Root, Child, Unnamed, Internal})
            o->CaptionWrites = 0;
    }
};

} // namespace

TEST(ComponentTranslation, TranslatesTheTreeOnceAndNeverAName)
{
    TWalk w;
    w.Root.SetHint(QStringLiteral("A hint"));
    w.Root.SetBuddy(w.Child); // reachable twice: owned and through a property
    w.Instance->TranslateComponentTree(&w.Root, QStringLiteral("forms"));
    EXPECT_EQ(w.Root.Caption(), QStringLiteral("Opschrift A"));
    EXPECT_EQ(w.Root.Hint(), QStringLiteral("Een tip"));
    EXPECT_EQ(w.Child->Caption(), QStringLiteral("Opschrift B")); // not on to "Opschrift C"
    EXPECT_EQ(w.Child->CaptionWrites, 1);
    EXPECT_EQ(w.Root.objectName(), QStringLiteral("Root")); // the catalog has "Root", names stay
    EXPECT_EQ(w.Child->objectName(), QStringLiteral("Child"));
    EXPECT_EQ(w.Unnamed->Caption(), QStringLiteral("Caption A")); // Qt's own machinery is left alone
    EXPECT_EQ(w.Internal->Caption(), QStringLiteral("Caption A"));
}

TEST(ComponentTranslation, WritesOnlyWhatChangedAndNeverLooksUpAnEmptyText)
{
    TWalk w;
    w.Root.SetCaption(QStringLiteral("Same"));
    w.Root.CaptionWrites = 0;
    w.Child->SetCaption(QString()); // looked up, the empty text would find the catalog's header
    w.Child->CaptionWrites = 0;
    w.Instance->TranslateComponentTree(&w.Root, QStringLiteral("forms"));
    EXPECT_EQ(w.Root.CaptionWrites, 0);
    EXPECT_EQ(w.Child->CaptionWrites, 0);
    EXPECT_EQ(w.Child->Caption(), QString());
}

TEST(ComponentTranslation, AStringListIsRewrittenFromItsTranslatedCopy)
{
    TWalk w;
    w.Root.SetLines({QStringLiteral("Line 1"), QString(), QStringLiteral("Two lines")});
    w.Child->SetLines({QStringLiteral("untranslated")});
    w.Root.LineWrites = w.Child->LineWrites = 0;
    w.Instance->TranslateComponentTree(&w.Root, QStringLiteral("forms"));
    EXPECT_EQ(w.Root.Lines(), (QStringList{"Regel 1", "", "Twee", "regels"}));
    EXPECT_EQ(w.Child->Lines(), QStringList{"untranslated"});
    EXPECT_EQ(w.Child->LineWrites, 1); // even when nothing changed
}

TEST(ComponentTranslation, IgnoredNamesHoldForOneTraversal)
{
    TWalk w;
    w.Instance->TP_Ignore(&w.Root, QStringLiteral(".Caption"));
    w.Instance->TP_Ignore(&w.Root, QStringLiteral("child"));
    w.Instance->TranslateComponentTree(&w.Root, QStringLiteral("forms"));
    EXPECT_EQ(w.Root.Caption(), QStringLiteral("Caption A"));
    EXPECT_EQ(w.Child->Caption(), QStringLiteral("Caption B"));
    EXPECT_TRUE(w.Instance->IgnoreList().isEmpty());
    w.Instance->TranslateComponentTree(&w.Root, QStringLiteral("forms"));
    EXPECT_EQ(w.Root.Caption(), QStringLiteral("Opschrift A"));
    EXPECT_EQ(w.Child->Caption(), QStringLiteral("Opschrift B"));

    TWalk entry;
    entry.Instance->TP_Ignore(&entry.Root, QStringLiteral("CHILD.caption"));
    entry.Instance->TranslateComponentTree(&entry.Root, QStringLiteral("forms"));
    EXPECT_EQ(entry.Child->Caption(), QStringLiteral("Caption B"));
    EXPECT_EQ(entry.Root.Caption(), QStringLiteral("Opschrift A"));
}

TEST(ComponentTranslation, ClassRulesStandBeforeTheirAncestorsAndKeepTheirProperties)
{
    TWalk w;
    w.Root.SetHint(QStringLiteral("A hint"));
    w.Instance->TP_GlobalIgnoreClassProperty(&TComponentLike::staticMetaObject, QStringLiteral("Hint"));
    w.Instance->TP_GlobalIgnoreClassProperty(&TComponentLike::staticMetaObject, QStringLiteral("hint"));
    const auto& rules = w.Instance->ClassRules();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].Class, &TComponentLike::staticMetaObject);
    EXPECT_EQ(rules[0].PropertiesToIgnore, QStringList{"HINT"});
    EXPECT_EQ(rules[1].Class, &QObject::staticMetaObject);
    EXPECT_EQ(rules[1].PropertiesToIgnore, QStringList{"OBJECTNAME"});
    w.Instance->TranslateComponentTree(&w.Root, QStringLiteral("forms"));
    EXPECT_EQ(w.Root.Hint(), QStringLiteral("A hint"));
    EXPECT_EQ(w.Root.Caption(), QStringLiteral("Opschrift A"));
}

TEST(ComponentTranslation, AFailedLookupEndsTheWalkWithTheProperty)
{
    TInstalledTranslator t;
    QDir().mkpath(t.Locale());
    {
        const QString folder = t.Locale() + QStringLiteral("/nl/LC_MESSAGES");
        QDir().mkpath(folder);
        QFile po(folder + QStringLiteral("/forms.po"));
        ASSERT_TRUE(po.open(QIODevice::WriteOnly));
        po.write("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\nmsgid \"Bad\"\nmsgstr \"B\xE4\xE4\"\n");
        po.close();
        Msgfmt(po.fileName(), folder + QStringLiteral("/forms.mo"));
    }
    t.Install();
    TComponentLike root(QStringLiteral("Root"));
    root.SetCaption(QStringLiteral("Bad"));
    t.Instance->TP_Ignore(&root, QStringLiteral("Other"));
    try {
        t.Instance->TranslateComponentTree(&root, QStringLiteral("forms"));
        ADD_FAILURE() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Property cannot be translated.\r\nUse TP_GlobalIgnoreClassProperty("
                                              "TComponentLike,Caption) or\r\nTP_Ignore (self,'.Caption') to prevent "
                                              "this message.\r\nReason: Error: Could not translate Bad. Probably "
                                              "because the mo file doesn't contain utf-8 encoded translations."));
    }
    EXPECT_EQ(t.Instance->IgnoreList(), QStringList{"OTHER"}); // not cleared after a failed walk
}

namespace {
// The resource-string hook in place over a translator of the test's own.
struct THooked : TInstalledTranslator {
    THooked()
    {
        Compile(Locale(), QStringLiteral("nl"), QStringLiteral("default"),
                "msgid \"Shared\"\nmsgstr \"uit default\"\n\n"
                "msgid \"'%s' is not a valid integer value\"\nmsgstr \"'%s' is geen geheel getal\"\n");
        Compile(Locale(), QStringLiteral("nl"), QStringLiteral("cport"),
                "msgid \"Shared\"\nmsgstr \"uit cport\"\n\n"
                "msgid \"Only cport\"\nmsgstr \"alleen cport\"\n\n"
                "msgid \"Literal\"\nmsgstr \"Letterlijk\"\n");
        Install();
        CreateResourceStringDomains();
        AddResourceStringDomain(QStringLiteral("cport"));
        InstallResourceStringHook();
    }
    ~THooked()
    {
        GlobalTranslator = nullptr;
        DestroyResourceStringDomains();
        RemoveResourceStringHook();
    }
};

QString LoadLiteral(const char* text)
{
    const TResStringRec rec{nullptr, reinterpret_cast<std::intptr_t>(text)};
    return LoadResString(&rec);
}
}

TEST(ResourceStringHook, TheFirstDomainThatTranslatesWins)
{
    THooked hooked;
    EXPECT_EQ(LoadLiteral("Shared"), QStringLiteral("uit default"));
    EXPECT_EQ(LoadLiteral("Only cport"), QStringLiteral("alleen cport"));
    EXPECT_EQ(LoadLiteral("Literal"), QStringLiteral("Letterlijk")); // a text named by its address
    EXPECT_EQ(LoadResString(&SInvalidInteger), QStringLiteral("'%s' is geen geheel getal"));
    try {
        StrToInt(QStringLiteral("x1"));
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'x1' is geen geheel getal"));
    }
}

TEST(ResourceStringHook, WithoutACatalogTextsOnlyGainCarriageReturns)
{
    TInstalledTranslator empty;
    empty.Install();
    CreateResourceStringDomains();
    InstallResourceStringHook();
    EXPECT_EQ(LoadResString(&SInvalidInteger), QStringLiteral("'%s' is not a valid integer value"));
    EXPECT_EQ(LoadLiteral("two\nlines"), QStringLiteral("two\r\nlines"));
    EXPECT_EQ(LoadResString(nullptr), QString());
    GlobalTranslator = nullptr;
    DestroyResourceStringDomains();
    RemoveResourceStringHook();
}

TEST(ResourceStringHook, RemovedAtShutdownThePreviousLoaderIsBack)
{
    const TResStringLoader before = ResStringLoaderSlot().load();
    {
        THooked hooked;
        EXPECT_NE(ResStringLoaderSlot().load(), before);
        EXPECT_EQ(LoadLiteral("Shared"), QStringLiteral("uit default"));
    }
    EXPECT_EQ(ResStringLoaderSlot().load(), before);
    EXPECT_EQ(LoadLiteral("Shared"), QStringLiteral("Shared"));
}

TEST(ResourceStringHook, QtsOwnTextsGoThroughTheSameDomains)
{
    THooked hooked;
    Compile(hooked.Locale(), QStringLiteral("nl"), QStringLiteral("default"),
            "msgid \"Cancel\"\nmsgstr \"Annuleren\"\n\nmsgid \"QT_LAYOUT_DIRECTION\"\nmsgstr \"RTL\"\n");
    hooked.Instance->SelectLanguage(QStringLiteral("nl")); // reopen the rewritten catalog
    // Asked in whatever context Qt uses; the layout-direction marker is never translated.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Annuleren"));
    EXPECT_EQ(QCoreApplication::translate("QGnomeTheme", "Cancel"), QStringLiteral("Annuleren"));
    EXPECT_EQ(QCoreApplication::translate("QGuiApplication", "QT_LAYOUT_DIRECTION"), QStringLiteral("QT_LAYOUT_DIRECTION"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Apply"), QStringLiteral("Apply"));
}

TEST(DialogTranslation, WithoutACatalogTheDialogKeepsItsTexts)
{
    TInstalledTranslator empty;
    empty.Install();
    TComSetupFrm dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setup"));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label6"))->text(), QStringLiteral("Flow control"));
    EXPECT_TRUE(empty.Instance->IgnoreList().isEmpty()); // the walk ran to its end
}

TEST(DialogTranslation, TheListsStayAsTheyAreEvenWithCatalogEntriesForTheirItems)
{
    // A catalog that turns each list's chosen value into another value of the same list: a list
    // that was visited would now show that other value.
    QByteArray entries = "msgid \"Parity\"\nmsgstr \"Pariteit\"\n\n";
    QStringList chosen;
    {
        TComSetupFrm untranslated;
        for (int i = 1; i <= 6; ++i) {
            TComComboBox* combo = untranslated.Combo(i);
            chosen << combo->Text();
            if (combo->count() >= 2 && !entries.contains("msgid \"" + combo->Text().toUtf8() + '"'))
                entries += "msgid \"" + combo->Text().toUtf8() + "\"\nmsgstr \"" + combo->itemText(1).toUtf8() + "\"\n\n";
        }
    }
    ASSERT_EQ(chosen[4], QStringLiteral("None"));
    TInstalledTranslator t;
    Compile(t.Locale(), QStringLiteral("nl"), QStringLiteral("cport"), entries);
    t.Install();
    TComSetupFrm dialog;
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label5"))->text(), QStringLiteral("Pariteit"));
    for (int i = 1; i <= 6; ++i)
        EXPECT_EQ(dialog.Combo(i)->Text(), chosen[i - 1]) << "Combo" << i;
    EXPECT_EQ(dialog.Combo(5)->itemText(1), QStringLiteral("Odd"));
}

TEST(ResourceStringHook, TheSerialPortsReasonTextsAreTranslatedOnceInTheCurrentDomain)
{
    // A reason text translated only in "cport" stays as it is, and a translation that is itself
    // a msgid is not translated again.
    TInstalledTranslator t;
    Compile(t.Locale(), QStringLiteral("nl"), QStringLiteral("default"),
            "msgid \"Unable to open com port\"\nmsgstr \"Poort openen mislukt\"\n\n"
            "msgid \"Poort openen mislukt\"\nmsgstr \"twee keer vertaald\"\n\n"
            "msgid \" (win error code: %d)\"\nmsgstr \" (foutcode %d)\"\n");
    Compile(t.Locale(), QStringLiteral("nl"), QStringLiteral("cport"),
            "msgid \"WriteFile function failed\"\nmsgstr \"Schrijven mislukt\"\n");
    t.Install();
    CreateResourceStringDomains();
    InstallResourceStringHook();
    InitializeComPortTexts();
    EXPECT_EQ(ComErrorText(erOpenFailed), QStringLiteral("Poort openen mislukt"));
    EXPECT_EQ(ComErrorText(erWriteFailed), QStringLiteral("WriteFile function failed"));
    EXPECT_EQ(EComPort(erOpenFailed, 5).Message(), QStringLiteral("Poort openen mislukt (foutcode 5)"));
    EXPECT_EQ(EComPort(erWriteFailed).Message(), QStringLiteral("WriteFile function failed"));
    FinalizeComPortTexts();
    GlobalTranslator = nullptr;
    DestroyResourceStringDomains();
    RemoveResourceStringHook();
}

namespace {
// The language settings for the length of a test: LANG as given, and none of the variables that
// come before it, whatever the developer's own settings.
struct TLanguage {
    std::vector<std::pair<const char*, std::optional<QByteArray>>> Saved;
    explicit TLanguage(const char* lang)
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            Set(name, nullptr);
        Set("LANG", lang);
    }
    void Set(const char* name, const char* value)
    {
        Saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~TLanguage()
    {
        for (auto it = Saved.rbegin(); it != Saved.rend(); ++it) {
            if (it->second)
                qputenv(it->first, *it->second);
            else
                qunsetenv(it->first);
        }
    }
};
}

TEST(ShippedCatalogs, TheDialogTheErrorsAndTheButtonsSpeakDutchUnlessLcAllSaysC)
{
    TLanguage dutch("nl_NL.UTF-8");
    // LC_ALL=C (as a script sets it for output it can read) means English, whatever LANG says;
    // the start-up both programs share decides so.
    dutch.Set("LC_ALL", "C");
    InitializeGnuGettext();
    InitializeCPort();
    EXPECT_EQ(EComPort(erOpenFailed, 2).Message(), QStringLiteral("Unable to open com port (win error code: 2)"));
    {
        QMessageBox english(QMessageBox::Critical, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Cancel);
        EXPECT_EQ(english.button(QMessageBox::Cancel)->text(), QStringLiteral("Cancel"));
    }
    FinalizeCPort();
    FinalizeGnuGettext();

    dutch.Set("LC_ALL", nullptr);
    InitializeGnuGettext(); // finds locale/ beside this test program, as the program does
    InitializeCPort();
    {
        TComSetupFrm dialog;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Poortinstellingen"));
        EXPECT_EQ(dialog.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title(), QStringLiteral(" Instellingen "));
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Poort"));
        EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("Button2"))->text(), QStringLiteral("Annuleren"));
        EXPECT_EQ(dialog.Combo(5)->itemText(0), QStringLiteral("None"));
        EXPECT_EQ(dialog.Combo(6)->itemText(0), QStringLiteral("Hardware"));
    }
    EXPECT_EQ(EComPort(erOpenFailed, 2).Message(), QStringLiteral("Kan de seriële poort niet openen (foutcode 2)"));
    EXPECT_EQ(EComPort(erLinkRegistration).Message(), QStringLiteral("Aan- of afmelden van de koppeling mislukt"));
    QMessageBox box(QMessageBox::Critical, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Annuleren"));

    FinalizeCPort();
    FinalizeGnuGettext();
    EXPECT_EQ(EComPort(erOpenFailed, 2).Message(), QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_EQ(LoadResString(&SInvalidInteger), QStringLiteral("'%s' is not a valid integer value"));
}

namespace {
// Catalogs of a language of the test's own beside this test program, where the start-up looks
// for them; removed after the test.
struct TCatalogsBesideTheProgram {
    TLanguage Language{"zz.UTF-8"};
    QString Locale = QCoreApplication::applicationDirPath() + QStringLiteral("/locale");
    ~TCatalogsBesideTheProgram() { QDir(Locale + QStringLiteral("/zz")).removeRecursively(); }

    // Compiles a whole .po text, header included.
    QString Put(const QString& domain, const QByteArray& po)
    {
        const QString folder = Locale + QStringLiteral("/zz/LC_MESSAGES");
        QDir().mkpath(folder);
        QFile source(folder + u'/' + domain + QStringLiteral(".po"));
        EXPECT_TRUE(source.open(QIODevice::WriteOnly));
        source.write(po);
        source.close();
        const QString target = folder + u'/' + domain + QStringLiteral(".mo");
        Msgfmt(source.fileName(), target);
        return target;
    }
};
}

TEST(CatalogsAtStartUp, ABrokenCatalogIsReportedOnceAndLeavesOnlyItsDomainUntranslated)
{
    const QByteArray utf8 = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    const QByteArray latin1 = "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=ISO-8859-1\\n\"\n\n";
    const QByteArray defaultEntries = "msgid \" (win error code: %d)\"\nmsgstr \" (foutcode %d)\"\n\n"
                                      "msgid \"Unable to open com port\"\nmsgstr \"Kan de poort niet openen\"\n";
    const QByteArray cportEntries = "msgid \"Port\"\nmsgstr \"Poort\"\n\n"
                                    "msgid \"Setup\"\nmsgstr \"Poortinstellingen\"\n";
    const QString notUtf8 = QStringLiteral("Error: Could not translate %1. Probably because the mo file doesn't contain "
                                           "utf-8 encoded translations.");
    for (const QString& broken : {QStringLiteral("default"), QStringLiteral("cport")}) {
        for (const bool wrongMagic : {true, false}) {
            SCOPED_TRACE(broken.toStdString() + (wrongMagic ? ", wrong magic" : ", not UTF-8"));
            TCatalogsBesideTheProgram catalogs;
            catalogs.Put(QStringLiteral("default"), utf8 + defaultEntries);
            catalogs.Put(QStringLiteral("cport"), utf8 + cportEntries);
            QString error;
            if (wrongMagic) {
                const QString path = catalogs.Locale + QStringLiteral("/zz/LC_MESSAGES/") + broken + QStringLiteral(".mo");
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                file.write("not a catalog");
                error = QStringLiteral("This file is not a valid GNU gettext mo file: ") + path;
            } else if (broken == u"default") {
                catalogs.Put(broken, latin1 + defaultEntries + "\nmsgid \"Port\"\nmsgstr \"Po\xEBrt\"\n");
                error = notUtf8.arg(QStringLiteral("Port"));
            } else {
                catalogs.Put(broken, latin1 + cportEntries + "\nmsgid \"Parity\"\nmsgstr \"Parit\xE9it\"\n");
                error = notUtf8.arg(QStringLiteral("Parity"));
            }
            if (!wrongMagic) // the file, then the lookup's own text
                error = catalogs.Locale + QStringLiteral("/zz/LC_MESSAGES/") + broken + QStringLiteral(".mo: ") + error;

            InitializeGnuGettext();
            InitializeCPort();
            EXPECT_EQ(TakeCatalogErrors(), QStringList{error});
            // Untranslated where the catalog failed, translated where it did not, and no later
            // use of either domain fails.
            EXPECT_NO_THROW({
                TComSetupFrm dialog;
                EXPECT_EQ(dialog.windowTitle(), broken == u"cport" ? QStringLiteral("Setup") : QStringLiteral("Poortinstellingen"));
            });
            EXPECT_EQ(EComPort(erOpenFailed, 2).Message(), broken == u"default"
                                                              ? QStringLiteral("Unable to open com port (win error code: 2)")
                                                              : QStringLiteral("Kan de poort niet openen (foutcode 2)"));
            EXPECT_NO_THROW(LoadResString(&SInvalidInteger));
            EXPECT_NO_THROW(QMessageBox(QMessageBox::Critical, QStringLiteral("t"), QStringLiteral("x"), QMessageBox::Ok));
            EXPECT_TRUE(TakeCatalogErrors().isEmpty());
            FinalizeCPort();
            FinalizeGnuGettext();
        }
    }
}

TEST(ShippedCatalogs, TheTemplatesHoldEveryTranslatableTextAndDutchTranslatesThemAll)
{
    const auto msgids = [](const QString& file) {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
        QStringList ids;
        const QRegularExpression entry(QStringLiteral("^msgid \"(.*)\"$"), QRegularExpression::MultilineOption);
        for (auto m = entry.globalMatch(QString::fromUtf8(f.readAll())); m.hasNext();) {
            const QString id = m.next().captured(1);
            if (!id.isEmpty())
                ids << QString(id).replace(QStringLiteral("\\\""), QStringLiteral("\""));
        }
        return ids;
    };
    const QString po = QStringLiteral(SENTRAX_PO_DIR);
    const QStringList cport = msgids(po + QStringLiteral("/cport.pot"));
    const QStringList base = msgids(po + QStringLiteral("/default.pot"));
    for (int reason = 1; reason <= ComErrorReasonCount; ++reason)
        EXPECT_TRUE(base.contains(ComErrorText(reason))) << ComErrorText(reason).toStdString();
    TComSetupFrm dialog;
    QStringList captions{dialog.windowTitle(), dialog.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title()};
    for (QLabel* label : dialog.findChildren<QLabel*>())
        captions << label->text();
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        captions << button->text();
    for (const QString& caption : captions)
        EXPECT_TRUE(cport.contains(caption)) << caption.toStdString();
    EXPECT_TRUE(base.contains(LoadResString(&SInvalidInteger)));
    EXPECT_TRUE(base.contains(QStringLiteral(" (win error code: %d)")));
    EXPECT_EQ(msgids(po + QStringLiteral("/cport.nl.po")), cport);
    EXPECT_EQ(msgids(po + QStringLiteral("/default.nl.po")), base);
}

#include "TranslationTest.moc"
