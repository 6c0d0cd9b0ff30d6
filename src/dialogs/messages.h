#pragma once
// The three ways of telling the user something (all modal, all through prompts()).
#include "common/prompts.h"   // ShowNotice

#include <QString>

ModalResult AskYesNo(const QString &text, const QString &yesLabel, const QString &noLabel,
                     ModalResult defaultChoice, const QString &caption);
bool ShowMessageWindow(const QString &text);

extern QString YesWord;      // "Ja"
extern QString NoWord;       // "Nee"
