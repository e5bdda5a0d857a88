#pragma once

#include "Exception.h"
#include "ResString.h"

// Why a port operation failed. The numbers are part of the port's contract (tests, users'
// reports and translations refer to them).
enum TComErrorReason {
    erOpenFailed = 1,
    erWriteFailed,
    erReadFailed,
    erInvalidAsync,
    erPurgeFailed,
    erAsyncStatus,
    erSetState,
    erSetTimeouts,
    erSetupComm,
    erClearCommError,
    erModemStatus,
    erEscapeFunction,
    erTransmitChar,
    erConnectedProperty,
    erEnumPorts,
    erStoreSettings,
    erLoadSettings,
    erLinkRegistration,
    erLedState,
    erThreadCreated,
    erWaitForEvent,
    erRxBufLinked,
    erRegistry,
};
inline constexpr int ComErrorReasonCount = 23;

// The failure of a serial-port operation: the reason, and the operating system's error number
// of the failed call (-1 when there is none). Its message is the reason's text followed, when a
// system code is carried, by " (win error code: %d)", and by ": " and the detail when the device
// had more to say than the number (a busy port that is the program's own terminal).
class EComPort : public Exception {
public:
    explicit EComPort(int reason, int systemCode = -1, const QString& detail = {});

    int Reason() const noexcept { return reason_; }
    int SystemCode() const noexcept { return systemCode_; }
    const QString& Detail() const noexcept { return detail_; }

private:
    int reason_;
    int systemCode_;
    QString detail_;
};

// The resource string of a reason's text (1..23).
const TResStringRec& ComErrorResString(int reason);

// The text of a reason as messages show it: translated once the serial-port module has started.
QString ComErrorText(int reason);

// Serial-port module start-up: registers the text domain "cport" for library texts and
// translates the 23 reason texts, in reason order.
void InitializeComPortTexts();
void FinalizeComPortTexts();
