// SPDX-License-Identifier: GPL-3.0-or-later
#include "Utf8Locale.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <langinfo.h>

void UseUtf8CharacterType()
{
    if (std::setlocale(LC_ALL, "") && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0)
        return;
    // LC_ALL overrides each category's own variable: hand its value to all of them but the
    // character type, so that the language a message is shown in is still the one asked for.
    if (const char* all = std::getenv("LC_ALL"); all && *all) {
        for (const char* category : {"LC_COLLATE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "LC_TIME"})
            setenv(category, all, 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", "C.UTF-8", 1);
    std::setlocale(LC_ALL, "");
}
