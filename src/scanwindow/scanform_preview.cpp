// The preview, the selection frame, colour picking, button layouts and the
// once-a-second caption refresh.
#include "scanwindow/scanform.h"

#include "common/prompts.h"
#include "common/terminology.h"
#include "detection/selection_geometry.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QCursor>
#include <QMenu>
#include <algorithm>
#include <cstdlib>

namespace {
constexpr int kDragThreshold = 10;
constexpr int kScanPresentWidth = 75;
constexpr int kSavedWidth = 220;
constexpr int kCaptionMargin = 14;   // a button's frame and margins around its caption
const int kWhite = 0xFFFFFF;
}

QPoint TScanform::PreviewToPicture(int x, int y) const
{
    const QImage &pic = Image1->picture();
    const qint64 w = Image1->width(), h = Image1->height();
    const qint64 px = w > 0 ? qint64(x) * pic.width() / w : 0;
    const qint64 py = h > 0 ? qint64(y) * pic.height() / h : 0;
    return QPoint(int(px), int(py));
}

void TScanform::Image1MouseDown(Qt::MouseButton button, int x, int y)
{
    if (button == Qt::LeftButton) {
        dragStartX = x;
        dragStartY = y;
        dragging = true;
        return;
    }
    const QPoint p = PreviewToPicture(x, y);
    const QImage &pic = Image1->picture();
    // An empty picture, or a point off it, yields white: the usual scanner lid.
    if (pic.valid(p)) {
        const QRgb c = pic.pixel(p);
        pickedColour = unsigned(qBlue(c)) * 65536u + unsigned(qGreen(c)) * 256u + unsigned(qRed(c));
    } else {
        pickedColour = kWhite;
    }
    PopupMenu1->popup(QCursor::pos());
}

bool TScanform::followDrag(int x, int y)
{
    const int dx = std::abs(x - dragStartX), dy = std::abs(y - dragStartY);
    if (dx <= kDragThreshold || dy <= kDragThreshold)
        return false;
    const QRect frame(std::min(dragStartX, x) + Image1->x(), std::min(dragStartY, y) + Image1->y(), dx, dy);
    if (ui->bidprentmode->isChecked()) {
        Shape1->show();
        Shape1->setGeometry(frame);
        return true;
    }
    const QImage &pic = picture();
    const PixelSelection s = FrameToPicture(frame, Image1->geometry(), pic.width(), pic.height());
    plainFrame = QRect(s.left, s.top, s.right - s.left, s.bottom - s.top) & pic.rect();
    if (plainFrame.isEmpty()) {
        placePlainFrame();
        return true;
    }
    plainShape->setGeometry(frame & Image1->geometry());
    plainShape->show();
    plainShape->raise();
    return true;
}

void TScanform::placePlainFrame()
{
    const QImage &pic = picture();
    const QRect image = Image1->geometry();
    const bool shown = !ui->bidprentmode->isChecked() && !plainFrame.isEmpty() && !pic.isNull();
    if (shown) {
        // Picture pixels to the preview, the product before the division.
        auto along = [](int v, int size, int shownSize) { return int(qint64(v) * shownSize / size); };
        const int left = along(plainFrame.left(), pic.width(), image.width());
        const int top = along(plainFrame.top(), pic.height(), image.height());
        const int right = along(plainFrame.left() + plainFrame.width(), pic.width(), image.width());
        const int bottom = along(plainFrame.top() + plainFrame.height(), pic.height(), image.height());
        plainShape->setGeometry(image.x() + left, image.y() + top, std::max(1, right - left), std::max(1, bottom - top));
        plainShape->raise();
    }
    plainShape->setVisible(shown);
}

QImage TScanform::pictureToSave() const
{
    const QImage &pic = Image1->picture();
    if (ui->bidprentmode->isChecked() || plainFrame.isEmpty())
        return pic;
    return pic.copy(plainFrame & pic.rect());
}

void TScanform::Image1MouseMove(int x, int y)
{
    if (dragging)
        followDrag(x, y);
}

void TScanform::Image1MouseUp(Qt::MouseButton button, int x, int y)
{
    if (button != Qt::LeftButton)
        return;
    if (dragging)
        followDrag(x, y);
    dragging = false;
}

void TScanform::Shape1MouseDown(Qt::MouseButton button, int x, int y)
{
    const QPoint p = Image1->mapFromGlobal(Shape1->mapToGlobal(QPoint(x, y)));
    Image1MouseDown(button, p.x(), p.y());
}

void TScanform::Shape1MouseMove(int x, int y)
{
    const QPoint p = Image1->mapFromGlobal(Shape1->mapToGlobal(QPoint(x, y)));
    Image1MouseMove(p.x(), p.y());
}

void TScanform::Shape1MouseUp(Qt::MouseButton button, int x, int y)
{
    const QPoint p = Image1->mapFromGlobal(Shape1->mapToGlobal(QPoint(x, y)));
    Image1MouseUp(button, p.x(), p.y());
}

void TScanform::Achtergrondkleur1Click()
{
    ui->achtergrondkleur->setColour(int(pickedColour));
}

void TScanform::Wit1Click()
{
    (popupPanel ? popupPanel : ui->achtergrondkleur)->setColour(kWhite);
}

void TScanform::Zwart1Click()
{
    (popupPanel ? popupPanel : ui->achtergrondkleur)->setColour(0);
}

void TScanform::vakkleurClick()
{
    QColor c = ColourPanel::toQColor(ui->vakkleur->colour());
    if (prompts().chooseColor(c))
        ui->vakkleur->setColour(ColourPanel::fromQColor(c));
}

namespace {
void placeSave(Ui::TScanform *ui)
{
    QPushButton *save = ui->save;
    const int left = ui->Scanbut->x() + ui->Scanbut->width() + 3;
    save->setGeometry(left, save->y(), ui->Cancelbut->x() - left - 3, save->height());
}
}

void TScanform::ShowScanPresentLayout()
{
    ui->save->setEnabled(true);
    ui->Scanbut->resize(kScanPresentWidth, ui->Scanbut->height());
    ui->scanachterkant->setEnabled(true);
    placeSave(ui);
    fitCaptions();
}

void TScanform::ShowSavedLayout()
{
    pictureUnsaved = false;   // only a save that wrote the picture gets here
    // Scan grows to invite the next scan, but leaves Opslaan room for its
    // caption in the window's own font: a shrunken caption cannot be read.
    const QFontMetrics fm(ui->knoppanel->font());
    const int caption = std::max(fm.horizontalAdvance(Term(Terms::Opslaan)), fm.horizontalAdvance(QStringLiteral(" 99 scans")));
    const int room = ui->Cancelbut->x() - 3 - ui->Scanbut->x() - 3 - (caption + kCaptionMargin);
    ui->Scanbut->resize(std::clamp(room, kScanPresentWidth + 1, kSavedWidth), ui->Scanbut->height());
    placeSave(ui);
    ui->save->setText(Term(Terms::Opslaan));
    fitCaptions();
}

void TScanform::ShowPlainSaveCaption()
{
    const QString crlf = QStringLiteral("\r\n");
    const int count = int(boxes.size());
    const QString object = count <= 1 ? Term(Terms::ScanNoun) + crlf
                                      : QString::number(count) + ' ' + Term(Terms::Scans) + crlf;
    ui->save->setText(JoinWords(Term(Terms::Opslaan) + crlf, object));
}

void TScanform::Timer1Timer()
{
    ui->openfileknop->setVisible(!ui->bidprentmode->isHidden() && ui->bidprentmode->isChecked());

    const QString crlf = QStringLiteral("\r\n");
    if (frontBoxCount != 0 && ui->bidprentmode->isChecked()) {
        QString caption;
        if (frontBoxCount < 0)
            caption = Term(Terms::ScanVerb) + crlf + Term(Terms::Achterkant);
        else if (frontBoxCount == 1)
            caption = Term(Terms::ScanVerb) + QStringLiteral(" 1") + crlf + Term(Terms::Achterkant);
        else
            caption = Term(Terms::ScanVerb) + ' ' + QString::number(frontBoxCount) + crlf + Term(Terms::Achterkanten);
        ui->scanachterkant->setText(caption);
    } else {
        ui->scanachterkant->setText(Term(Terms::ScanVerb) + crlf + Term(Terms::Achterkant));
    }
    ShowSaveCaption();
    fitCaptions();
}
