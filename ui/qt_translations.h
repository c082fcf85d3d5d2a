// SPDX-License-Identifier: MIT
#pragma once

class QCoreApplication;

namespace kestrin {

// Loads Qt's own Italian texts (the standard buttons of message boxes, the file dialogs) from Qt's
// translations folder, so that they speak the window's language whatever the system's. Returns false,
// changing nothing, when they are not installed (Debian's qt6-translations-l10n holds them): Qt then
// keeps its English texts.
bool InstallItalianQtTranslations(QCoreApplication& application);

} // namespace kestrin
