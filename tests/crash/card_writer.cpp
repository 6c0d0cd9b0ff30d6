// Saves cards with both sides and a text file through the scan window, endlessly,
// so a test can kill it at any moment:  card_writer FOLDER
// Each run first cleans what a killed run left half, then goes on after the last card.
#include "common/prompts.h"
#include "detection/cut_out.h"
#include "scanwindow/card_files.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/scanform_probe.h"
#include "ui_scanform.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QRegularExpression>

namespace {
QImage side(int n, QColor face)
{
    QImage img(600 + n % 7, 800, QImage::Format_BGR888);
    img.fill(QColor(240, 235, 220));
    QPainter p(&img);
    p.fillRect(40, 40, 300 + n % 50, 500, face);
    p.drawText(300, 700, QString::number(n));
    return img;
}

int lastCard(const QString &folder)
{
    int last = 0;
    const QRegularExpression joined("^kaart(\\d{3,})\\.JPG$");
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        if (const auto m = joined.match(name); m.hasMatch())
            last = std::max(last, m.captured(1).toInt());
    return last;
}
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    SilentPrompts nobody;
    setPrompts(&nobody);
    TScanform form;
    ScanformProbe probe{form};
    Ui::TScanform &ui = form.controls();
    RemoveHalfSavedCards(folder);
    ui.doelmap->setText(folder);
    ui.fnedit->setText(QString("kaart%1").arg(lastCard(folder) + 1, 3, 10, QChar('0')));
    ui.numdig->setText("3");
    ui.bestandstype->setCurrentIndex(0);
    ui.zetdoor->setChecked(true);
    ui.herstart->setChecked(false);
    ui.altijdfnvraag->setChecked(false);
    for (int i = 0;; ++i) {
        CardPictures card;
        card.front = side(i, QColor(120, 40, 40));
        card.back = side(i, QColor(40, 40, 120));
        card.joined = side(i, QColor(40, 120, 40));
        form.setPicture(card.joined);
        probe.pendingCard() = card;
        ui.Memo1->setPlainText(QString("kaart %1").arg(i));
        form.SaveClick(nullptr);
    }
}
