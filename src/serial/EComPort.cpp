#include "EComPort.h"

#include "Format.h"
#include "GnuGettext.h"
#include "ResStringHook.h"

#include <QString>

#include <array>

namespace {
const TStringTableEntry kComPortStrings[] = {
    {1, "Unable to open com port"},
    {2, "WriteFile function failed"},
    {3, "ReadFile function failed"},
    {4, "Invalid Async parameter"},
    {5, "PurgeComm function failed"},
    {6, "Unable to get async status"},
    {7, "SetCommState function failed"},
    {8, "SetCommTimeouts failed"},
    {9, "SetupComm function failed"},
    {10, "ClearCommError function failed"},
    {11, "GetCommModemStatus function failed"},
    {12, "EscapeCommFunction function failed"},
    {13, "TransmitCommChar function failed"},
    {14, "Cannot set property while connected"},
    {15, "EnumPorts function failed"},
    {16, "Failed to store settings"},
    {17, "Failed to load settings"},
    {18, "Link (un)registration failed"},
    {19, "Cannot change led state if ComPort is selected"},
    {20, "Cannot wait for event if event thread is created"},
    {21, "WaitForEvent method failed"},
    {22, "A component is linked to OnRxBuf event"},
    {23, "Registry error"},
};
const TResourceModule kComPortModule{"cport", kComPortStrings, ComErrorReasonCount};

const char* const kErrorCodeSuffix = " (win error code: %d)";

constexpr auto kReasonRecords = [] {
    std::array<TResStringRec, ComErrorReasonCount + 1> records{};
    for (int i = 1; i <= ComErrorReasonCount; ++i)
        records[i] = TResStringRec{&kComPortModule, i};
    return records;
}();

// The reason texts in the interface language, filled by the module's start-up.
std::array<QString, ComErrorReasonCount + 1>& TranslatedTexts()
{
    static std::array<QString, ComErrorReasonCount + 1> texts;
    return texts;
}

bool ValidReason(int reason)
{
    return reason >= 1 && reason <= ComErrorReasonCount;
}
}

const TResStringRec& ComErrorResString(int reason)
{
    return kReasonRecords[ValidReason(reason) ? reason : 0];
}

QString ComErrorText(int reason)
{
    if (!ValidReason(reason))
        return {};
    const QString& translated = TranslatedTexts()[reason];
    return translated.isNull() ? LoadResString(&kReasonRecords[reason]) : translated;
}

namespace {
QString ComposeMessage(int reason, int systemCode, const QString& detail)
{
    QString message = ComErrorText(reason);
    if (systemCode != -1) {
        message += FormatText(TranslateText(QString::fromLatin1(kErrorCodeSuffix)),
                              {QString::number(systemCode)});
    }
    if (!detail.isEmpty())
        message += QStringLiteral(": ") + detail;
    return message;
}
}

EComPort::EComPort(int reason, int systemCode, const QString& detail)
    : Exception(ComposeMessage(reason, systemCode, detail))
    , reason_(reason)
    , systemCode_(systemCode)
    , detail_(detail)
{
}

void InitializeComPortTexts()
{
    AddResourceStringDomain(QStringLiteral("cport"));
    // The settings dialog and library texts look "cport" up: a catalog that cannot be used is
    // found now, and reported once, rather than failing each of those later.
    CheckCatalogAtStartup(QStringLiteral("cport"));
    // Each text once, in the current domain: loading it through the resource-string hook first
    // would translate it twice, and in "cport" too.
    auto& texts = TranslatedTexts();
    for (int reason = 1; reason <= ComErrorReasonCount; ++reason)
        texts[reason] = TranslateText(LoadResStringUntranslated(&kReasonRecords[reason]));
}

void FinalizeComPortTexts()
{
    TranslatedTexts().fill(QString());
}
