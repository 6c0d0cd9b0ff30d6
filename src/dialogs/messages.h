#pragma once
// The three ways of telling the user something (all modal, all through prompts()).
#include <QString>

int ShowNotice(const QString &text);
int AskYesNo(const QString &text, const QString &yesLabel, const QString &noLabel,
             int defaultChoice, const QString &caption);
bool ShowMessageWindow(const QString &text);

extern QString YesWord;      // "Ja"
extern QString NoWord;       // "Nee"
extern QString NoticeCaption; // "Mededeling"
