// "Kaartgegevens bijhouden": the facts of every card in a series checked by the
// user, written into its caption, its file name and the folder's index.
#include "scanwindow/scanform.h"

#include "imaging/picture_caption.h"

struct SeriesRecords {};

bool TScanform::ReviewSeriesRecords() { return true; }

void TScanform::FillCardRecord(int, PictureCaption &, QString &fileName, bool &skip)
{
    fileName.clear();
    skip = false;
}

void TScanform::RecordSavedCard(int, const QString &, const QStringList &) {}

void TScanform::FinishSeriesRecords() {}
