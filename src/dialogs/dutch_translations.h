#pragma once
// Qt's own dialog texts (Ja/Nee, file and colour dialogs) in Dutch.

// Loads Qt's Dutch catalogue into the application and makes Dutch the default
// locale, whatever the system's: the program's own texts are Dutch. Returns false when the catalogue
// is not installed (the dialogs then keep Qt's English).
bool InstallDutchTranslations();
