// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Qt takes its character type from the locale and needs it to be UTF-8. Where it is not (LC_ALL=C,
// as scripts set it to get English output), Qt switches to C.UTF-8 itself, but from Qt 6.8 on it
// says so in four lines on standard error, in every run. Called before the application object
// exists, this makes the same switch quietly: the character type becomes C.UTF-8, every other
// category (the messages' language among them) stays as the environment asks. (Its source is the
// platform's, chosen by the build.)
void UseUtf8CharacterType();
