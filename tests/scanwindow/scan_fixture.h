#pragma once
// A scan window in a fresh program folder, with a fake scanner, scripted
// prompts and an outside world that never sleeps.
#include "fakes/fake_outside.h"
#include "fakes/fake_scanner.h"
#include "fakes/scripted_prompts.h"
#include "fakes/temp_program.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/scanform.h"
#include "scanform_probe.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QDir>
#include <QPainter>
#include <gtest/gtest.h>
#include <memory>

// A picture with a known colour in each quarter, so that positions can be checked.
inline QImage quarters(int w, int h)
{
    QImage img(w, h, QImage::Format_BGR888);
    QPainter p(&img);
    p.fillRect(0, 0, w / 2, h / 2, QColor(255, 0, 0));
    p.fillRect(w / 2, 0, w - w / 2, h / 2, QColor(0, 255, 0));
    p.fillRect(0, h / 2, w / 2, h - h / 2, QColor(0, 0, 255));
    p.fillRect(w / 2, h / 2, w - w / 2, h - h / 2, QColor(10, 20, 30));
    return img;
}

// Series mode saving JPEG files numbered from firstName into folder, which is
// made: no restart, no name question, backs not alike, back beside the front.
inline void PrepareSeries(Ui::TScanform &ui, const QString &folder, const QString &firstName)
{
    QDir().mkpath(folder);
    ui.doelmap->setText(folder);
    ui.fnedit->setText(firstName);
    ui.numdig->setText("3");
    ui.bestandstype->setCurrentIndex(0);
    ui.zetdoor->setChecked(true);
    ui.herstart->setChecked(false);
    ui.altijdfnvraag->setChecked(false);
    ui.gelijkachterkant->setChecked(false);
    ui.bidprentmode->setChecked(true);
}

// A series whose backs are read at 300 dpi, the frame over the whole glass.
inline void PrepareReadSeries(Ui::TScanform &ui, const QString &folder)
{
    PrepareSeries(ui, folder, "kaart001");
    ui.tekstachterkantlezen->setChecked(true);
    ui.dpi->setText("300");
    ui.dpiachter->setText("300");
    ui.Shape1->setGeometry(0, 0, ui.Panel1->width(), ui.Panel1->height());
}

// The fronts scanned and confirmed, then the backs scanned and confirmed.
inline void ScanFrontsAndBacks(FakeScanner &scanner, ScriptedPrompts &prompts, Ui::TScanform &ui,
                               const QImage &fronts, const QImage &backs)
{
    scanner.image = fronts;
    prompts.answerYes();
    ui.Scanbut->click();
    scanner.image = backs;
    prompts.answerYes();
    ui.scanachterkant->click();
}

inline QImage plain(int w, int h, QColor c)
{
    QImage img(w, h, QImage::Format_BGR888);
    img.fill(c);
    return img;
}

class ScanWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PreviewFilePath = program.temp() + "preview.bmp";
        ProductTitle = "Vexlo Scan Tool";
        makeForm();
    }
    void makeForm()
    {
        form.reset();
        form = std::make_unique<TScanform>();
        form->resize(768, 702);
        form->layout()->activate();
    }
    Ui::TScanform &ui() const { return form->controls(); }
    ScanformProbe probe() const { return {*form}; }

    TempProgram program;
    FakeOutside outsideWorld;
    FakeScanner scanner;
    ScriptedPrompts prompts;
    std::unique_ptr<TScanform> form;
};
