#pragma once
// Window placement in the settings list, and keeping forms on the screen.
#include <QString>

class QRect;
class QWidget;
class SettingsList;

void StorePlacement(const QWidget *control, SettingsList &settings, const QString &prefix = {});
void RestorePlacement(QWidget *control, const SettingsList &settings, const QString &prefix = {});
void FitFormOnScreen(QWidget *form);
// Same rule against a given screen rectangle and bottom reserve (task bar height).
void FitFormOnScreen(QWidget *form, const QRect &screen, int reserve);
bool TaskbarAutoHides();
int TaskbarHeight();
int TaskbarWidth();
