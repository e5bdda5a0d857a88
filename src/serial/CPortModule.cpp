// SPDX-License-Identifier: GPL-3.0-or-later
#include "CPortModule.h"

#include "ComThread.h"
#include "EComPort.h"

void InitializeCPort()
{
    InitializeComPortTexts();
}

void FinalizeCPort()
{
    ReapComThreads(true);
    FinalizeComPortTexts();
}
