#pragma once
// The scan window. Its behaviour is split over scanform_*.cpp by concern:
//   scanform_execute.cpp  Execute, FormCreate/Resize, Cancel
//   scanform_settings.cpp reading and writing the settings keys
//   scanform_preview.cpp  preview mouse, colour menus, button layouts, Timer1Timer
//   scanform_scan.cpp     ScanbutClick, AcquireScan, selsource, metui
//   scanform_save.cpp     naming, SaveClick, restart
//   scanform_open.cpp     open file, clipboard, help, web link
//   scanform_series.cpp   detection, Herverdeel, series mode, back-side placement
//   scanform_rotate.cpp   BitBtn3Click
//   scanform_backtext.cpp reading the backs' text in series mode
#include "detection/cut_out.h"
#include "detection/scanbox.h"
#include "scanwindow/card_save.h"

#include <QDateTime>
#include <QDialog>
#include <QImage>
#include <functional>
#include <future>
#include <memory>

class QAction;
class QMenu;
class QTimer;
class CardTextReader;
class ColourPanel;
class SettingsList;
class PictureSaveQueue;
class PreviewImage;
class SelectionFrame;
struct PictureCaption;
struct SeriesRecords;
namespace Ui { class TScanform; }

using DefaultFileNameFn = std::function<QString(const QString &folder)>;
using NextFileNameFn = std::function<QString(const QString &name, int digits)>;
using AfterSaveFn = std::function<bool(const QString &path, const QString &folder, bool smallPicture)>;

// Process-wide values set by the launcher.
extern QString PreviewFilePath;   // TempFolder() + "preview.bmp"
extern QString ProductTitle;      // "Vexlo Scan Tool"
// The web addresses shown by the two link labels.
extern const QString kProductWebAddress;   // gebruikersinfo, opened by the launcher
extern const QString kMakerWebAddress;     // lbDravemont
// The notice for a scan file that this machine has too little memory to open.
QString TooLargeNotice(const QString &path);

// Writes the settings file (SettingsFileName) as the program ends; a failure
// is shown in a notice naming the file. True when written.
bool SaveSettingsAtEnd(const SettingsList &settings);

class TScanform : public QDialog {
    Q_OBJECT
public:
    explicit TScanform(QWidget *parent = nullptr);
    ~TScanform() override;

    bool Execute(DefaultFileNameFn defaultFileName, NextFileNameFn nextFileName, AfterSaveFn afterSave,
                 const QString &initialFolder, const QString &dialogBaseFolder, int jpegQuality,
                 SettingsList *settings, bool useSettings);

    // The controls by their component names, as the user sees them.
    Ui::TScanform &controls() const { return *ui; }
    // Click action of the label gebruikersinfo; the launcher sets it.
    void setProductLinkAction(std::function<void()> action) { gebruikersinfoClick = std::move(action); }
    // Keeps the link labels at the bottom of the picture panel (after their texts change).
    void anchorLinks();

    // The picture of Image1.
    QImage &picture();
    void setPicture(const QImage &img);   // replaces the picture and repaints
    void pictureChanged();                // call after editing picture() in place

    // The window's close box ends the modal run with ModalResult::Cancel; Escape is Sluiten.
    void reject() override;

public slots:
    // execute and settings
    void CancelbutClick();
    void FormCreate();
    void FormClose();
    void FormResize();
    void LoadScanSettings();
    void StoreScanSettings();
    // preview and selection
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(Qt::MouseButton button, int x, int y);
    void Shape1MouseDown(Qt::MouseButton button, int x, int y);
    void Shape1MouseMove(int x, int y);
    void Shape1MouseUp(Qt::MouseButton button, int x, int y);
    // Preview point to picture pixel (truncating integer arithmetic).
    QPoint PreviewToPicture(int x, int y) const;
    void Achtergrondkleur1Click();
    void Wit1Click();
    void Zwart1Click();
    void vakkleurClick();
    void ShowScanPresentLayout();
    void ShowSavedLayout();
    void Timer1Timer();
    void ShowPlainSaveCaption();   // what Opslaan does with the current boxes alone
    // scanning
    void ScanbutClick(QObject *sender);
    bool AcquireScan(QImage &target, bool hideDialog, int resolution);
    void OpenSourceAtResolution(int resolution);
    void selsourceClick();
    void metuiClick();
    // naming and saving
    void fneditChange();
    void numdigChange();
    void numdigClick();
    void bestandstypeChange();
    void BrowseClick();
    void selbasislocClick();
    void SaveClick(QObject *sender);
    // open, clipboard, help
    void openfileknopClick();
    // Waits (beside the window) for an opened picture's preview file: called
    // before anything writes or reads that file.
    void awaitPreviewFile();
    void Button1Click();
    void helpClick();
    void lbDravemontClick();
    // series mode
    void zoeklossevakkenknopClick();
    void TestverdelingClick(QObject *sender);
    void bidprentmodeClick();
    void achterkantgroepClick();
    // rotation
    void BitBtn3Click(QObject *sender);

protected:
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Tests reach the state no control shows through this one named door.
    friend struct ScanformProbe;

    void connectHandlers();
    // Ctrl+S Opslaan, Ctrl+O Open bestand, F1 help, and the buttons' access keys.
    void connectKeys();
    // Captions whose text changes are fitted to their buttons' fixed widths.
    void fitCaptions();
    void FitPreview();
    // The frame follows a drag from (dragStartX, dragStartY) beyond the threshold.
    bool followDrag(int x, int y);
    // The number of digits numdig asks for, and the name that follows name with it.
    int digitCount() const;
    QString nextName(const QString &name) const;
    // Writes the restart script, stores the settings and starts the program anew.
    void restartProgram();
    // 1 when the scanner library has a source to scan with; 0 when it has none or fails.
    static int safeAvailable();

    void endJoin();   // the picture counts as a plain scan again
    // "Achterkant:" as a placement: 1 "Onder" only for its own item; no item
    // or one out of range counts as "Rechts" (0).
    int backSidePlacement() const;
    CutOutSettings cutOutSettings() const;   // the cut-out as the window's settings give it

    // Series mode: cuts the boxes of the latest detection out of the clean scan
    // and saves each card as one unit; false when a card failed or nothing was saved.
    bool SaveSeriesBoxes();
    // "Tekst achterkant lezen": the backs of the confirmed boxes are read while
    // the user looks at them; the series save then gives every card a text file
    // of its own, Memo1's text followed by what its back reads.
    void StartReadingBacks();
    bool ReadingBacks() const;
    // Waits beside the window, behind a progress window whose Stoppen stops the
    // reading, for every box still being read.
    void WaitForBackTexts();
    QString BackTextOf(const ScanBox &box) const;

    Ui::TScanform *ui = nullptr;   // controls by their component names

    // --- state of one run ---
    bool useSettings = false;
    SettingsList *settings = nullptr;
    DefaultFileNameFn defaultFileName;
    NextFileNameFn nextFileName;
    AfterSaveFn afterSave;
    QString initialFolder;
    QString dialogBaseFolder;

    QImage cleanScan;
    std::future<void> previewWrite;   // an opened picture's preview file, written after it is shown
    QImage frontScan;
    ScanBoxList boxes;        // current box list
    ScanBoxList frontBoxes;   // front box list
    int frontBoxCount = 0;    // may be negative (see the series captions)
    bool backSidePass = false;
    // The resolution the picture's scan was made at, as its transfer file says;
    // 0 when unknown (an opened picture), and the dpi field's value is written.
    int scanResolution = 0;
    int failedSaves = 0;      // pictures SaveClick could not write, counted over the run
    bool joinedBackSide = false;
    // The two sides of a joined single scan and where the back lies now: a
    // change of placement joins them afresh instead of moving pixels about.
    QImage joinedFront, joinedBack;
    int joinedPlacement = 0;
    QDateTime scanTime;       // when the clean scan arrived, for the caption inside saved pictures
    PictureSaveQueue *seriesSaves = nullptr;   // where the cards go while a series is saved

    // Preview drag state and picked colour.
    bool dragging = false;
    int dragStartX = 0, dragStartY = 0;
    unsigned pickedColour = 0;   // blue*65536 + green*256 + red

    PreviewImage *Image1 = nullptr;
    SelectionFrame *Shape1 = nullptr;
    QTimer *Timer1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QMenu *PopupMenu2 = nullptr;
    QAction *Achtergrondkleur1 = nullptr;
    QAction *Wit1 = nullptr;
    QAction *Zwart1 = nullptr;
    ColourPanel *popupPanel = nullptr;    // the colour panel PopupMenu2 was opened on
    std::function<void()> gebruikersinfoClick;

    // True when the last AcquireScan returned without a new picture at the
    // preview path (cancelled in the scanner's dialog, or the device gave up).
    bool noNewPicture = false;
    // Whether FormCreate found the scanner library and did its set-up.
    bool scannerSetUp = false;
    // True while a scan button's work runs; window messages are let through
    // during a scan, and a second press must not start a scan inside the first.
    bool scanning = false;

    // Background colour and tolerance read by the last detection run; the
    // whitening of the cut-out matches against them.
    unsigned detectionBackground = 0xFFFFFF;
    int detectionTolerance = 3;

    bool seriesWithTexts = false;   // while a series is saved with card texts
    bool cardTextFailed = false;   // a card's text file could not be written
    std::unique_ptr<CardTextReader> cardReader;
    qint64 readScanKey = 0;   // the scan cardReader reads from
    bool readStraightened = false;   // whether it reads the backs turned upright
    // The backs read set straight, by their box, and the cut-out that made them: a
    // series saved without whitening places them as they are, not straightened again.
    std::vector<std::pair<ScanBox, QImage>> straightBacks;
    CutOutSettings straightBacksWith;

    QSize fittedPictureSize;   // the picture size FitPreview last fitted

    // One picture's save with the other files of its number, and what the window does after it.
    struct CardToSave {
        CardSaveInput input;
        QString folder;
        bool small = false;
        int index = -1;   // the card of a series; -1 for a plain save
    };
    // Asks for the path until it is free or may be overwritten; false when the user cancelled.
    bool choosePath(QString &path, bool &overwriting, const QString &caption);
    // Steps of Opslaan (scanform_save.cpp): the target folder ready, then the
    // plain picture saved (1 saved, 0 failed, -1 cancelled), then what follows a save.
    bool readyTargetFolder(const QString &folder);
    int savePlain(const QString &folder, const QString &caption);
    void nameNextCard(const QString &folder);   // the name field on to the next name
    void afterSaveClick(QObject *sender, bool failed, const QString &caption);
    // What a card of path holds: its text, caption and the old files it replaces.
    CardToSave cardToSave(const QString &path, bool overwriting, const CardPictures &card, const QString &backText);
    // What the window does once the card is in place or has failed; true when saved.
    bool finishCard(const CardToSave &card, const CardSaveResult &result);
    // Beside the window: card i of the series named on the window's thread and handed to saves.
    void handSeriesCard(PictureSaveQueue &saves, int cardIndex, const CardPictures &card, const QString &backText,
                        const QString &caption);
    // On the window's thread: card i named, its questions asked; false when it is not saved.
    bool nameSeriesCard(int cardIndex, const CardPictures &card, const QString &backText, const QString &caption,
                        CardToSave &c);
    void cardFailed(const QString &path, const QString &reason, int error);
    // The series being saved: what its cards came to, told once at its end.
    QStringList seriesSaved, seriesFailed;
    QString seriesFailReason;
    bool seriesAskedRoom = false, seriesStop = false, seriesMemoTaken = false, seriesMemoWritten = false;
    // The reading languages Tesseract lacks are marked "niet geïnstalleerd" and
    // cannot be chosen (scanform_backtext.cpp); false when none is installed.
    void connectBackText();
    bool MarkOcrLanguages();
    void tekstachterkantlezenOn();   // the user switched reading the backs on
    // The caption of Opslaan says what it will do now (scanform_save.cpp).
    void ShowSaveCaption();
    // After a save: the line under the preview names the files and opens their
    // folder when clicked; the title names the last file for a while.
    void ShowSavedLine(const QStringList &paths, const QString &title);
    void restoreTitleAfterSave();
    QTimer *savedTitleTimer = nullptr;
    QString savedLineFolder, titleAfterSave, titleBeforeSave;

    // Set when a scan, an opened file or a turn gives a picture no save has
    // written yet; Sluiten then asks before the work is lost.
    bool pictureUnsaved = false;
    bool unsavedWorkMayGo();

    // Plain mode: a frame drawn on the picture narrows what Opslaan saves. It is
    // kept in picture pixels, so it follows the preview and the picture's turns;
    // a new picture takes it away. The series frame Shape1 is left alone.
    SelectionFrame *plainShape = nullptr;
    QRect plainFrame;   // empty when none
    void placePlainFrame();

    // "Kaartgegevens bijhouden" (scanform_records.cpp); all do nothing with it off.
    void connectRecords();
    // After the backs are read, before anything is saved: the user checks the
    // cards' facts; false when Escape sent them back to the boxes.
    bool ReviewSeriesRecords();
    // Per card before its save: the caption's title, person and subjects, a file
    // name from the pattern (empty: the numbered name) and whether to skip a duplicate.
    void FillCardRecord(int cardIndex, PictureCaption &caption, QString &fileName, bool &skip);
    void RecordSavedCard(int cardIndex, const QString &path, const QStringList &sides);
    // The target folder's kaarten.csv and kaarten.ged, updated once per series.
    void FinishSeriesRecords();
    std::shared_ptr<SeriesRecords> seriesRecords;   // shared_ptr: the type is complete in scanform_records.cpp only
public:
    // The picture Opslaan writes in plain mode: the part inside the frame, or all of it.
    QImage pictureToSave() const;
};
