// The scan window: construction, wiring of the controls and window events.
#include "scanwindow/scanform.h"

#include "common/prompts.h"
#include "dialogs/messages.h"
#include "ocr/back_text.h"
#include "ocr/card_text_reader.h"
#include "scanwindow/geometry_dump.h"
#include "scanwindow/preview_image.h"
#include "scanwindow/scan_widgets.h"
#include "scanwindow/selection_frame.h"
#include "ui_scanform.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

QString PreviewFilePath;
QString ProductTitle;
const QString kProductWebAddress = QStringLiteral("https://www.vexlo.nl");
const QString kMakerWebAddress = QStringLiteral("https://www.vexlo.nl/achter-de-schermen");

TScanform::TScanform(QWidget *parent) : QDialog(parent), ui(new Ui::TScanform)
{
    ui->setupUi(this);
    move(191, 234);
    Image1 = ui->Image1;
    Shape1 = ui->Shape1;
    plainShape = new SelectionFrame(ui->Panel1);
    plainShape->setObjectName("plainShape");
    plainShape->hide();
    ui->achterkantgroep->bindButtons();
    for (const OcrLanguage &language : OcrLanguages())
        ui->ocrtaal->addItem(QString::fromUtf8(language.name), QString::fromLatin1(language.code));
    // Enter in an edit must not press a button, as the window was designed.
    for (QPushButton *b : findChildren<QPushButton *>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    // The two link labels react to a click.
    ui->gebruikersinfo->installEventFilter(this);
    ui->lbDravemont->installEventFilter(this);
    // The picture panel changes size with the window and with the detection panel.
    ui->Panel1->installEventFilter(this);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    Achtergrondkleur1 = PopupMenu1->addAction(QStringLiteral("Achtergrondkleur"));
    Achtergrondkleur1->setObjectName("Achtergrondkleur1");
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName("PopupMenu2");
    Wit1 = PopupMenu2->addAction(QStringLiteral("Wit"));
    Wit1->setObjectName("Wit1");
    Zwart1 = PopupMenu2->addAction(QStringLiteral("Zwart"));
    Zwart1->setObjectName("Zwart1");

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(1000);

    // Lay the panels out now so that sizes are known before the window is shown.
    if (layout())
        layout()->activate();

    connectHandlers();
    connectBackText();
    connectRecords();
    connectKeys();
    Timer1->start();
    FormCreate();
    InstallGeometryDump(this);
}

TScanform::~TScanform() { delete ui; }

void TScanform::connectHandlers()
{
    // Buttons whose handler is told which button was pressed, then those whose handler needs not know.
    const std::pair<QPushButton *, void (TScanform::*)(QObject *)> told[] = {
        {ui->Scanbut, &TScanform::ScanbutClick}, {ui->scanachterkant, &TScanform::ScanbutClick},
        {ui->save, &TScanform::SaveClick},       {ui->Testverdeling, &TScanform::TestverdelingClick},
        {ui->BitBtn1, &TScanform::BitBtn3Click}, {ui->BitBtn2, &TScanform::BitBtn3Click},
        {ui->BitBtn3, &TScanform::BitBtn3Click},
    };
    for (const auto &[button, handler] : told)
        connect(button, &QPushButton::clicked, this, [this, b = button, h = handler] { (this->*h)(b); });
    const std::pair<QPushButton *, void (TScanform::*)()> plain[] = {
        {ui->selsource, &TScanform::selsourceClick},
        {ui->openfileknop, &TScanform::openfileknopClick}, {ui->Button1, &TScanform::Button1Click},
        {ui->help, &TScanform::helpClick},             {ui->selbasisloc, &TScanform::selbasislocClick},
        {ui->Browse, &TScanform::BrowseClick},         {ui->zoeklossevakkenknop, &TScanform::zoeklossevakkenknopClick},
    };
    for (const auto &[button, handler] : plain)
        connect(button, &QPushButton::clicked, this, [this, h = handler] { (this->*h)(); });
    connect(ui->Cancelbut, &QPushButton::clicked, this, [this] {
        if (unsavedWorkMayGo())
            CancelbutClick();
    });

    connect(ui->fnedit, &QLineEdit::textChanged, this, [this] { fneditChange(); });
    connect(ui->numdig, &TextSpinEdit::textChanged, this, [this] { numdigChange(); });
    connect(ui->numdig, &TextSpinEdit::stepped, this, [this] { numdigClick(); });
    connect(ui->bestandstype, &QComboBox::currentTextChanged, this, [this] { bestandstypeChange(); });
    connect(ui->metui, &QCheckBox::clicked, this, [this] { metuiClick(); });
    connect(ui->bidprentmode, &QCheckBox::toggled, this, [this] { bidprentmodeClick(); });
    connect(ui->achterkantgroep, &RadioGroup::itemIndexChanged, this, [this] { achterkantgroepClick(); });

    connect(ui->vakkleur, &ColourPanel::clicked, this, [this] { vakkleurClick(); });
    for (ColourPanel *panel : {ui->achtergrondkleur, ui->vakkleur}) {
        connect(panel, &ColourPanel::popupRequested, this, [this, panel](const QPoint &at) {
            popupPanel = panel;
            PopupMenu2->popup(at);
        });
    }
    connect(Achtergrondkleur1, &QAction::triggered, this, [this] { Achtergrondkleur1Click(); });
    connect(Wit1, &QAction::triggered, this, [this] { Wit1Click(); });
    connect(Zwart1, &QAction::triggered, this, [this] { Zwart1Click(); });

    connect(Image1, &PreviewImage::mouseDown, this, &TScanform::Image1MouseDown);
    connect(Image1, &PreviewImage::mouseMove, this, &TScanform::Image1MouseMove);
    connect(Image1, &PreviewImage::mouseUp, this, &TScanform::Image1MouseUp);
    connect(Shape1, &SelectionFrame::mouseDown, this, &TScanform::Shape1MouseDown);
    connect(Shape1, &SelectionFrame::mouseMove, this, &TScanform::Shape1MouseMove);
    connect(Shape1, &SelectionFrame::mouseUp, this, &TScanform::Shape1MouseUp);
    // A press on the plain frame acts on the picture beneath it, as on Shape1.
    auto beneath = [this](int x, int y) { return Image1->mapFromGlobal(plainShape->mapToGlobal(QPoint(x, y))); };
    connect(plainShape, &SelectionFrame::mouseDown, this, [this, beneath](Qt::MouseButton b, int x, int y) {
        const QPoint p = beneath(x, y);
        Image1MouseDown(b, p.x(), p.y());
    });
    connect(plainShape, &SelectionFrame::mouseMove, this, [this, beneath](int x, int y) {
        const QPoint p = beneath(x, y);
        Image1MouseMove(p.x(), p.y());
    });
    connect(plainShape, &SelectionFrame::mouseUp, this, [this, beneath](Qt::MouseButton b, int x, int y) {
        const QPoint p = beneath(x, y);
        Image1MouseUp(b, p.x(), p.y());
    });
    connect(Image1, &PreviewImage::replaced, this, [this] {
        plainFrame = QRect();
        placePlainFrame();
    });
    connect(ui->bidprentmode, &QCheckBox::toggled, this, [this] { placePlainFrame(); });

    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

void TScanform::connectKeys()
{
    // A key works only where its button could be clicked.
    auto key = [this](const QKeySequence &sequence, QPushButton *button) {
        auto *shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, button, [button] {
            if (button->isVisible() && button->isEnabled())
                button->click();
        });
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_S), ui->save);
    key(QKeySequence(Qt::CTRL | Qt::Key_O), ui->openfileknop);
    key(QKeySequence(Qt::Key_F1), ui->help);
    // Underlined access keys (Alt + letter) on the buttons whose captions stay.
    const std::pair<QPushButton *, QChar> access[] = {
        {ui->Scanbut, 'S'},     {ui->Cancelbut, 'l'}, {ui->Testverdeling, 'H'}, {ui->selsource, 'a'},
        {ui->openfileknop, 'b'}, {ui->Button1, 'K'},  {ui->help, 'p'},           {ui->Browse, 'V'},
    };
    for (const auto &[button, letter] : access) {
        QString text = button->text();
        const int at = int(text.indexOf(letter));
        if (at >= 0 && !text.contains(QLatin1Char('&')))
            button->setText(text.insert(at, QLatin1Char('&')));
    }
}

void TScanform::fitCaptions()
{
    FitCaption(ui->save);
    FitCaption(ui->scanachterkant);
    // "Volgende wordt:" with a long name: the name whole in the tooltip.
    FitCaption(ui->zetdoor, false);
}

QImage &TScanform::picture() { return Image1->picture(); }

void TScanform::setPicture(const QImage &img) { Image1->setPicture(img); }

void TScanform::pictureChanged() { Image1->pictureChanged(); }

bool TScanform::unsavedWorkMayGo()
{
    const bool unsaved = (pictureUnsaved && picture().width() > 0) || !ui->Memo1->toPlainText().trimmed().isEmpty();
    return !unsaved
           || AskYesNo(QStringLiteral("De scan is nog niet opgeslagen. Toch afsluiten?"), QString(), QString(),
                       ModalResult::No, QStringLiteral("Sluiten")) == ModalResult::Yes;
}

void TScanform::reject()
{
    done(int(ModalResult::Cancel));
}

void TScanform::resizeEvent(QResizeEvent *e)
{
    QDialog::resizeEvent(e);
    FormResize();
}

void TScanform::closeEvent(QCloseEvent *e)
{
    FormClose();
    QDialog::closeEvent(e);
}

void TScanform::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        // Sluiten is the cancel button of the window.
        if (ui->Cancelbut->isVisible() && ui->Cancelbut->isEnabled())
            ui->Cancelbut->click();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TScanform::anchorLinks()
{
    // The two link labels stay at the bottom left of the picture panel.
    QLabel *maker = ui->lbDravemont, *product = ui->gebruikersinfo;
    maker->adjustSize();
    product->adjustSize();
    maker->move(8, ui->Panel1->height() - maker->height() - 6);
    product->move(8, maker->y() - product->height() - 2);
    FitPreview();
}

bool TScanform::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->Panel1 && event->type() == QEvent::Resize) {
        anchorLinks();
        placePlainFrame();
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton) {
            if (watched == ui->gebruikersinfo && gebruikersinfoClick) {
                gebruikersinfoClick();
                return true;
            }
            if (watched == ui->lbDravemont) {
                lbDravemontClick();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}
