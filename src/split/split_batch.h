#pragma once
// kvnscan-split --batch: every scan of a folder, paired by name, split on
// every core with one numbering across the folder.
#include "split/split_options.h"

#include <QList>
#include <QStringList>

// The scans of a folder (names, sorted) as they go together: NAME-voor* with
// NAME-achter*, NAME.ext with NAME-2.ext (its back), every other one alone;
// in the order of their first names.
QList<QStringList> PairScans(const QStringList &names);

// Splits every scan of o.batch into o.out; returns the exit code.
int SplitBatch(const SplitOptions &o);
