#pragma once

// Loads the toolkit's own Chinese texts (Debian's qt6-translations-l10n), so that message box
// buttons read 是, 否 and 确定 like the rest of the window. False when they are not installed;
// the buttons then stay in English.
bool loadToolkitTranslations();
