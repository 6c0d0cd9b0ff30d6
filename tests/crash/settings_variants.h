#pragma once
// The two settings files the crash writer alternates between: a reader must
// always find one or the other.
#include "common/settings_list.h"

inline SettingsList SettingsVariant(int v)
{
    SettingsList s;
    for (int i = 0; i < (v ? 400 : 150); ++i)
        s.setValue(QString("key%1").arg(i), QString("value-%1-%2").arg(v).arg(i));
    return s;
}
