#pragma once
// The numbering rule for the next file name: the digits before the extension
// are raised by one and padded to the digit count ("scan009.jpg" -> "scan010.jpg").
#include <QString>

QString NextFileName(const QString &name, int digits);
