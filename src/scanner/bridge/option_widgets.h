#pragma once
// One small widget per SANE option type, bound both ways to the device.
#include "scanner/bridge/sane_wrapper.h"

#include <QWidget>

#include <functional>

// Called after every value the device accepted, with the info bits it returned.
using OptionChanged = std::function<void(SANE_Int info)>;

// A widget for option `index`, or nullptr for options that are not shown
// (inactive, groups, arrays, unknown types).
QWidget *MakeOptionWidget(SaneDevice &dev, SANE_Int index, const OptionChanged &changed, QWidget *parent);

// " mm", " dpi" and so on.
QString UnitSuffix(SANE_Unit unit);
