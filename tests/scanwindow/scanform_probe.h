#pragma once
// The one door tests have into the scan window's state that no control shows:
// what a scan, a detection or a drag left behind, and the run's callbacks that
// Execute would otherwise set.
#include "scanwindow/scanform.h"

struct ScanformProbe {
    TScanform &f;

    // Pictures and boxes of the scans so far.
    QImage &cleanScan() { return f.cleanScan; }
    QImage &frontScan() { return f.frontScan; }
    ScanBoxList &boxes() { return f.boxes; }
    ScanBoxList &frontBoxes() { return f.frontBoxes; }
    int &frontBoxCount() { return f.frontBoxCount; }
    QDateTime &scanTime() { return f.scanTime; }
    bool &backSidePass() { return f.backSidePass; }
    bool &joinedBackSide() { return f.joinedBackSide; }
    unsigned detectionBackground() const { return f.detectionBackground; }
    bool scanning() const { return f.scanning; }
    bool scannerSetUp() const { return f.scannerSetUp; }
    // Reads the backs of the current boxes and waits for them, as a series save does.
    void readBacks()
    {
        f.StartReadingBacks();
        f.WaitForBackTexts();
    }

    // The preview's drag and colour picking.
    bool dragging() const { return f.dragging; }
    QPoint dragStart() const { return {f.dragStartX, f.dragStartY}; }
    unsigned pickedColour() const { return f.pickedColour; }
    ColourPanel *&popupPanel() { return f.popupPanel; }
    QTimer *timer() const { return f.Timer1; }
    QMenu *pictureMenu() const { return f.PopupMenu1; }
    QAction *backgroundAction() const { return f.Achtergrondkleur1; }
    QAction *whiteAction() const { return f.Wit1; }
    QAction *blackAction() const { return f.Zwart1; }

    // What Execute hands the window.
    DefaultFileNameFn &defaultFileName() { return f.defaultFileName; }
    NextFileNameFn &nextFileName() { return f.nextFileName; }
    AfterSaveFn &afterSave() { return f.afterSave; }
    QString &dialogBaseFolder() { return f.dialogBaseFolder; }
    void useSettings(SettingsList *settings)
    {
        f.useSettings = true;
        f.settings = settings;
    }
};
